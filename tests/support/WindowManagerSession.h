// A window manager on a test's private X server (openbox, or xfwm4 in a session bus of its own), and
// a second X client that plays the student: it moves the pointer and presses buttons through XTest,
// holds the server, and reads the stacking order from the server. Test thread only.
#pragma once

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

extern char** environ;

namespace testsupport {

enum class Manager { Openbox, Xfwm4 };

inline const char* managerName(Manager manager) {
    return manager == Manager::Openbox ? "openbox" : "xfwm4";
}

inline bool programInstalled(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The manager, in a process group of its own (xfwm4 runs under dbus-run-session, which starts a
// bus daemon beside it), ended with the group when the test ends.
class WindowManagerProcess {
public:
    // Empty when the manager could be started; otherwise why not.
    std::string start(Manager manager, const std::string& display) {
        std::vector<std::string> args{"openbox", "--sm-disable"};
        if (manager == Manager::Xfwm4) {
            // xfwm4 reads its settings through xfconf, which it reaches on a session bus.
            if (!programInstalled("xfwm4") || !programInstalled("dbus-run-session"))
                return "xfwm4 or dbus-run-session is not installed";
            args = {"dbus-run-session", "--", "xfwm4", "--compositor=off"};
        } else if (!programInstalled("openbox")) {
            return "openbox is not installed";
        }
        std::vector<std::string> envs{"DISPLAY=" + display};
        for (char** e = environ; e && *e; ++e) {
            if (std::strncmp(*e, "DISPLAY=", 8) != 0)
                envs.emplace_back(*e);
        }
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : envs)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int failed = posix_spawnp(&m_pid, argv[0], &files, &attributes, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
        if (failed != 0) {
            m_pid = -1;
            return std::string(argv[0]) + " could not be started";
        }
        return {};
    }
    ~WindowManagerProcess() {
        if (m_pid > 0) {
            ::kill(-m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
};

class DesktopStudent {
public:
    static constexpr std::uint8_t kLeftButton = 1;
    static constexpr int kProbeMs = 250;

    explicit DesktopStudent(const std::string& display) {
        m_conn = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_conn) == 0)
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
    }
    ~DesktopStudent() { xcb_disconnect(m_conn); }
    DesktopStudent(const DesktopStudent&) = delete;
    DesktopStudent& operator=(const DesktopStudent&) = delete;
    bool ok() const { return m_root != XCB_WINDOW_NONE; }

    // The manager takes windows once it reparents a probe window of ours into its frame; a window
    // mapped while it is still starting up is never taken, so a fresh probe goes up each time.
    bool waitUntilManaging(std::chrono::steady_clock::time_point deadline) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        bool reparented = false;
        while (!reparented && std::chrono::steady_clock::now() < deadline) {
            const xcb_window_t probe = xcb_generate_id(m_conn);
            xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, probe, m_root, 0, 0, 10, 10, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
            xcb_map_window(m_conn, probe);
            xcb_flush(m_conn);
            pollfd p{xcb_get_file_descriptor(m_conn), POLLIN, 0};
            if (::poll(&p, 1, kProbeMs) > 0) {
                while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                    if ((event->response_type & ~0x80) == XCB_REPARENT_NOTIFY)
                        reparented = true;
                    std::free(event);
                }
            }
            xcb_destroy_window(m_conn, probe);
            xcb_flush(m_conn);
        }
        return reparented;
    }

    void moveTo(int x, int y) {
        xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root,
                            static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
        xcb_flush(m_conn);
    }
    void button(bool down) {
        xcb_test_fake_input(m_conn, down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, kLeftButton,
                            XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_flush(m_conn);
    }
    void click(int x, int y) {
        moveTo(x, y);
        button(true);
        button(false);
    }

    // Holds the server: no other client's request is handled until release().
    void holdServer() {
        xcb_grab_server(m_conn);
        std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
    }
    void releaseServer() {
        xcb_ungrab_server(m_conn);
        xcb_flush(m_conn);
    }

    // Where the child of the root that holds window lies among the root's children, bottom first;
    // -1 when it is not there.
    int stackPosition(xcb_window_t window) {
        const xcb_window_t top = topLevel(window);
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr), &std::free);
        if (!tree)
            return -1;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            if (children[i] == top)
                return i;
        }
        return -1;
    }

private:
    xcb_window_t topLevel(xcb_window_t window) {
        for (xcb_window_t current = window;;) {
            std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
                xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, current), nullptr), &std::free);
            if (!tree)
                return XCB_WINDOW_NONE;
            if (tree->parent == tree->root)
                return current;
            current = tree->parent;
        }
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

} // namespace testsupport
