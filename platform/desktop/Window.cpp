#include "platform/desktop/Window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <cstdlib>
#include <string>
#include <xcb/xcb.h>

namespace desktop {
namespace {

// The EWMH selection a compositing manager owns on screen n.
constexpr const char* kCompositorSelectionPrefix = "_NET_WM_CM_S";

bool x11CompositorRunning() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const std::string name = std::string(kCompositorSelectionPrefix) + "0";
    xcb_intern_atom_cookie_t atomCookie =
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection, atomCookie, nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom); // xcb replies are malloc'ed
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

} // namespace

bool compositorRunning() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        return x11CompositorRunning();
    // Wayland always composites; the offscreen platform draws into memory, where clear is clear.
    return platform.startsWith(QLatin1String("wayland")) || platform == QLatin1String("offscreen");
}

Window::Window(Style style) : m_style(style) {
    Qt::WindowFlags flags = Qt::Window | Qt::WindowStaysOnTopHint;
    if (style == Style::Borderless)
        flags |= Qt::FramelessWindowHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

Window::~Window() {
    WindowStack::shared().remove(this);
}

void Window::setLevel(int level) {
    m_level = level;
    WindowStack::shared().setLevel(this, level);
}

void Window::setFrame(const Frame& frame) {
    setGeometry(toQtGeometry(frame));
}

Frame Window::frame() const {
    return fromQtGeometry(geometry());
}

void Window::setFrameOrigin(double x, double y) {
    Frame current = frame();
    current.x = x;
    current.y = y;
    setFrame(current);
}

void Window::setSeeThrough(bool seeThrough, const QColor& fallback) {
    m_seeThrough = seeThrough && compositorRunning();
    setAttribute(Qt::WA_TranslucentBackground, m_seeThrough);
    setAutoFillBackground(!m_seeThrough && seeThrough);
    if (seeThrough && !m_seeThrough) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, fallback);
        setPalette(pal);
    }
}

void Window::setIgnoresMouseEvents(bool ignores) {
    setWindowFlag(Qt::WindowTransparentForInput, ignores);
    setAttribute(Qt::WA_TransparentForMouseEvents, ignores);
}

void Window::orderFront() {
    show();
    WindowStack::shared().orderFront(this, m_level);
}

void Window::orderOut() {
    hide();
}

void Window::closeFromCode() {
    m_closingFromCode = true;
    close();
    m_closingFromCode = false;
}

void Window::closeEvent(QCloseEvent* event) {
    if (!m_closingFromCode && shouldClose && !shouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    WindowStack::shared().remove(this);
    if (didClose)
        didClose();
}

void Window::hideEvent(QHideEvent* event) {
    WindowStack::shared().remove(this);
    QWidget::hideEvent(event);
}

} // namespace desktop
