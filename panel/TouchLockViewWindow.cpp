#include "panel/TouchLockViewWindow.h"

#include "platform/Screens.h"
#include "platform/desktop/Images.h"

#include <QGraphicsOpacityEffect>
#include <QResizeEvent>

namespace panel {
namespace {

constexpr int kLockIconSize = 128;

// The lock view: the picture fills it, the symbol sits in its middle.
class TouchLockView : public QWidget {
public:
    QLabel* picture = nullptr;
    QLabel* icon = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (picture) {
            picture->setGeometry(rect());
            picture->setPixmap(
                desktop::images::named(TouchLockViewController::kLockPicture, size(), devicePixelRatioF()));
        }
        if (icon)
            icon->move((width() - kLockIconSize) / 2, (height() - kLockIconSize) / 2);
    }
};

void setOpacity(QWidget* widget, double opacity) {
    auto* effect = new QGraphicsOpacityEffect(widget); // owned by the widget
    effect->setOpacity(opacity);
    widget->setGraphicsEffect(effect);
}

} // namespace

TouchLockViewWindow::TouchLockViewWindow() : desktop::Window(Style::Borderless) {
    setSeeThrough(true);
    // Under an X11 window manager a covered window keeps the keyboard focus and the manager its key
    // bindings (Alt+F4 on the panel, Alt+Tab, desktop switching): the lock takes both devices.
    setHoldsInput(true);
}

std::unique_ptr<QWidget> TouchLockViewController::loadView() {
    auto view = std::make_unique<TouchLockView>();
    m_imageViewLock = new QLabel(view.get());
    m_imageViewLock->setScaledContents(true);
    m_imageViewLockIcon = new QLabel(view.get());
    m_imageViewLockIcon->setFixedSize(kLockIconSize, kLockIconSize);
    m_imageViewLockIcon->setPixmap(desktop::images::named(kLockIcon, QSize(kLockIconSize, kLockIconSize)));
    view->picture = m_imageViewLock;
    view->icon = m_imageViewLockIcon;
    return view;
}

void TouchLockViewController::viewDidLoad() {
    setOpacity(m_imageViewLock, kLockPictureOpacity);
    setOpacity(m_imageViewLockIcon, kLockIconOpacity);
}

TouchLockViewWindowController::TouchLockViewWindowController()
    : desktop::WindowController(std::make_unique<TouchLockViewWindow>(),
                                std::make_unique<TouchLockViewController>()) {}

void TouchLockViewWindowController::windowDidLoad() {
    // The whole primary screen except the menu bar.
    const double width = platform::screens::clientWidth();
    const double height = platform::screens::clientHeight() - platform::screens::menuBarHeight();
    window()->setFrame({0.0, 0.0, width, height});
    window()->setLevel(desktop::level::kLockScreen);
}

void registerLockViewWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kLockViewWindow, [] {
        return std::make_shared<TouchLockViewWindowController>();
    });
}

} // namespace panel
