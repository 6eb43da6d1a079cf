#include "streaming/ScreenCaptureCore.h"

#include "client/StudentSessionInfo.h"
#include "streaming/H264Encoder.h"

namespace streaming {

namespace {

constexpr const char* kScreenSizeCommand = "[PC00004]";

std::unique_ptr<forbidden::ProcessTable> tableOrSystem(std::unique_ptr<forbidden::ProcessTable> table) {
    if (table) {
        return table;
    }
    return std::make_unique<forbidden::LinuxProcessTable>();
}

} // namespace

ScreenCaptureCore::ScreenCaptureCore(Options options, platform::NotificationCenter& center)
    : m_observers(center),
      m_sessionStart(session::SessionHeartbeat::create({options.logsHeartbeatFailure, this}, center)),
      m_forbidden(tableOrSystem(std::move(options.processTable))), m_uploader(options.upload),
      m_bIsRetinaDisplay(platform::screens::isHighDensity()), m_captureQueue(options.queueName) {
    // The encoder is made here, where the H.264 library is linked, the first time a session asks.
    client::StudentClient::setEncoderFactory([] { return std::make_shared<H264Encoder>(); });
}

ScreenCaptureCore::~ScreenCaptureCore() {
    m_observers.removeAll();
    if (m_displayToken != 0) {
        platform::screens::removeDisplayChangeHandler(m_displayToken);
    }
}

void ScreenCaptureCore::setUp(const std::shared_ptr<ScreenCaptureCore>& self) {
    std::weak_ptr<ScreenCaptureCore> weak = self;
    m_sessionStart->observe(m_observers);
    m_observers.add(kSetHideNotification, nullptr, [weak](const platform::Notification& note) {
        if (auto strong = weak.lock()) {
            strong->callbackOnReceivedSetHide(note);
        }
    });
    m_observers.add(kNoteToolModeNotification, nullptr, [weak](const platform::Notification& note) {
        if (auto strong = weak.lock()) {
            strong->callbackOnReceivedNoteToolMode(note);
        }
    });
    m_forbidden.observe(m_observers);
    m_displayToken = platform::screens::addDisplayChangeHandler([weak] {
        if (auto strong = weak.lock()) {
            strong->displayReconfigurationCallback();
        }
    });
}

void ScreenCaptureCore::displayReconfigurationCallback() {
    // Before the session starts there is no client, and a relay session has no direct link: nothing
    // is sent.
    auto studentClient = client::gStudentClient();
    if (!studentClient) {
        return;
    }
    studentClient->sendCommand(kScreenSizeCommand + std::to_string(platform::screens::clientWidth()) + "," +
                                   std::to_string(platform::screens::clientHeight()),
                               client::StudentClient::Link::Direct);
}

void ScreenCaptureCore::handleFrameOnCaptureQueue(CaptureFrame& frame) {
    m_captureQueue.sync([this, &frame] { handleFrame(frame); });
}

void ScreenCaptureCore::upload(CaptureFrame& frame, client::StudentClient& studentClient) {
    if (studentClient.sessionLink() == client::StudentClient::Link::Relay) {
        processRelayImage(frame, studentClient);
    } else {
        processImage(frame, studentClient);
    }
}

void ScreenCaptureCore::handleFrame(CaptureFrame& frame) {
    std::shared_ptr<client::StudentClient> studentClient = client::gStudentClient();
    // Before the first login there is no client: every frame passes the pacing and stops at the
    // thumbnail size, which only the teacher sets.
    std::int32_t interval = 0;
    if (studentClient) {
        interval = studentClient->getRemoteView() ? kLiveViewIntervalMs : studentClient->getRefreshDelay();
    }
    if (m_pacer.pace(frame.ptsValue(), frame.ptsTimescale(), interval)) {
        m_forbidden.killProcess(studentClient && studentClient->getPreventApp());
        return;
    }
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    if (info.m_nThumbWidth.load() == 0 || info.m_nThumbHeight.load() == 0 || !studentClient) {
        return;
    }
    m_bIsRetinaDisplay.store(platform::screens::isHighDensity());
    upload(frame, *studentClient);
}

} // namespace streaming
