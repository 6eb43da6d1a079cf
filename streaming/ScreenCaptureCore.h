// What both capture objects share: the per-frame decisions (pacing, the forbidden-program pass on
// dropped frames, the thumbnail-size check, then the upload), the session start and heartbeat, the
// teacher's forbidden lists and the screen-size notice on display changes. Frames are handled on the
// object's capture queue, never on the main thread; construction, observers and destruction belong
// to the main thread.
#pragma once

#include "forbidden/ForbiddenPrograms.h"
#include "forbidden/ProcessTable.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/SerialQueue.h"
#include "session/SessionHeartbeat.h"
#include "streaming/CaptureSource.h"
#include "streaming/FramePacer.h"
#include "streaming/ScreenUploader.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace streaming {

inline constexpr const char* kSetHideNotification = "POST_MSG_RECEIVED_SET_HIDE";
inline constexpr const char* kNoteToolModeNotification = "POST_MSG_RECEIVED_NOTETOOL_MODE";

class ScreenCaptureCore {
public:
    struct Options {
        std::string queueName;
        bool logsHeartbeatFailure = true;
        ScreenUploader::Options upload;
        // The process table of the forbidden-program pass; empty for the system's.
        std::unique_ptr<forbidden::ProcessTable> processTable;
    };

    virtual ~ScreenCaptureCore();
    ScreenCaptureCore(const ScreenCaptureCore&) = delete;
    ScreenCaptureCore& operator=(const ScreenCaptureCore&) = delete;

    // Hands each new login's client to the main window; set by the application at start-up.
    void setClientHandoff(session::SessionHeartbeat::ClientHandoff handoff) {
        m_sessionStart->setClientHandoff(std::move(handoff));
    }

    // Session start and heartbeat (main thread).
    void callbackOnLoginSuccess(const platform::Notification& notification) {
        m_sessionStart->callbackOnLoginSuccess(notification);
    }
    void initHeartBeat() { m_sessionStart->initHeartBeat(); }
    session::SessionHeartbeat& session() { return *m_sessionStart; }

    // The teacher asked the panel to hide or the note tool to change mode: nothing to do here.
    void callbackOnReceivedSetHide(const platform::Notification& /*notification*/) {}
    void callbackOnReceivedNoteToolMode(const platform::Notification& /*notification*/) {}

    // Display changes (main thread): sends "[PC00004]w,h" with the new size on the direct link.
    void displayReconfigurationCallback();

    // The drop test alone, as the frame path uses it (capture queue).
    bool frameDrop(std::int64_t elapsedMs, std::int32_t nDelayTime) {
        return m_pacer.frameDrop(elapsedMs, nDelayTime);
    }
    forbidden::ForbiddenPrograms& forbiddenPrograms() { return m_forbidden; }
    bool isRetinaDisplay() const { return m_bIsRetinaDisplay.load(); }

    // Runs block on the capture queue and waits for it (tests: settle frame work).
    void syncOnCaptureQueue(const std::function<void()>& block) { m_captureQueue.sync(block); }

protected:
    ScreenCaptureCore(Options options, platform::NotificationCenter& center);
    // Registers observers and the display-change handler; called right after the owner is shared.
    void setUp(const std::shared_ptr<ScreenCaptureCore>& self);

    // One frame, on the capture queue: pace, kill pass on a dropped frame, thumbnail-size check, upload.
    void handleFrame(CaptureFrame& frame);
    // Runs handleFrame on the capture queue while the frame is still valid.
    void handleFrameOnCaptureQueue(CaptureFrame& frame);
    // The upload of one accepted frame: the relay form on the link of a relay session, else direct.
    void upload(CaptureFrame& frame, client::StudentClient& studentClient);
    virtual void processImage(CaptureFrame& frame, client::StudentClient& studentClient) = 0;
    virtual void processRelayImage(CaptureFrame& frame, client::StudentClient& studentClient) = 0;

    ScreenUploader& uploader() { return m_uploader; }

private:
    platform::ObserverSet m_observers;
    std::shared_ptr<session::SessionHeartbeat> m_sessionStart;
    forbidden::ForbiddenPrograms m_forbidden;
    FramePacer m_pacer;        // capture queue only
    ScreenUploader m_uploader; // capture queue only
    std::atomic<bool> m_bIsRetinaDisplay{false};
    platform::screens::DisplayChangeToken m_displayToken = 0;
    platform::SerialQueue m_captureQueue; // last: ends before what its blocks use
};

} // namespace streaming
