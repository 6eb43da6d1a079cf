// Whether the agent may capture the screen. On X11 it may when a 1 x 1 capture of the root window
// succeeds; a Wayland session is never allowed (its root window reads back blank). The backend is
// an interface so start-up and the permission window can be tested with a fake. Main thread.
#pragma once

namespace startup {

class ScreenCapturePermission {
public:
    virtual ~ScreenCapturePermission() = default;
    // Asks without prompting.
    virtual bool preflight() = 0;
    // The permission button on a first launch: asks again and answers what it found.
    virtual bool requestAccess() = 0;
    // The permission button on a later launch: leads the student to where access is granted.
    virtual void openPrivacySettings() = 0;
};

// The X11 check through xcb (DISPLAY names the server).
class X11ScreenCapturePermission : public ScreenCapturePermission {
public:
    bool preflight() override;
    bool requestAccess() override;
    void openPrivacySettings() override;

    // A session whose type or environment names Wayland (pure, for tests).
    static bool isWaylandSession(const char* sessionType, const char* waylandDisplay);
};

} // namespace startup
