#include "platform/desktop/Window.h"

#include "platform/Screens.h"
#include "platform/desktop/InputGrab.h"
#include "platform/desktop/X11Desktop.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>

namespace desktop {

bool compositorRunning() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        return x11::compositorRunning();
    // Wayland always composites; the offscreen platform draws into memory, where clear is clear.
    return platform.startsWith(QLatin1String("wayland")) || platform == QLatin1String("offscreen");
}

Window::Window(Style style) : m_style(style) {
    // An ordinary window until it is given a level: the permission and login windows stack among
    // other programs' windows as the window manager and the student decide.
    Qt::WindowFlags flags = Qt::Window;
    if (style == Style::Borderless)
        flags |= Qt::FramelessWindowHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

Window::~Window() {
    m_inputGrab.reset();
    WindowStack::shared().remove(this);
}

void Window::setLevel(int level) {
    m_level = level;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::X11BypassWindowManagerHint, bypassesWindowManager(level));
    // Only a window with a level stays above other applications.
    flags.setFlag(Qt::WindowStaysOnTopHint, level != level::kNormal);
    if (flags != windowFlags()) {
        // New flags need a new native window, which Qt makes hidden.
        const bool wasVisible = isVisible();
        setWindowFlags(flags);
        if (wasVisible)
            orderFront();
    }
    WindowStack::shared().setLevel(this, level);
}

void Window::setFrame(const Frame& frame) {
    // Placements are computed for a screen of some size; on a smaller or lower screen (an 800-pixel
    // high screen under a 414-point login window) the window would reach past the edge. It is moved
    // onto the primary screen's area below the menu bar.
    const platform::ScreenInfo screen = platform::screens::info();
    const bool known = screen.width > 0.0 && screen.height > 0.0;
    const Frame visible{0.0, 0.0, screen.width, screen.height - screen.menuBarHeight};
    const QRect placed = toQtGeometry(known ? fitInside(frame, visible) : frame);
    if (m_style == Style::Titled && x11::active() && !testAttribute(Qt::WA_WState_Created)) {
        // An X11 window manager hangs a titled window's title bar above its content. Placing the
        // frame, not the content, keeps the title bar on the screen (Qt positions a window that
        // is not yet made by its frame after move()).
        resize(placed.size());
        move(placed.topLeft());
        return;
    }
    m_placedGeometry = placed;
    setGeometry(placed);
}

Frame Window::frame() const {
    return fromQtGeometry(geometry());
}

void Window::setFrameOrigin(double x, double y) {
    Frame current = frame();
    current.x = x;
    current.y = y;
    // A move (a drag, a restore to where the window was) goes where it is asked: only placements
    // are fitted to the screen.
    m_placedGeometry = toQtGeometry(current);
    setGeometry(*m_placedGeometry);
}

void Window::setSeeThrough(bool seeThrough, const QColor& fallback, const QRegion& fallbackShape) {
    m_seeThrough = seeThrough && compositorRunning();
    setAttribute(Qt::WA_TranslucentBackground, m_seeThrough);
    setAutoFillBackground(!m_seeThrough && seeThrough);
    if (seeThrough && !m_seeThrough) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, fallback);
        setPalette(pal);
    }
    // Qt gives a top-level window's mask to the X server as its bounding shape (the SHAPE
    // extension), and gives it again to each native window it makes anew (a change of flags).
    if (seeThrough && !m_seeThrough && !fallbackShape.isEmpty())
        setMask(fallbackShape);
    else
        clearMask();
}

void Window::setIgnoresMouseEvents(bool ignores) {
    setWindowFlag(Qt::WindowTransparentForInput, ignores);
    setAttribute(Qt::WA_TransparentForMouseEvents, ignores);
}

void Window::orderFront() {
    // Qt keeps the minimised state of a window the manager minimised, and would map it minimised
    // again once the program hid it (the panel gone into its tab): brought to the front, it comes
    // back restored.
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    if (m_level == level::kNormal) {
        // Not one of the levelled windows the stack keeps above everything: brought forward once,
        // as any program's window is.
        raise();
        return;
    }
    WindowStack::shared().orderFront(this, m_level);
}

void Window::orderOut() {
    hide();
}

void Window::setHoldsInput(bool holds) {
    m_holdsInput = holds;
    if (!holds)
        m_inputGrab.reset();
    else if (isVisible() && !m_inputGrab)
        m_inputGrab = std::make_unique<InputGrab>(*this);
}

void Window::reassert() {
    if (m_placedGeometry && geometry() != *m_placedGeometry)
        setGeometry(*m_placedGeometry);
    if (isVisible() && m_inputGrab)
        m_inputGrab->takeAgain();
    orderFront(); // shows a window hidden meanwhile, which takes the devices as it shows
}

void Window::closeFromCode() {
    m_closingFromCode = true;
    close();
    m_closingFromCode = false;
}

void Window::closeEvent(QCloseEvent* event) {
    if (!m_closingFromCode && !(shouldClose ? shouldClose() : m_style == Style::Titled)) {
        event->ignore();
        return;
    }
    event->accept();
    WindowStack::shared().remove(this);
    if (didClose)
        didClose();
}

void Window::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Shown by any road, the window stands at its level again: a window that leaves the stack lies
    // under a board, which a manager keeps above an undeclared window.
    if (m_level != level::kNormal && isVisible() && !WindowStack::shared().contains(this))
        WindowStack::shared().orderFront(this, m_level);
    if (m_holdsInput && !m_inputGrab)
        m_inputGrab = std::make_unique<InputGrab>(*this);
}

void Window::hideEvent(QHideEvent* event) {
    m_inputGrab.reset();
    // Qt tells a minimise by the window manager as a hide of its own (spontaneous), while the program
    // still shows the window: it keeps its level, so it is restored where it stood.
    if (!event->spontaneous())
        WindowStack::shared().remove(this);
    QWidget::hideEvent(event);
}

void Window::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The manager minimised or restored the window: the stack looks again (a window above a board
    // is kept where the student can reach it).
    if (event->type() == QEvent::WindowStateChange && m_level != level::kNormal)
        WindowStack::shared().restack();
}

} // namespace desktop
