// Test-side control of real processes for the end-to-end suite: a private Xvfb display, the built
// agent started in a scratch home, and an X client that watches the agent's top-level windows.
// Test thread only; every wait is bounded and event-driven (pidfd and X connection polls).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace e2e {

// A child process with its own environment; killed (by its pid) when still running at destruction.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched in PATH) with the current environment plus `env` and less `unset`;
    // `keepFd` stays open in the child; `stderrFd` and `stdoutFd`, when given, become its standard
    // error and output.
    bool start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               int keepFd = -1, int stderrFd = -1, const std::vector<std::string>& unset = {},
               int stdoutFd = -1);
    // The exit status once the process ended within the time-out (a signal gives 128 + signal).
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    bool running() const { return m_pid > 0 && !m_status; }
    int pid() const { return m_pid; }
    // Sends the signal to the process while it runs (by its pid); true when it was sent.
    bool signal(int number);

private:
    int m_pid = -1;
    int m_pidFd = -1;
    std::optional<int> m_status;
};

// An Xvfb server on the first free display number.
class VirtualDisplay {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    // `extraArgs` go to Xvfb as they stand ("-auth", file: a server that refuses clients without
    // the cookie).
    bool start(const std::vector<std::string>& extraArgs = {});
    const std::string& name() const { return m_name; } // ":N"

private:
    ChildProcess m_server;
    std::string m_name;
};

struct WindowInfo {
    xcb_window_t id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Watches the mapped top-level windows of a display (no window manager runs on it).
class WindowWatcher {
public:
    ~WindowWatcher();
    bool connect(const std::string& display);
    std::vector<WindowInfo> mappedWindows();
    // Every top-level window as the server stacks them, bottom to top.
    std::vector<xcb_window_t> topLevelWindows();
    // Maps a window of the watcher's own over the area, as another program's window would.
    xcb_window_t cover(const WindowInfo& area);
    // Every top-level window, one a line: id, geometry, map state and name (for failure messages).
    std::string describeWindows();
    // The first mapped window that matches, waiting for map and configure events up to the time-out.
    std::optional<WindowInfo> waitForWindow(const std::function<bool(const WindowInfo&)>& match,
                                            std::chrono::milliseconds timeout);
    std::optional<WindowInfo> waitForWindow(int width, int height, std::chrono::milliseconds timeout) {
        return waitForWindow([=](const WindowInfo& w) { return w.width == width && w.height == height; },
                             timeout);
    }

    // True once the condition holds, asked again after each event up to the time-out.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

    // True once the window holds the keyboard focus, waiting for focus events up to the time-out.
    bool waitForFocus(xcb_window_t window, std::chrono::milliseconds timeout);

private:
    // Until an event arrives (true) or the deadline passes or the connection breaks (false).
    bool waitForEvents(std::chrono::steady_clock::time_point deadline);

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = 0;
};

// Runs a command and answers its exit status (-1 when it could not run).
int runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
bool haveProgram(const std::string& name);

} // namespace e2e
