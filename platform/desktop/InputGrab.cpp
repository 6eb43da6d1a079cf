#include "platform/desktop/InputGrab.h"

#include "platform/Log.h"
#include "platform/desktop/Window.h"
#include "platform/desktop/X11Desktop.h"
#include "platform/desktop/X11InputGrab.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

namespace desktop {
namespace {

// A program that keeps taking the holder away is answered every time, and told of a few times a
// second.
constexpr int kRestoredLinesPerSecond = 4;

platform::LogRateLimit& restoredLog() {
    static platform::LogRateLimit limit(kRestoredLinesPerSecond);
    return limit;
}

} // namespace

InputGrab::InputGrab(Window& holder) : m_holder(&holder) {
    QCoreApplication::instance()->installEventFilter(this);
    if (!x11::active())
        return; // no server to grab from; the keys are still kept from the covered windows
    m_xinputOpcode = x11::xinputOpcode();
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_since.start();
    m_retry.setInterval(kRetryInterval);
    QObject::connect(&m_retry, &QTimer::timeout, this, [this] { tryToGrab(); });
    m_retry.start();
    tryToGrab();
}

InputGrab::~InputGrab() {
    m_retry.stop();
    if (m_keyboard || m_pointer)
        x11::releaseKeyboardAndPointer();
}

void InputGrab::tryToGrab() {
    if (!m_holder) {
        m_retry.stop();
        return;
    }
    if (!m_keyboard)
        m_keyboard = x11::grabKeyboard(m_holder) == x11::GrabResult::Taken;
    if (!m_pointer)
        m_pointer = x11::grabPointer(m_holder) == x11::GrabResult::Taken;
    if (m_keyboard && m_pointer) {
        m_retry.stop();
        if (m_reportedLate)
            platform::logf("[ZQ]Keyboard and pointer taken for the lock after %lld ms.",
                           static_cast<long long>(m_since.elapsed()));
        return;
    }
    if (!m_reportedLate && m_since.elapsed() >= kPatience.count()) {
        m_reportedLate = true;
        platform::logf("[ZQ]Keyboard and pointer not taken for the lock within %lld ms (keyboard %s, pointer "
                       "%s): another program holds them; still trying.",
                       static_cast<long long>(kPatience.count()), m_keyboard ? "taken" : "busy",
                       m_pointer ? "taken" : "busy");
    }
}

void InputGrab::takeAgain() {
    if (!m_holder || !x11::active())
        return;
    // Requests on one connection are handled in order: the window is viewable again when the
    // grabs are asked for.
    x11::mapAgain(m_holder);
    m_keyboard = false;
    m_pointer = false;
    m_reportedLate = false;
    m_since.restart();
    m_retry.start();
    tryToGrab();
}

bool InputGrab::takesInput(const QWidget* window) const {
    if (!m_holder || window == m_holder)
        return true;
    // Message boxes over the lock keep their keys and clicks.
    const auto* agentWindow = dynamic_cast<const Window*>(window);
    return agentWindow && agentWindow->level() > m_holder->level();
}

bool InputGrab::eventFilter(QObject* target, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || !m_holder || takesInput(widget->window()))
        return false;
    // Accepting the override keeps a shortcut from firing as well.
    event->accept();
    return true;
}

bool InputGrab::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!m_holder || eventType != "xcb_generic_event_t")
        return false;
    const x11::EventTarget target = x11::classifyEvent(message, m_xinputOpcode);
    if (target.kind == x11::EventKind::Structure && target.window == m_holder->internalWinId()) {
        // Looked at once Qt has taken the event in, and once for a burst (a resize comes with a move).
        if (!m_lookQueued) {
            m_lookQueued = true;
            QMetaObject::invokeMethod(
                this, [this] { lookAtHolder(); }, Qt::QueuedConnection);
        }
        return false;
    }
    if (target.kind != x11::EventKind::Pointer)
        return false;
    // Dropped before Qt sees it: a press would also make Qt activate the window below.
    const QWidget* window = QWidget::find(static_cast<WId>(target.window));
    return window && !takesInput(window->window());
}

void InputGrab::lookAtHolder() {
    m_lookQueued = false;
    if (!m_holder || !m_holder->isVisible())
        return;
    const bool unmapped = !x11::isViewable(m_holder);
    const auto placed = m_holder->placedGeometry();
    const bool moved = placed && m_holder->geometry() != *placed;
    if (!unmapped && !moved)
        return; // the agent's own restack, or a change already undone
    restoredLog().logf("[ZQ]Lock window restored: another program %s it.",
                       unmapped ? "unmapped" : "moved or resized");
    m_holder->reassert();
}

} // namespace desktop
