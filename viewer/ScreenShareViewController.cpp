#include "viewer/ScreenShareViewController.h"

#include "client/ArchivedRecords.h"
#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "panel/AppDelegate.h"
#include "platform/Log.h"
#include "platform/MainQueueObserver.h"
#include "platform/Screens.h"
#include "viewer/ScreenShareWindow.h"

#include <chrono>
#include <cstring>

namespace viewer {

namespace {
// One line for every H.264 frame the console sends, which it may do without pause: a few a second
// reach the log, with the count of the rest.
constexpr int kFrameLinesPerSecond = 3;

platform::LogRateLimit& frameAddedLog() {
    static platform::LogRateLimit limit(kFrameLinesPerSecond);
    return limit;
}

// The viewer opens on the console's broadcast and closes on its stop, a pair it can repeat without
// end.
platform::LogRateLimit& appearedLog() {
    static platform::LogRateLimit limit(kFrameLinesPerSecond);
    return limit;
}

// The gate of every input event: the registered viewer's answer mode, asked at each event.
bool registeredViewerAllowsAnswers() {
    auto controller = panel::AppDelegate::shared().getScreenShareViewController();
    auto* viewer = dynamic_cast<panel::ScreenShareViewing*>(controller.get());
    return viewer != nullptr && viewer->getAnswerEnabled();
}

// The archive under key: shared with the event when it was posted shared, copied otherwise.
SharedArchive archiveOf(const platform::Notification& note, const char* key) {
    if (auto shared = note.sharedDictionary()) {
        auto found = shared->find(key);
        if (found == shared->end())
            return {};
        const std::string& text = found->second;
        return SharedArchive(std::move(shared),
                             {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
    return SharedArchive(client::archiveFromText(note.value(key)));
}

// The tiles a waiting update repaints, for the list to tell which updates a later one supersedes.
std::vector<std::int32_t> tilesOfUpdate(std::span<const std::uint8_t> archive) {
    auto in = platform::KeyedUnarchiver::openBorrowing(archive, client::ImageSample::kClassName);
    auto block = in ? in->decodeBytesView("screenIndex") : std::nullopt;
    std::vector<std::int32_t> tiles;
    if (!block)
        return tiles;
    tiles.resize(block->size() / sizeof(std::int32_t));
    if (!tiles.empty())
        std::memcpy(tiles.data(), block->data(), tiles.size() * sizeof(std::int32_t));
    return tiles;
}
} // namespace

ScreenShareViewController::Feed::Feed()
    : screen("Screen update", kMaxWaitingUpdates, kMaxWaitingUpdateBytes, {}, tilesOfUpdate),
      h264("H264 frame", kMaxWaitingFrames, kMaxWaitingFrameBytes, archiveBeginsDecodableStream) {}

namespace {} // namespace

ScreenShareViewController::ScreenShareViewController(platform::NotificationCenter& center)
    : m_pNotificationCenter(center), m_observers(center) {}

ScreenShareViewController::~ScreenShareViewController() {
    memoryClear();
}

std::unique_ptr<QWidget> ScreenShareViewController::loadView() {
    auto view = std::make_unique<ScreenShareView>(m_pNotificationCenter);
    view->answersEnabled = registeredViewerAllowsAnswers;
    m_imageViewCanvas = view.get();
    return view;
}

std::shared_ptr<desktop::ViewController> ScreenShareViewController::selfReference() {
    desktop::WindowController* owner = windowController();
    if (!owner)
        return nullptr;
    return std::shared_ptr<desktop::ViewController>(owner->shared_from_this(), this);
}

void ScreenShareViewController::viewDidLoad() {
    panel::AppDelegate::shared().setScreenShareViewController(selfReference());
    m_model.stop();
    m_shared = platform::UserDefaults::suite();
    m_feed = std::make_shared<Feed>();
    addObservers();
    initCanvas();
    if (!m_screenRefreshTimer)
        m_screenRefreshTimer = platform::Timer::scheduled(kRefreshInterval, true,
                                                          [this](platform::Timer&) { screenRefresher(); });
}

void ScreenShareViewController::viewDidAppear() {
    appearedLog().logf("===========View Did Appear");
}

void ScreenShareViewController::addObservers() {
    std::weak_ptr<Feed> feed = m_feed;
    m_observers.add(client::events::kScreenData, nullptr, [feed](const platform::Notification& note) {
        if (auto f = feed.lock())
            f->screen.append(archiveOf(note, client::events::kKeyCombinedDib));
    });
    m_observers.add(client::events::kScreenH264Data, nullptr, [feed](const platform::Notification& note) {
        if (auto f = feed.lock()) {
            frameAddedLog().logf("H264 Data added");
            f->h264.append(archiveOf(note, client::events::kKeyH264));
        }
    });
    // Window work goes to the main queue, reaching the window only while it still exists.
    std::weak_ptr<desktop::WindowController> window;
    if (desktop::WindowController* owner = windowController())
        window = owner->weak_from_this();
    auto onMain = [window](void (*work)(ScreenShareViewController&)) {
        return platform::onMainQueue([window, work](const platform::Notification&) -> platform::Block {
            return [window, work] {
                auto owner = window.lock();
                auto* viewer = owner
                                   ? dynamic_cast<ScreenShareViewController*>(owner->contentViewController())
                                   : nullptr;
                if (viewer != nullptr && owner->isOpen())
                    work(*viewer);
            };
        });
    };
    m_observers.add(kScreenShareInitReceived, nullptr, onMain([](ScreenShareViewController& v) {
                        if (v.m_imageViewCanvas)
                            v.m_imageViewCanvas->clearImage();
                    }));
    // The console announced a share canvas ("[MV00103]") while the viewer is open: the mode and the
    // grid are read again, so no strip is cut into the old grid.
    m_observers.add(client::events::kScreenShareInit, nullptr,
                    onMain([](ScreenShareViewController& v) { v.initCanvas(); }));
    m_observers.add(client::events::kScreenShareShow, nullptr, onMain([](ScreenShareViewController& v) {
                        if (v.m_imageViewCanvas)
                            v.m_imageViewCanvas->setVisible(true);
                    }));
    m_observers.add(client::events::kBroadcastStop, nullptr, onMain([](ScreenShareViewController& v) {
                        v.m_model.stop();
                        if (desktop::WindowController* owner = v.windowController())
                            owner->close();
                    }));
}

void ScreenShareViewController::setStudentClientSource(StudentClientSource source) {
    if (m_imageViewCanvas)
        m_imageViewCanvas->studentClient = std::move(source);
}

void ScreenShareViewController::initCanvas() {
    if (!m_shared)
        return;
    // A viewer asked again (a repeated broadcast) keeps its mode, grid and canvas unless the
    // console set a new mode: the key it consumed reads "-1" now.
    const std::string mode = m_shared->stringValue(client::settings::kScreenInit);
    if (m_model.hasMode() && mode != client::settings::kScreenInitAnswer &&
        mode != client::settings::kScreenInitShare)
        return;
    m_model.initCanvas(*m_shared);
    if (m_imageViewCanvas)
        m_imageViewCanvas->present(m_model.canvas().image(), m_model.canvas().takeDirty());
}

void ScreenShareViewController::screenRefresher() {
    if (!m_feed)
        return;
    const bool waiting = !m_feed->screen.empty() || !m_feed->h264.empty();
    if (!waiting)
        return;
    // The mode may have been set after the window opened (the size comes after the broadcast).
    if (!m_model.hasMode())
        initCanvas();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(kTickBudgetSeconds));
    bool changed = false;
    while (Clock::now() < deadline) {
        std::vector<SharedArchive> batch;
        while (batch.size() < kMaxUpdatesPerBatch) {
            auto update = m_feed->screen.take();
            if (!update)
                break;
            batch.push_back(std::move(*update));
        }
        if (batch.empty())
            break;
        changed = m_model.applyScreenUpdates(batch) || changed;
    }
    // Frames are decoded in order (each depends on the one before), at least one a tick; those the
    // time leaves wait for the next tick. Only the newest decoded picture is shown.
    bool decoded = false;
    while (!decoded || Clock::now() < deadline) {
        auto frame = m_feed->h264.take();
        if (!frame)
            break;
        m_model.decodeH264(*frame);
        decoded = true;
    }
    if (decoded)
        changed = m_model.showDecodedFrames() || changed;
    if (changed && m_imageViewCanvas)
        m_imageViewCanvas->present(m_model.canvas().image(), m_model.canvas().takeDirty());
}

void ScreenShareViewController::memoryClear() {
    if (m_screenRefreshTimer) {
        m_screenRefreshTimer->invalidate();
        m_screenRefreshTimer.reset();
    }
    // Returns once no delivery is running; none reaches the viewer afterwards.
    m_observers.removeAll();
    if (m_imageViewCanvas)
        m_imageViewCanvas->clearImage();
    if (m_feed) {
        m_feed->screen.clear();
        m_feed->h264.clear();
        m_feed.reset();
    }
    m_shared.reset();
    panel::AppDelegate& delegate = panel::AppDelegate::shared();
    if (delegate.getScreenShareViewController().get() == this) {
        delegate.setScreenShareViewController(nullptr);
        delegate.setScreenShareWindowController(nullptr);
    }
}

ScreenShareWindowController::ScreenShareWindowController(platform::NotificationCenter& center)
    : desktop::WindowController(std::make_unique<ScreenShareWindow>(center),
                                std::make_unique<ScreenShareViewController>(center)) {
    static_cast<ScreenShareWindow*>(window())->answersEnabled = registeredViewerAllowsAnswers;
}

ScreenShareViewController* ScreenShareWindowController::viewer() const {
    return static_cast<ScreenShareViewController*>(contentViewController());
}

void ScreenShareWindowController::windowDidLoad() {
    const double width = platform::screens::clientWidth();
    const double height = platform::screens::clientHeight() - platform::screens::menuBarHeight();
    window()->setFrame({0.0, 0.0, width, height});
    window()->setLevel(desktop::level::kScreenShareViewer);
}

void ScreenShareWindowController::windowDidClose() {
    viewer()->memoryClear();
}

void registerViewerWindows(platform::NotificationCenter& center) {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kScreenShareWindow, [&center] {
        return std::make_shared<ScreenShareWindowController>(center);
    });
}

} // namespace viewer
