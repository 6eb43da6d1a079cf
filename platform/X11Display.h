// The one place that opens a connection to the X display and says what is wrong when none can be
// had: a connection with its screen and cached atoms, and the few facts other parts ask of the
// server (the screen that counts as primary, the process serving the display, the running window
// manager and compositor). The windows' own X11 work uses Qt's connection (platform/desktop).
// An instance belongs to one thread at a time; make one per thread that needs the server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;
struct xcb_screen_t;

namespace platform {

// A rectangle on the root window, in pixels.
struct X11Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const X11Rect&) const = default;
};

class X11Display {
public:
    // Connects (empty name: $DISPLAY). Answers null and sets error when the server cannot be reached.
    static std::unique_ptr<X11Display> open(const std::string& displayName, std::string& error);
    // Empty when a connection to the display (empty name: $DISPLAY) can be had; otherwise why not, in
    // a few words with a refusing server's own reason. Standard error is borrowed for the moment of
    // the connect: call it while no other thread writes there (the start of main).
    static std::string connectionProblem(const std::string& displayName = {});

    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_screen_t* screen() const { return m_screen; }
    int screenNumber() const { return m_screenNumber; }
    bool hasRandr() const { return m_randr; }
    bool failed() const;

    // The atom of a name, asked once per connection; 0 when the server does not answer.
    std::uint32_t atom(const char* name);

    // The root window's current size (the connection's set-up data keeps only the size at connect).
    X11Rect rootRect();
    // The screen the desktop layer treats as primary: the RandR primary output, else the first
    // active output in the server's order, clipped to the root; the whole root without RandR.
    X11Rect primaryOutputRect();

    // The process id of the X server on a local connection (0 when it cannot be told, as over TCP).
    std::int32_t serverProcessID() const;
    // The processes of the running window manager and compositor, as they name themselves through
    // _NET_WM_PID on their check and selection windows; empty when none runs or none says.
    std::vector<std::int32_t> windowManagerProcessIDs();
    // The name the window manager gives itself on its check window (empty when none runs).
    std::string windowManagerName();

private:
    X11Display() = default;
    bool outputRect(std::uint32_t output, const X11Rect& root, X11Rect& rect);
    std::int32_t windowProcessID(std::uint32_t window);
    std::uint32_t windowManagerCheckWindow();

    xcb_connection_t* m_connection = nullptr;
    xcb_screen_t* m_screen = nullptr;
    int m_screenNumber = 0;
    bool m_randr = false;
    std::unordered_map<std::string, std::uint32_t> m_atoms;
};

} // namespace platform
