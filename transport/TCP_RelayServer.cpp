#include "transport/TCP_RelayServer.h"

#include "platform/Log.h"
#include "transport/CUtil.h"

#include <climits>
#include <cstdlib>

namespace transport {
namespace {

constexpr const char* kCodeFR00001 = "[FR00001]";
constexpr const char* kCodeFR00002 = "[FR00002]";
constexpr const char* kCodeMV00094 = "[MV00094]";
constexpr const char* kCodeMV00007 = "[MV00007]";
constexpr const char* kRelayConnect = "[PC_CONN]";
constexpr const char* kRegistration = "[US00001]";
constexpr int kConnIdFields = 2;

// Until the login gives it up, the relay server can send these codes without end, and a slot list
// of any number of fields: each kind of line is held to a few a second, the next line let through
// counting those held back.
constexpr int kRelayLinesPerSecond = 3;

struct RelayLogs {
    platform::LogRateLimit received{kRelayLinesPerSecond};
    platform::LogRateLimit connIds{kRelayLinesPerSecond};
    platform::LogRateLimit version{kRelayLinesPerSecond};
    platform::LogRateLimit slotsCalled{kRelayLinesPerSecond};
    platform::LogRateLimit slotsData{kRelayLinesPerSecond};
    platform::LogRateLimit slotField{kRelayLinesPerSecond};
    platform::LogRateLimit slotFound{kRelayLinesPerSecond};
    platform::LogRateLimit slotOk{kRelayLinesPerSecond};
    platform::LogRateLimit slotsBelow{kRelayLinesPerSecond};
    platform::LogRateLimit slotTaken{kRelayLinesPerSecond};
};

RelayLogs& logs() {
    static RelayLogs limits;
    return limits;
}

// The decimal value of a field as the C library reads it (leading blanks, a sign, digits); 0
// without digits, clamped to the 32-bit range.
std::int32_t decimalValue(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

} // namespace

const RevCallBackTable& TCP_RelayServer::codeTable() {
    static const RevCallBackTable table = {
        {kBodyTextCommand, kCodeFR00001, MakeNotificationName(kCodeFR00001, "")},
        {kBodyTextCommand, kCodeFR00002, MakeNotificationName(kCodeFR00002, "")},
        {kBodyTextCommand, kCodeMV00094, MakeNotificationName(kCodeMV00094, kRelaySuffix)},
        {kBodyTextCommand, kCodeMV00007, MakeNotificationName(kCodeMV00007, kRelaySuffix)},
    };
    return table;
}

std::shared_ptr<TCP_RelayServer> TCP_RelayServer::create(platform::NotificationCenter& center) {
    auto link = std::make_shared<TCP_RelayServer>(center);
    link->observe();
    return link;
}

TCP_RelayServer::TCP_RelayServer(platform::NotificationCenter& center) : TCPConnection(codeTable(), center) {}

TCP_RelayServer::~TCP_RelayServer() {
    removeNotification();
}

bool TCP_RelayServer::open() {
    if (!m_pTCPServer)
        m_pTCPServer = std::make_unique<TCPServerInterface>();
    if (!m_pTCPServer->m_socket.Create())
        platform::logf("[ZQ_Relay]can't open socket");
    return true;
}

void TCP_RelayServer::setTeacherId(const std::string& teacherId) {
    std::lock_guard lock(m_mutex);
    m_teacherId = teacherId;
}

bool TCP_RelayServer::connect(const std::string& host, int port) {
    const bool ok = Connect(host, port);
    platform::logf(ok ? "[ZQ_Relay]Connected !!" : "[ZQ_Relay]Connected false !!");
    return ok;
}

void TCP_RelayServer::observe() {
    // Observers hold the link weakly: the centre must never keep a link alive, and a link that is
    // going away takes no more records.
    std::weak_ptr<TCP_RelayServer> weak = std::static_pointer_cast<TCP_RelayServer>(shared_from_this());
    using Member = void (TCP_RelayServer::*)(const std::shared_ptr<SReceiveData>&);
    const std::pair<std::size_t, Member> handlers[] = {
        {0, &TCP_RelayServer::onReceivedFR00001},
        {1, &TCP_RelayServer::onReceivedFR00002},
        {2, &TCP_RelayServer::onReceivedMV00094},
        {3, &TCP_RelayServer::onReceivedMV00007},
    };
    const void* self = static_cast<const TCPConnection*>(this);
    std::vector<platform::ObserverToken> tokens;
    for (const auto& entry : handlers) {
        const auto member = entry.second;
        tokens.push_back(center().addObserver(codeTable()[entry.first].strName, self,
                                              [weak, member](const platform::Notification& note) {
                                                  auto link = weak.lock();
                                                  auto record = note.shared<SReceiveData>();
                                                  if (link && record)
                                                      ((*link).*member)(record);
                                              }));
    }
    std::lock_guard lock(m_mutex);
    m_tokens.insert(m_tokens.end(), tokens.begin(), tokens.end());
}

void TCP_RelayServer::removeNotification() {
    std::vector<platform::ObserverToken> tokens;
    {
        std::lock_guard lock(m_mutex);
        tokens.swap(m_tokens);
    }
    for (platform::ObserverToken token : tokens)
        center().removeObserver(token);
}

bool TCP_RelayServer::ReceiveCallBack(std::shared_ptr<SReceiveData> record) {
    if (!record)
        return false;
    logs().received.logf("[ZQ_RELAY]receiveCallBack :%s %s", record->strCode.c_str(),
                         record->strParams.c_str());
    return TCPConnection::ReceiveCallBack(std::move(record));
}

void TCP_RelayServer::sendText(const std::string& text, bool enveloped) {
    auto request = newRequestData(kRequestBytes);
    const bool built =
        enveloped ? makeRelayPacket(*request, text, relayConnData()) : makeCommandPacket(*request, text);
    if (!built) {
        platform::logf("[ZQ_RELAY]could not build %.9s", text.c_str());
        return;
    }
    send(std::move(request));
}

void TCP_RelayServer::onReceivedFR00001(const std::shared_ptr<SReceiveData>&) {
    std::string teacherId;
    {
        std::lock_guard lock(m_mutex);
        teacherId = m_teacherId;
    }
    sendText(std::string(kRegistration) + teacherId + "," + kVersionText, false);
}

void TCP_RelayServer::onReceivedFR00002(const std::shared_ptr<SReceiveData>& record) {
    std::string params = record->strParams;
    int count = 0;
    const std::unique_ptr<std::string[]> fields = SplitString(params, ',', count);
    if (fields && count == kConnIdFields) {
        m_nConnId.store(decimalValue(fields[0]));
        m_nConnTeacherId.store(decimalValue(fields[1]));
    }
    logs().connIds.logf("[ZQ_UR_LOG] send:[PC_CONN]m_nTeacherConnId, m_nConnId");
    sendText(kRelayConnect, true);
}

void TCP_RelayServer::onReceivedMV00094(const std::shared_ptr<SReceiveData>&) {
    logs().version.logf("[ZQ RELAY]onReceivedMV00094 Called");
}

void TCP_RelayServer::onReceivedMV00007(const std::shared_ptr<SReceiveData>& record) {
    logs().slotsCalled.logf("[ZQ RELAY]onReceivedMV00007 Called");
    logs().slotsData.logf("Data:%s", record->strParams.c_str());
    const int inputSlot = m_nInputSlot.load();

    // A single free slot comes without a comma; it is one field, as on the direct link, so a
    // student whose seat is the only free one is let in.
    std::string params = record->strParams;
    int count = 0;
    std::unique_ptr<std::string[]> fields = SplitString(params, ',', count);
    if (!fields) {
        fields = std::make_unique<std::string[]>(1);
        fields[0] = record->strParams;
        count = 1;
    }
    std::int32_t last = 0;
    for (int i = 0; i < count; ++i) {
        last = decimalValue(fields[i]);
        logs().slotField.logf("[ZQ_RELAY]Find empty slot.. %d/%d", last, inputSlot);
        if (last == inputSlot) {
            logs().slotFound.logf("[ZQ_RELAY]Find empty slot?");
            logs().slotOk.logf("[ZQ_RELAY]SLOT OK");
            center().post(kRelayReady, static_cast<const TCPConnection*>(this));
            return;
        }
    }
    platform::Dictionary answer;
    if (last < inputSlot) {
        logs().slotsBelow.logf("[ZQ_RELAY]Not empty nEmptySlots < m_dataStorage.m_nInputSlot?");
        answer[kKeyRet] = kRetAbove;
    } else {
        logs().slotTaken.logf("[ZQ_RELAY]Not empty nEmptySlots > m_dataStorage.m_nInputSlot?");
        answer[kKeyRet] = kRetTaken;
    }
    center().post(kRelayNotReady, static_cast<const TCPConnection*>(this), std::any(std::move(answer)));
}

} // namespace transport
