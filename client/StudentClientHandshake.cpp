// Slot registration, the relay session handshake, the console version and the link-control codes.
// Every handler runs on the receive thread of its link, inside the post.
#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"

#include <algorithm>

namespace client {
namespace {

using Link = StudentClient::Link;

// The console expects the registration a second after it has the version and OS kind.
constexpr double kSlotRegistrationDelaySeconds = 1.0;
constexpr std::size_t kRelayConnIdFields = 2;

// The relay can repeat its handshake and version codes without end: each kind of line is held to a
// few a second, the next line let through counting those held back.
constexpr int kRepeatedLinesPerSecond = 3;

platform::LogRateLimit& relayVersionLog() {
    static platform::LogRateLimit limit(kRepeatedLinesPerSecond);
    return limit;
}

platform::LogRateLimit& relayConnIdsLog() {
    static platform::LogRateLimit limit(kRepeatedLinesPerSecond);
    return limit;
}

// Holds this thread for the given time of the main loop's clock. Waiting until the clock has really
// moved (rather than trusting one sleep) keeps the delay exact under any clock, virtual ones too.
void waitOnMainClock(double seconds) {
    const double deadline = platform::monotonicNow() + seconds;
    for (double now = platform::monotonicNow(); now < deadline; now = platform::monotonicNow())
        platform::sleepFor(deadline - now);
}

bool slotListed(const std::string& body, std::int32_t slot) {
    auto fields = splitFields(body);
    return std::any_of(fields.begin(), fields.end(),
                       [slot](const std::string& field) { return parseInt32(field) == slot; });
}

} // namespace

void StudentClient::registerHandshake() {
    observeLink("READ_MSG_MV00007", Link::Direct, &StudentClient::onSlotList);
    observeLink("READ_MSG_MV00094", Link::Direct, &StudentClient::onConsoleVersion);
    observeLink("READ_MSG_MV10001", Link::Direct, &StudentClient::onLinkClose);
    observeLink("READ_MSG_MV10002", Link::Direct, &StudentClient::onHeartbeatAnswer);
    observeLink("READ_MSG_MV00007_RELAY", Link::Relay, &StudentClient::onSlotList);
    observeLink("READ_MSG_MV00094_RELAY", Link::Relay, &StudentClient::onConsoleVersion);
    observeLink("READ_MSG_FR00001_RELAY", Link::Relay, &StudentClient::onRelayAsksTeacher);
    observeLink("READ_MSG_FR00002_RELAY", Link::Relay, &StudentClient::onRelayConnIds);
    observeLink("READ_MSG_MV10001_RELAY", Link::Relay, &StudentClient::onLinkClose);
    observeLink("READ_MSG_MV10002_RELAY", Link::Relay, &StudentClient::onHeartbeatAnswer);
    observeLink("READ_MSG_MV00100_RELAY", Link::Relay, &StudentClient::onRelayDisconnect);
}

void StudentClient::onSlotList(Record& r, Link link) {
    StudentSessionInfo& info = gStudentSessionInfo();
    if (link == Link::Relay) {
        // The relay session announced version and OS kind on "[MV00001]"; a slot that is not
        // listed leaves the session connected but unregistered. The list is checked against the
        // slot login recorded, while the registration names the slot and name of the settings.
        if (!slotListed(r.strParams, info.m_nInputSlot.load()))
            return;
        std::int32_t slot = parseInt32(m_shared->stringValue(settings::kSlot));
        std::string alias = m_shared->string(settings::kAlias).value_or(settings::kDefaultAlias);
        sendCommand(command::slotRegistration(slot, alias), Link::Relay);
        return;
    }
    sendCommand(command::clientVersion(), Link::Direct);
    sendCommand(command::osKind(info.m_nOsKind.load(), info.m_szOsKind.get()), Link::Direct);
    waitOnMainClock(kSlotRegistrationDelaySeconds);
    std::int32_t slot = info.m_nInputSlot.load();
    if (!slotListed(r.strParams, slot)) {
        platform::logf("[ZQ]Slot %d not among the console's free slots; closing", slot);
        closeConnection();
        return;
    }
    info.m_szSlot.set(std::to_string(slot));
    sendCommand(command::slotRegistration(info.m_szSlot.get(), info.m_szAlias.get()), Link::Direct);
}

void StudentClient::onConsoleVersion(Record& r, Link link) {
    if (link == Link::Relay) {
        {
            std::lock_guard lock(m_versionLock);
            m_strRemoveMVVersion = r.strParams;
        }
        relayVersionLog().logf("[ZQ_RELAY]onReceivedMV00094:%s", r.strParams.c_str());
        return;
    }
    std::string digits = r.strParams;
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    m_bRemoteSeqProcess.store(parseInt32(digits) > kSequencedUploadMinVersion);
}

void StudentClient::onRelayAsksTeacher(Record&, Link) {
    sendCommand(command::relayLogin(GlobalConfig::shared().strTeacherId()), Link::RelayUnwrapped);
}

void StudentClient::onRelayConnIds(Record& r, Link) {
    auto fields = splitFields(r.strParams);
    if (fields.size() == kRelayConnIdFields) {
        transport::RelayConnData ids;
        ids.nConnId = parseInt32(fields[0]);
        ids.nConnTeacherId = parseInt32(fields[1]);
        m_relayConnData.store(ids);
    }
    // The line names the envelope's fields rather than their values; the envelope itself
    // carries the numbers.
    relayConnIdsLog().logf("[ZQ_UR_LOG] send:[PC_CONN]m_nTeacherConnId, m_nConnId");
    sendCommand(command::kRelayConnected, Link::Relay);
}

void StudentClient::onLinkClose(Record&, Link link) {
    if (link == Link::Relay) {
        if (auto conn = getRelayConn())
            conn->Close();
    }
}

void StudentClient::onHeartbeatAnswer(Record&, Link) {
    m_nHeartBeatFailureCnt.store(0);
}

void StudentClient::onRelayDisconnect(Record&, Link) {
    m_pNotificationCenter.post(events::kDisconnect, this);
}

} // namespace client
