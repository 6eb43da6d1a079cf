// The login flow's observers of its links. They run on a link's receive thread: they read the
// record, hand plain values to the main queue and touch nothing of the flow there.
#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/StudentSessionInfo.h"
#include "login/LoginFlow.h"
#include "platform/MainQueue.h"

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

void LoginFlow::observeRelayServerLink() {
    const void* sender = senderOf(m_pMVConn.get());
    const std::uint64_t generation = m_linkGeneration;
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        kReadUR00001, sender, [weak, generation](const platform::Notification& note) {
            auto record = note.shared<transport::SReceiveData>();
            if (!record)
                return;
            std::string f0 = client::fieldAt(client::splitFields(record->strParams), kResultField);
            platform::mainQueue::async([weak, generation, f0 = std::move(f0)] {
                if (auto flow = weak.lock())
                    flow->callBackUR00001(generation, f0);
            });
        }));
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        kReadUR00002, sender, [weak, generation](const platform::Notification& note) {
            auto record = note.shared<transport::SReceiveData>();
            if (!record)
                return;
            const auto fields = client::splitFields(record->strParams);
            platform::mainQueue::async([weak, generation, ip = client::fieldAt(fields, kServerIpField),
                                        port = client::fieldAt(fields, kServerPortField)] {
                if (auto flow = weak.lock())
                    flow->callBackUR00002(generation, ip, port);
            });
        }));
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        kReadUR00004, sender, [weak, generation](const platform::Notification& note) {
            auto record = note.shared<transport::SReceiveData>();
            if (!record)
                return;
            const auto fields = client::splitFields(record->strParams);
            platform::mainQueue::async([weak, generation, ip = client::fieldAt(fields, kRelayIpField),
                                        port = client::fieldAt(fields, kRelayPortField)] {
                if (auto flow = weak.lock())
                    flow->callBackUR00004(generation, ip, port);
            });
        }));
}

void LoginFlow::observeLinkLoss() {
    const void* sender = senderOf(m_pMVConn.get());
    const std::uint64_t generation = m_linkGeneration;
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        transport::kReadMsgDisconnect, sender, [weak, generation](const platform::Notification&) {
            platform::mainQueue::async([weak, generation] {
                if (auto flow = weak.lock())
                    flow->onLoginLinkLost(generation, "closed by the peer");
            });
        }));
}

void LoginFlow::observeTeacherLink() {
    const void* sender = senderOf(m_pMVConn.get());
    const std::uint64_t generation = m_linkGeneration;
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    std::weak_ptr<transport::TCPServerClient> weakLink = m_pMVConn;
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        kReadMV00007, sender, [weak, weakLink, generation](const platform::Notification& note) {
            auto record = note.shared<transport::SReceiveData>();
            auto link = weakLink.lock();
            if (!record || !link)
                return;
            const client::StudentSessionInfo& info = client::gStudentSessionInfo();
            for (const std::string& text :
                 {client::command::clientVersion(),
                  client::command::osKind(info.m_nOsKind.load(), info.m_szOsKind.get())}) {
                auto request = transport::newRequestData(kRequestBytes);
                if (transport::TCPServerClient::MakeSendPacket(*request, text))
                    link->Send(std::move(request));
            }
            const SlotCheck check = checkFreeSlots(record->strParams, info.m_nInputSlot.load());
            platform::mainQueue::async([weak, generation, check] {
                if (auto flow = weak.lock())
                    flow->callbackMV00007(generation, check);
            });
        }));
    // The console's version arrives before the slots; nobody reads it here.
    m_linkTokens.push_back(
        m_pNotificationCenter.addObserver(kReadMV00094, sender, [](const platform::Notification&) {}));
}

void LoginFlow::observeRelayLink() {
    const void* sender = senderOf(m_pRelayConn.get());
    const std::uint64_t generation = m_linkGeneration;
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        transport::kReadMsgDisconnect, sender, [weak, generation](const platform::Notification&) {
            platform::mainQueue::async([weak, generation] {
                if (auto flow = weak.lock())
                    flow->onRelayLinkLost(generation, "the relay closed the link");
            });
        }));
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        transport::TCP_RelayServer::kRelayReady, sender, [weak, generation](const platform::Notification&) {
            platform::mainQueue::async([weak, generation] {
                if (auto flow = weak.lock())
                    flow->onRelayReady(generation);
            });
        }));
    m_linkTokens.push_back(m_pNotificationCenter.addObserver(
        transport::TCP_RelayServer::kRelayNotReady, sender,
        [weak, generation](const platform::Notification& note) {
            std::string ret = note.value(transport::TCP_RelayServer::kKeyRet);
            platform::mainQueue::async([weak, generation, ret = std::move(ret)] {
                if (auto flow = weak.lock())
                    flow->onRelayNotReady(generation, ret);
            });
        }));
}

} // namespace login
