// The login-time link to the relay server: registers the student with the relay, announces the
// relay connection and checks the student's seat against the free slots the console reports, then
// tells the login window by "POST_MSG_RECEIVED_RELAY_READY" / "..._NOT_READY". The login window
// makes and drives it on the main thread; its four handlers run on its receive thread.
#pragma once

#include "platform/NotificationCenter.h"
#include "transport/PacketBuilder.h"
#include "transport/TCPConnection.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace transport {

class TCP_RelayServer : public TCPConnection {
public:
    // The agent's version text in the relay registration "[US00001]<teacher ID>,<version>".
    static constexpr const char* kVersionText = "3.0.2.1008";
    static constexpr int kRequestBytes = 512;
    static constexpr const char* kRelayReady = "POST_MSG_RECEIVED_RELAY_READY";
    static constexpr const char* kRelayNotReady = "POST_MSG_RECEIVED_RELAY_NOT_READY";
    static constexpr const char* kKeyRet = "ret";
    static constexpr const char* kRetAbove = "1"; // every free slot lies below the student's
    static constexpr const char* kRetTaken = "2"; // the student's slot is not free

    // The link's four rows: "[FR00001]", "[FR00002]" (no suffix), "[MV00094]", "[MV00007]" (_RELAY).
    static const RevCallBackTable& codeTable();

    static std::shared_ptr<TCP_RelayServer>
    create(platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    // Prefer create(): the observers and threads need the object shared-owned.
    explicit TCP_RelayServer(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~TCP_RelayServer() override;

    // Makes the socket record and its socket; answers true in every case (a failed socket makes the
    // connect fail).
    bool open();
    void setConnectTimeout(int seconds) { SetConnectTimeout(seconds); }
    void setTeacherId(const std::string& teacherId);
    // The seat the free-slot list is checked against (the student record's input slot).
    void setInputSlot(int slot) { m_nInputSlot.store(slot); }
    // Logs "[ZQ_Relay]Connected !!" or "[ZQ_Relay]Connected false !!" and answers the result.
    bool connect(const std::string& host, int port);
    bool startRequestThread() { return StartRequestThread(); }
    bool startReceiveThread() { return StartReceiveThread(); }
    bool send(std::unique_ptr<SRequestData> request) { return Send(std::move(request)); }
    // Observes the four names, only as posted by this link, so a record is never taken by a
    // second observer (the client relay link posts the same "_RELAY" names). Called by create().
    void observe();
    // Ends the observations. Must not be called from inside one of this link's own handlers on
    // another thread's behalf (the centre waits for a running delivery).
    void removeNotification();
    void close() { Close(); }

    static bool makeCommandPacket(SRequestData& request, const std::string& command) {
        return builder::MakeSendPacket(request, command);
    }
    static bool makeRelayPacket(SRequestData& request, const std::string& command, RelayConnData relay) {
        return builder::MakeRelayPacket(request, command, relay);
    }

    bool ReceiveCallBack(std::shared_ptr<SReceiveData> record) override;

    RelayConnData relayConnData() const { return {m_nConnId.load(), m_nConnTeacherId.load()}; }

private:
    void onReceivedFR00001(const std::shared_ptr<SReceiveData>& record);
    void onReceivedFR00002(const std::shared_ptr<SReceiveData>& record);
    void onReceivedMV00094(const std::shared_ptr<SReceiveData>& record);
    void onReceivedMV00007(const std::shared_ptr<SReceiveData>& record);
    void sendText(const std::string& text, bool enveloped);

    std::mutex m_mutex; // guards m_teacherId and m_tokens; never held while removing observers
    std::string m_teacherId;
    std::vector<platform::ObserverToken> m_tokens;
    std::atomic<std::int32_t> m_nConnId{0};
    std::atomic<std::int32_t> m_nConnTeacherId{0};
    std::atomic<int> m_nInputSlot{0};
};

} // namespace transport
