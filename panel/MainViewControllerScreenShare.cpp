// The hub's part in the teacher-screen viewer: a broadcast opens it (one at a time).
#include "client/ClientEvents.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/ScreenShareViewing.h"
#include "platform/MainQueueObserver.h"
#include "platform/UserDefaults.h"

namespace panel {

namespace {
constexpr const char* kDataSendedKey = "macOS-data-sended";
constexpr const char* kNothingSent = "0";
} // namespace

void MainViewController::addScreenShareObservers() {
    m_observers.add(client::events::kScreenUploadEnable, nullptr, [this](const platform::Notification& note) {
        callbackOnReceivedScreenUploadEnable(note);
    });
    m_observers.add(client::events::kBroadcast, nullptr,
                    platform::onMainQueue([this](const platform::Notification& note) {
                        return callbackOnReceivedBroadcast(note);
                    }));
}

void MainViewController::callbackOnReceivedScreenUploadEnable(const platform::Notification&) {
    // The live view's start shows nothing on the student's side.
}

platform::Block MainViewController::callbackOnReceivedBroadcast(const platform::Notification&) {
    auto settings = platform::UserDefaults::suite();
    settings->setString(kDataSendedKey, kNothingSent);
    settings->synchronize();
    auto self = selfReference();
    if (!self)
        return {};
    return [self] { self->showScreenShareWindow(); };
}

void MainViewController::showScreenShareWindow() {
    AppDelegate& delegate = AppDelegate::shared();
    // One viewer at a time: a second full-screen window would only hide the first.
    auto open = delegate.getScreenShareWindowController();
    if (open && open->isOpen()) {
        auto content = delegate.getScreenShareViewController();
        if (auto* viewer = dynamic_cast<ScreenShareViewing*>(content.get()))
            viewer->initCanvas();
        open->window()->orderFront();
        return;
    }
    auto controller = desktop::WindowRegistry::instantiate(desktop::storyboard::kScreenShareWindow);
    if (!controller)
        return;
    // The viewer sends its share-board strokes through the client this hub holds at the time.
    if (auto* viewer = dynamic_cast<ScreenShareViewing*>(controller->contentViewController()))
        viewer->setStudentClientSource([weak = std::weak_ptr<MainViewController>(selfReference())] {
            auto hub = weak.lock();
            return hub ? hub->getStudentClient() : nullptr;
        });
    delegate.setScreenShareWindowController(controller);
    controller->showWindow();
}

} // namespace panel
