// The login flow's observers of its links. They run on a link's receive thread: they read the
// record, hand plain values to the main queue and touch nothing of the flow there.
#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/StudentSessionInfo.h"
#include "login/LoginFlow.h"
#include "platform/MainQueueObserver.h"

namespace login {
namespace {

constexpr const char* kReadUR00001 = "READ_MSG_UR00001";
constexpr const char* kReadUR00002 = "READ_MSG_UR00002";
constexpr const char* kReadUR00004 = "READ_MSG_UR00004";
constexpr const char* kReadMV00007 = "READ_MSG_MV00007";
constexpr const char* kReadMV00094 = "READ_MSG_MV00094";

// Fields of the relay server's answers.
constexpr std::size_t kResultField = 0;
constexpr std::size_t kServerIpField = 4;
constexpr std::size_t kServerPortField = 5;
constexpr std::size_t kRelayIpField = 0;
constexpr std::size_t kRelayPortField = 1;

const void* senderOf(const transport::TCPConnection* link) {
    return link;
}

} // namespace

void LoginFlow::observeLink(const std::string& name, const void* sender,
                            std::function<FlowStep(const platform::Notification&)> read) {
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    m_linkObservers.add(name, sender,
                        platform::onMainQueue([weak, read = std::move(read)](
                                                  const platform::Notification& note) -> platform::Block {
                            FlowStep step = read(note);
                            if (!step)
                                return {};
                            return [weak, step = std::move(step)] {
                                if (auto flow = weak.lock())
                                    step(*flow);
                            };
                        }));
}

void LoginFlow::observeRelayServerLink() {
    const void* sender = senderOf(m_pMVConn.get());
    const std::uint64_t generation = m_linkGeneration;
    observeLink(kReadUR00001, sender, [generation](const platform::Notification& note) -> FlowStep {
        auto record = note.shared<transport::SReceiveData>();
        if (!record)
            return {};
        std::string f0 = client::fieldAt(client::splitFields(record->strParams), kResultField);
        return [generation, f0 = std::move(f0)](LoginFlow& flow) { flow.callBackUR00001(generation, f0); };
    });
    observeLink(kReadUR00002, sender, [generation](const platform::Notification& note) -> FlowStep {
        auto record = note.shared<transport::SReceiveData>();
        if (!record)
            return {};
        const auto fields = client::splitFields(record->strParams);
        return [generation, ip = client::fieldAt(fields, kServerIpField),
                port = client::fieldAt(fields, kServerPortField)](LoginFlow& flow) {
            flow.callBackUR00002(generation, ip, port);
        };
    });
    observeLink(kReadUR00004, sender, [generation](const platform::Notification& note) -> FlowStep {
        auto record = note.shared<transport::SReceiveData>();
        if (!record)
            return {};
        const auto fields = client::splitFields(record->strParams);
        return [generation, ip = client::fieldAt(fields, kRelayIpField),
                port = client::fieldAt(fields, kRelayPortField)](LoginFlow& flow) {
            flow.callBackUR00004(generation, ip, port);
        };
    });
}

void LoginFlow::observeLinkLoss() {
    const void* sender = senderOf(m_pMVConn.get());
    const std::uint64_t generation = m_linkGeneration;
    observeLink(
        transport::kReadMsgDisconnect, sender, [generation](const platform::Notification&) -> FlowStep {
            return [generation](LoginFlow& flow) { flow.onLoginLinkLost(generation, "closed by the peer"); };
        });
}

void LoginFlow::observeTeacherLink() {
    const void* sender = senderOf(m_pMVConn.get());
    const std::uint64_t generation = m_linkGeneration;
    std::weak_ptr<transport::TCPServerClient> weakLink = m_pMVConn;
    observeLink(kReadMV00007, sender, [weakLink, generation](const platform::Notification& note) -> FlowStep {
        auto record = note.shared<transport::SReceiveData>();
        auto link = weakLink.lock();
        if (!record || !link)
            return {};
        // The version and the system's kind go out from the receive thread, before the slot check
        // reaches the main queue.
        const client::StudentSessionInfo& info = client::gStudentSessionInfo();
        for (const std::string& text :
             {client::command::clientVersion(),
              client::command::osKind(info.m_nOsKind.load(), info.m_szOsKind.get())}) {
            auto request = transport::newRequestData(kRequestBytes);
            if (transport::TCPServerClient::MakeSendPacket(*request, text))
                link->Send(std::move(request));
        }
        const SlotCheck check = checkFreeSlots(record->strParams, info.m_nInputSlot.load());
        return [generation, check](LoginFlow& flow) { flow.callbackMV00007(generation, check); };
    });
    // The console's version arrives before the slots; nobody reads it here.
    m_linkObservers.add(kReadMV00094, sender, [](const platform::Notification&) {});
}

void LoginFlow::observeRelayLink() {
    const void* sender = senderOf(m_pRelayConn.get());
    const std::uint64_t generation = m_linkGeneration;
    observeLink(transport::kReadMsgDisconnect, sender,
                [generation](const platform::Notification&) -> FlowStep {
                    return [generation](LoginFlow& flow) {
                        flow.onRelayLinkLost(generation, "the relay closed the link");
                    };
                });
    observeLink(transport::TCP_RelayServer::kRelayReady, sender,
                [generation](const platform::Notification&) -> FlowStep {
                    return [generation](LoginFlow& flow) { flow.onRelayReady(generation); };
                });
    observeLink(transport::TCP_RelayServer::kRelayNotReady, sender,
                [generation](const platform::Notification& note) -> FlowStep {
                    std::string ret = note.value(transport::TCP_RelayServer::kKeyRet);
                    return [generation, ret = std::move(ret)](LoginFlow& flow) {
                        flow.onRelayNotReady(generation, ret);
                    };
                });
}

} // namespace login
