// The login's steps without a window: the relay-server lookup, the registration with the relay
// server, the teacher connection (direct with a time-out, else through the relay) and the slot
// check, ending in the main window or back at idle with a message. The login window owns it and
// calls it on the main thread; connects run on a worker and receive threads only hand parsed
// values to the main queue, so every field here is touched on the main thread alone.
#pragma once

#include "login/LoginInputRules.h"
#include "login/RSInfoLookup.h"
#include "platform/NotificationCenter.h"
#include "transport/TCPServerClient.h"
#include "transport/TCP_RelayServer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace login {

// What the flow asks of the login window. Main thread.
class LoginView {
public:
    virtual ~LoginView() = default;
    // The teacher-ID field gets the text without white space back.
    virtual void setTeacherIdText(const std::string& text) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    virtual void setProgressEnabled(bool enabled) = 0;
    // The message box with an OK button (the flow returns to idle itself).
    virtual void showMessagebox(const std::string& text) = 0;
    // A one-button modal alert; ok runs when the student presses OK.
    virtual void showAlert(const std::string& title, const std::string& content,
                           std::function<void()> ok) = 0;
    // Closes the login window from the program and opens the main panel window.
    virtual void openMainWindow() = 0;
};

// The free-slot list of "[MV00007]" against the student's slot: with a comma every field in
// order, without one the whole text as one number (no digits read as 0).
struct SlotCheck {
    bool match = false;
    std::int32_t last = 0; // the value compared last
};
SlotCheck checkFreeSlots(std::string_view params, std::int32_t inputSlot);

// The relay server's refusal code of "[UR00001]" as a message for the student.
std::string getChangeRSMessageByLanguage(const std::string& code);

// A port text as the connect takes it, or empty when it is outside 0..65535.
std::optional<int> portValue(std::string_view text);

class LoginFlow : public std::enable_shared_from_this<LoginFlow> {
public:
    static constexpr double kLookupDelaySeconds = 0.5;
    static constexpr double kOpenMainWindowDelaySeconds = 2.0;
    // The relay server's own link gets the request time-out of the lookup, never an unlimited wait.
    static constexpr int kRelayServerConnectTimeoutSeconds = 15;
    static constexpr int kTeacherConnectTimeoutSeconds = 4;
    static constexpr int kRelayConnectTimeoutSeconds = 5;
    // A login link that is up must bring its answer within this time ("[UR00001]" to "[UR00002]"
    // from the relay server, the free slots from the console, directly or through the relay), or
    // the login gives up on it (the lookup's own request time-out): a peer that takes the link and
    // stays silent would otherwise leave the window busy and the login button dead.
    static constexpr double kLoginAnswerTimeoutSeconds = 15.0;
    static constexpr int kRequestBytes = 512;
    static constexpr const char* kRelayConnectingText = "릴레이 서버와 연결중입니다.";

    enum class Stage {
        Idle,
        LookingUp,         // the lookup delay or request is running
        RelayServer,       // connecting to / registering with the relay server
        ConnectingTeacher, // the direct connect (or the relay fallback's connect)
        SlotCheck,         // waiting for the console's free slots (direct or relayed)
        Opening,           // slot accepted, the main window opens after the delay
        Done,              // the main window is open
        Ending,            // an alert whose OK ends the process is up
    };

    static std::shared_ptr<LoginFlow>
    create(LoginView& view,
           platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    LoginFlow(LoginView& view, platform::NotificationCenter& center);
    // Main thread. Ends the observations, closes the login links and waits for a connect worker.
    ~LoginFlow();
    LoginFlow(const LoginFlow&) = delete;
    LoginFlow& operator=(const LoginFlow&) = delete;

    // The student's identity into the record, as the window loads.
    void initValue();

    // The login press (button or Return) with the fields' texts at that moment; the values are
    // taken once here and used by every later step.
    void onClickLogin(const std::string& teacherIdText, const std::string& nameText,
                      const std::string& slotText);

    bool isLoginInProgress() const { return m_bOnClicked; }
    Stage stage() const { return m_stage; }
    bool isRelayMode() const { return m_bRelayMode; }

private:
    void getRSInfo();
    void getRSInfoResult(const RSInfoOutcome& outcome);
    void rsConnect();
    void rsConnected(bool ok);
    void rsClose();
    void callBackUR00001(std::uint64_t link, const std::string& f0);
    void callBackUR00002(std::uint64_t link, const std::string& serverIp, const std::string& serverPort);
    void callBackUR00004(std::uint64_t link, const std::string& relayIp, const std::string& relayPort);
    void callbackMVConnectReady();
    void threadMVConnection();
    void teacherConnected(bool ok);
    void relayFallback();
    void relayConnected(bool ok);
    void callbackMV00007(std::uint64_t link, SlotCheck check);
    void onRelayReady(std::uint64_t link);
    void onRelayNotReady(std::uint64_t link, const std::string& ret);
    void finishLogin();
    void onLoginLinkLost(std::uint64_t link, const char* why);
    void onRelayLinkLost(std::uint64_t link, const char* why);
    // Gives the current login link kLoginAnswerTimeoutSeconds to answer; lost runs on expiry
    // when that link is still the current one.
    void armAnswerTimeout(void (LoginFlow::*lost)(std::uint64_t, const char*), const char* why);
    // Back to idle after a login link ended without an answer: status "connection failed".
    void returnToIdleConnectionFailed();

    // Back to idle with a message box (the status text cleared, the indicator hidden).
    void failWithMessage(const std::string& text);
    void closeTeacherLink();
    void closeRelayLink();
    void removeLinkObservers();
    // What a login link's observer does with the flow on the main queue.
    using FlowStep = std::function<void(LoginFlow&)>;
    // Observes name from the current login link until removeLinkObservers: read runs on the link's
    // receive thread and returns the step for the main queue (empty: none), which is dropped when
    // the flow has gone by then.
    void observeLink(const std::string& name, const void* sender,
                     std::function<FlowStep(const platform::Notification&)> read);
    // Observes the end of the current direct login link (relay server or teacher).
    void observeLinkLoss();
    void observeRelayServerLink();
    void observeTeacherLink();
    void observeRelayLink();
    // Connects on a worker thread and runs done on the main queue with the result.
    void connectOnWorker(std::function<bool()> connect, std::function<void(LoginFlow&, bool)> done);
    void joinWorker();

    LoginView& m_view;
    platform::NotificationCenter& m_pNotificationCenter;
    // One per attempt: the previous attempt's worker may still be winding down after its answer.
    std::unique_ptr<RSInfoLookup> m_lookup;
    Stage m_stage = Stage::Idle;
    bool m_bOnClicked = false;
    LoginInput m_input;
    SResultData m_sRSInfoResultData;
    std::shared_ptr<transport::TCPServerClient> m_pMVConn;
    std::shared_ptr<transport::TCP_RelayServer> m_pRelayConn;
    std::string m_strRelayIp;
    std::string m_strRelayPort;
    bool m_bRelayMode = false;
    std::string m_nsIp;
    bool m_bConnectThreadRunning = false; // at most one teacher connect at a time
    std::thread m_worker;
    platform::ObserverSet m_linkObservers;
    // Names the current login link in the blocks its observers queue: a link's address may be
    // reused by the next one, its number never is.
    std::uint64_t m_linkGeneration = 0;
};

} // namespace login
