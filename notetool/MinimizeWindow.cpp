#include "notetool/MinimizeWindow.h"

#include "client/ClientEvents.h"
#include "client/GlobalConfig.h"
#include "notetool/NoteToolEvents.h"
#include "panel/FloatText.h"
#include "panel/PanelEvents.h"
#include "platform/Log.h"
#include "platform/MainQueueObserver.h"
#include "platform/desktop/Images.h"

#include <QMouseEvent>
#include <QPainter>

namespace notetool {
namespace {

constexpr const char* kTabImage = "note_tab";

// The teacher's lock makes a tab and the unlock closes it, a pair it can repeat without end.
constexpr int kTabLinesPerSecond = 3;

platform::LogRateLimit& tabGoneLog() {
    static platform::LogRateLimit limit(kTabLinesPerSecond);
    return limit;
}

// The view controller adds nothing to its view.
class MinimizeViewController : public desktop::ViewController {
protected:
    std::unique_ptr<QWidget> loadView() override { return std::make_unique<MinimizeView>(); }
};

} // namespace

MinimizeWindow::MinimizeWindow() : desktop::Window(Style::Borderless) {
    setSeeThrough(true, Qt::transparent);
}

MinimizeView::MinimizeView(platform::NotificationCenter& center)
    : m_pNotificationCenter(center), m_observers(center) {
    setObjectName(kObjectName);
    m_observers.add(
        client::events::kNoteToolLock, nullptr,
        platform::onMainQueue([this](const platform::Notification& note) { return onMaximizeMode(note); }));
    m_bNoteToolMaximizeLock.store(false);
    client::GlobalConfig::shared().setIsMinimizeEnabled(true);
}

MinimizeView::~MinimizeView() {
    m_observers.removeAll();
    if (!m_bClosed)
        client::GlobalConfig::shared().setIsMinimizeEnabled(false);
    tabGoneLog().logf("[ZQ]MinimizeView Dealloc is called");
}

platform::Block MinimizeView::onMaximizeMode(const platform::Notification& note) {
    // Off the main thread this is the teacher's command, which the note-tool panel hands on to the
    // main thread in order with the lock that makes the tab; taken here as well, an unlock could
    // overtake that lock.
    if (!platform::mainQueue::isMainThread())
        return {};
    const std::string value = note.value(client::events::kKeyMaximize);
    if (value == "0") {
        m_bNoteToolMaximizeLock.store(true);
        return {};
    }
    if (value != "1")
        return {};
    m_bNoteToolMaximizeLock.store(false);
    QPointer<MinimizeView> self(this);
    return [self] {
        if (self)
            self->maximizeNoteTool();
    };
}

void MinimizeView::maximizeNoteTool() {
    if (m_bNoteToolMaximizeLock.load())
        return;
    auto* tab = dynamic_cast<desktop::Window*>(window());
    if (!tab || !tab->isVisible())
        return;
    const desktop::Frame frame = tab->frame();
    tab->closeFromCode();
    // The tab is gone for the student now, though its view goes only once the event loop comes
    // round: a teacher's lock handled before then makes a new tab, which this one must not touch.
    m_observers.removeAll();
    m_bClosed = true;
    client::GlobalConfig::shared().setIsMinimizeEnabled(false);
    m_pNotificationCenter.post(panel::events::kMaximizeWindow, nullptr,
                               platform::Dictionary{{panel::events::kKeyFX, panel::formatFloat(frame.x)},
                                                    {panel::events::kKeyFY, panel::formatFloat(frame.y)}});
}

QPointF MinimizeView::locationInWindow(const QMouseEvent* event) const {
    const QWidget* top = window();
    const QPointF inWindow = mapTo(top, event->position());
    return {inWindow.x(), top->height() - inWindow.y()};
}

void MinimizeView::mousePressEvent(QMouseEvent* event) {
    const QPointF at = locationInWindow(event);
    m_fRemainX = static_cast<float>(at.x());
    m_fRemainY = static_cast<float>(at.y());
    event->accept();
}

void MinimizeView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    auto* tab = dynamic_cast<desktop::Window*>(window());
    if (!tab)
        return;
    m_bMoving = true;
    const QPointF at = locationInWindow(event);
    const desktop::Frame frame = tab->frame();
    tab->setFrameOrigin(frame.x + (static_cast<float>(at.x()) - m_fRemainX),
                        frame.y + (static_cast<float>(at.y()) - m_fRemainY));
    event->accept();
}

void MinimizeView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_bMoving) {
        QPointer<MinimizeView> self(this);
        platform::mainQueue::async([self] {
            if (self)
                self->maximizeNoteTool();
        });
    }
    m_bMoving = false;
    event->accept();
}

void MinimizeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), desktop::images::named(kTabImage, size()));
}

MinimizeWindowController::MinimizeWindowController(platform::NotificationCenter& center)
    : desktop::WindowController(std::make_unique<MinimizeWindow>(),
                                std::make_unique<MinimizeViewController>()),
      m_observers(center) {}

MinimizeView* MinimizeWindowController::tabView() const {
    return contentViewController() ? dynamic_cast<MinimizeView*>(contentViewController()->view()) : nullptr;
}

void MinimizeWindowController::windowDidLoad() {
    m_observers.add(events::kMinimizeWindow, nullptr,
                    [this](const platform::Notification& note) { callbackOnReceivedMinimizeWindow(note); });
    window()->setLevel(desktop::level::kPanel);
}

void MinimizeWindowController::callbackOnReceivedMinimizeWindow(const platform::Notification& note) {
    if (!platform::mainQueue::isMainThread()) {
        platform::logf("[ZQ]Minimize request off the main thread ignored.");
        return;
    }
    const float fX = panel::floatValue(note.value(panel::events::kKeyFX));
    const float fY = panel::floatValue(note.value(panel::events::kKeyFY));
    window()->setFrame(desktop::Frame{fX, fY + kTabRise, kTabSide, kTabSide});
}

void registerMinimizeWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kMinimizeWindow,
                                             [] { return std::make_shared<MinimizeWindowController>(); });
}

} // namespace notetool
