#include "platform/desktop/InputGrab.h"

#include "platform/Log.h"
#include "platform/desktop/Window.h"
#include "platform/desktop/X11Desktop.h"
#include "platform/desktop/X11InputGrab.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

namespace desktop {

InputGrab::InputGrab(Window& holder) : m_holder(&holder) {
    QCoreApplication::instance()->installEventFilter(this);
    if (!x11::active())
        return; // no server to grab from; the keys are still kept from the covered windows
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

bool InputGrab::eventFilter(QObject* target, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || !m_holder)
        return false;
    // Windows above the holder (message boxes over the lock) keep their keys.
    const auto* agentWindow = dynamic_cast<const Window*>(widget->window());
    if (agentWindow && agentWindow->level() > m_holder->level())
        return false;
    // Accepting the override keeps a shortcut from firing as well.
    event->accept();
    return true;
}

} // namespace desktop
