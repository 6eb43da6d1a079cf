#include "panel/MainWindow.h"

#include "panel/FloatText.h"
#include "panel/MainViewController.h"
#include "panel/PanelEvents.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"

#include <QMouseEvent>
#include <QPainter>

namespace panel {
namespace {

constexpr int kNoteToolPointerMode = 0;
constexpr std::uint32_t kTitleColour = 0x2A6AAE;
constexpr const char* kTitleText = "Olvex Student";
constexpr int kTitleTextInset = 8;

} // namespace

MainWindow::MainWindow() : desktop::Window(Style::Borderless) {
    setSeeThrough(true);
}

MainWindowController::MainWindowController(platform::NotificationCenter& center)
    : desktop::WindowController(std::make_unique<MainWindow>(), std::make_unique<MainViewController>(center)),
      m_pNotificationCenter(center), m_observers(center) {}

desktop::Frame MainWindowController::initialFrame() {
    const int width = platform::screens::clientWidth();
    const int height = platform::screens::clientHeight();
    const double menuBar = platform::screens::menuBarHeight();
    return {static_cast<double>(width - kPanelWidth), (height - menuBar) * 0.5 + kShortHeight,
            static_cast<double>(kPanelWidth), static_cast<double>(kShortHeight)};
}

void MainWindowController::windowDidLoad() {
    m_observers.add(events::kMaximizeWindow, nullptr,
                    [this](const platform::Notification& note) { callbackOnReceivedMaximizeWindow(note); });
    m_nNoteToolViewOriginHeight = kOriginHeight;
    m_nNoteToolViewShortHeight = kShortHeight;
    m_nNoteToolViewDownHeight = kDownHeight;
    window()->setLevel(desktop::level::kPanel);
    window()->setFrame(initialFrame());
    // A board covers the whole screen and the panel is its only way out: the manager's minimise of
    // the panel over it (a taskbar, Alt+F9, show-desktop) is the panel's own, into its tab. Over
    // the desktop the panel is minimised as any window.
    window()->shouldMiniaturizeOverBackdrop = [this] {
        auto* hub = dynamic_cast<MainViewController*>(contentViewController());
        return hub && hub->minimizeRequestedByWindowManager();
    };
}

bool MainWindowController::windowShouldClose() {
    if (auto* hub = dynamic_cast<MainViewController*>(contentViewController()))
        hub->closeRequestedByWindowManager();
    return false;
}

void MainWindowController::callbackOnReceivedMaximizeWindow(const platform::Notification& note) {
    const platform::Dictionary* origin = note.dictionary();
    if (!origin) {
        platform::logf("[ZQ]Maximize request without a dictionary.");
        return;
    }
    if (!platform::mainQueue::isMainThread()) {
        platform::logf("[ZQ]Maximize request off the main thread ignored.");
        return;
    }
    const float fX = floatValue(platform::dictionaryValue(origin, events::kKeyFX));
    const float fY = floatValue(platform::dictionaryValue(origin, events::kKeyFY));
    const float y = m_nMode != kNoteToolPointerMode ? fY - static_cast<float>(m_nNoteToolViewDownHeight) : fY;
    window()->setFrameOrigin(fX, y - kTabOffset);
    showWindow();
}

TitleView::TitleView(QWidget* parent) : QWidget(parent) {}

QPointF TitleView::locationInWindow(const QMouseEvent* event) const {
    const QWidget* top = window();
    const QPointF inWindow = mapTo(top, event->position());
    return {inWindow.x(), top->height() - inWindow.y()};
}

void TitleView::mousePressEvent(QMouseEvent* event) {
    const QPointF at = locationInWindow(event);
    m_fRemainX = static_cast<float>(at.x());
    m_fRemainY = static_cast<float>(at.y());
    event->accept();
}

void TitleView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (moveEnabled && !moveEnabled())
        return;
    auto* agentWindow = dynamic_cast<desktop::Window*>(window());
    if (!agentWindow)
        return;
    const desktop::Frame frame = agentWindow->frame();
    const QPointF at = locationInWindow(event);
    const float dx = static_cast<float>(at.x()) - m_fRemainX;
    const float dy = static_cast<float>(at.y()) - m_fRemainY;
    agentWindow->setFrameOrigin(frame.x + dx, frame.y + dy);
    event->accept();
}

void TitleView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(kTitleColour));
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(kTitleTextInset, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, kTitleText);
}

void registerMainWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kMainWindow,
                                             [] { return std::make_shared<MainWindowController>(); });
}

} // namespace panel
