// Holds the keyboard and the pointer for one window while it stands (the lock screen): the X
// grabs are asked for at once and again every kRetryInterval until both are had, since another
// program (a window manager in the middle of a move, a screen saver) may hold one for a while;
// when they are still not had after kPatience the window stays up, a line is logged and the tries
// go on. Only the holder and the agent's windows above its level take input meanwhile: keys and
// pointer events meant for the others are dropped, so the covered windows cannot be worked blind
// (Tab to a button, Space) nor clicked where the holder no longer covers them. The holder bypasses
// the window manager, so any program may unmap, move or resize it: its own structure events tell,
// and the holder is put back (Window::reassert) on the next pass of the event loop. Both grabs are
// given back when the object goes. Main thread.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdint>

namespace desktop {

class Window;

class InputGrab : public QObject, public QAbstractNativeEventFilter {
public:
    // Short against a held grab's life (a manager's move, a menu), long against an X round trip.
    static constexpr std::chrono::milliseconds kRetryInterval{50};
    // How long the lock may stand without the grabs before the agent says so.
    static constexpr std::chrono::milliseconds kPatience{1000};

    explicit InputGrab(Window& holder);
    ~InputGrab() override;
    InputGrab(const InputGrab&) = delete;
    InputGrab& operator=(const InputGrab&) = delete;

    bool holdsKeyboard() const { return m_keyboard; }
    bool holdsPointer() const { return m_pointer; }

    // Maps the holder again if another program unmapped it, and takes both devices again: an
    // unmapped window loses its grabs on the server.
    void takeAgain();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    bool eventFilter(QObject* target, QEvent* event) override;

private:
    void tryToGrab();
    // Whether window may take input while the holder stands.
    bool takesInput(const QWidget* window) const;
    // Puts the holder back if another program unmapped, moved or resized it.
    void lookAtHolder();

    QPointer<Window> m_holder;
    QTimer m_retry;
    QElapsedTimer m_since;
    std::uint8_t m_xinputOpcode = 0;
    bool m_keyboard = false;
    bool m_pointer = false;
    bool m_reportedLate = false;
    bool m_lookQueued = false;
};

} // namespace desktop
