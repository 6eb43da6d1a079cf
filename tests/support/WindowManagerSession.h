// A window manager on a test's private X server (openbox, or xfwm4 in a session bus of its own), and
// a second X client that plays the student: it moves the pointer, presses buttons and keys through
// XTest, sends the requests a taskbar or another program sends, holds the keyboard, the pointer or
// the server, opens windows of its own, and reads the stacking order from the server; WindowManagerFixture
// brings them up with the agent's Qt application on that display (the xcb platform). Test thread only.
#pragma once

#include "platform/LocalizedStrings.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/QtRunLoop.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QPoint>
#include <QRect>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
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
// How GoogleTest shows a manager parameter.
inline void PrintTo(Manager manager, std::ostream* out) {
    *out << managerName(manager);
}

inline bool programInstalled(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The manager, in a process group of its own (xfwm4 runs under dbus-run-session, which starts a
// bus daemon beside it), ended with the group when the test ends.
class WindowManagerProcess {
public:
    // Empty when the manager could be started; otherwise why not. The manager reads its settings
    // from configHome, not from the user's.
    std::string start(Manager manager, const std::string& display, const std::string& configHome) {
        std::vector<std::string> args{"openbox", "--sm-disable"};
        if (manager == Manager::Xfwm4) {
            // xfwm4 reads its settings through xfconf, which it reaches on a session bus.
            if (!programInstalled("xfwm4") || !programInstalled("dbus-run-session"))
                return "xfwm4 or dbus-run-session is not installed";
            args = {"dbus-run-session", "--", "xfwm4", "--compositor=off", "--sm-client-disable"};
        } else if (!programInstalled("openbox")) {
            return "openbox is not installed";
        }
        std::vector<std::string> envs{"DISPLAY=" + display, "NO_AT_BRIDGE=1",
                                      "XDG_CONFIG_HOME=" + configHome};
        for (char** e = environ; e && *e; ++e) {
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0)
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
    static constexpr std::uint32_t kToManager =
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    // The requests of a taskbar or pager (EWMH source indication 2), which managers always follow.
    static constexpr std::uint32_t kSourcePager = 2;
    // WM_STATE's minimised state, as WM_CHANGE_STATE asks for it.
    static constexpr std::uint32_t kIconicState = 3;
    // Alt_L, Tab, F4 and A in Xvfb's default keymap.
    static constexpr std::uint8_t kAltKeycode = 64;
    static constexpr std::uint8_t kTabKeycode = 23;
    static constexpr std::uint8_t kF4Keycode = 70;
    static constexpr std::uint8_t kAKeycode = 38;

    explicit DesktopStudent(const std::string& display) {
        m_conn = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_conn) == 0)
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
    }
    ~DesktopStudent() {
        if (m_window != XCB_WINDOW_NONE)
            xcb_destroy_window(m_conn, m_window);
        if (m_typing != XCB_WINDOW_NONE)
            xcb_destroy_window(m_conn, m_typing);
        xcb_disconnect(m_conn);
    }
    DesktopStudent(const DesktopStudent&) = delete;
    DesktopStudent& operator=(const DesktopStudent&) = delete;
    bool ok() const { return m_root != XCB_WINDOW_NONE; }

    // Waits until a manager names its check window on the root and then takes a window of ours,
    // up to deadline.
    bool waitForManager(std::chrono::steady_clock::time_point deadline) {
        while (!managerRunning() && std::chrono::steady_clock::now() < deadline)
            waitForEvent(deadline);
        return managerRunning() && waitUntilManaging(deadline);
    }

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

    xcb_atom_t atom(const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(m_conn, xcb_intern_atom(m_conn, 0, std::strlen(name), name), nullptr),
            &std::free);
        return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
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
    void click(QPoint at) { click(at.x(), at.y()); }

    // Keys through XTest, pressed in order and released in order, as the keyboard sends them to
    // whoever holds the focus (or a grab of the manager's).
    void keyChord(std::initializer_list<std::uint8_t> keycodes) {
        for (std::uint8_t k : keycodes)
            xcb_test_fake_input(m_conn, XCB_KEY_PRESS, k, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        for (std::uint8_t k : keycodes)
            xcb_test_fake_input(m_conn, XCB_KEY_RELEASE, k, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_flush(m_conn);
    }

    // A client message about `about` sent to `to`: the root with kToManager for a request to the
    // manager (what a taskbar, wmctrl or xdotool sends).
    void clientMessage(xcb_window_t to, xcb_window_t about, xcb_atom_t type,
                       std::array<std::uint32_t, 5> data, std::uint32_t mask) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = about;
        event.type = type;
        std::memcpy(event.data.data32, data.data(), sizeof event.data.data32);
        xcb_send_event(m_conn, 0, to, mask, reinterpret_cast<const char*>(&event));
        xcb_flush(m_conn);
    }

    // Mapped, and every window holding it too: the server shows it unless something covers it.
    bool viewable(xcb_window_t window) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> a(
            xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, window), nullptr),
            &std::free);
        return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    // The window's rectangle on the root.
    xcb_rectangle_t placeOnRoot(xcb_window_t window) {
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> g(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr), &std::free);
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> t(
            xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, window, m_root, 0, 0),
                                            nullptr),
            &std::free);
        if (!g || !t)
            return {0, 0, 0, 0};
        return {t->dst_x, t->dst_y, g->width, g->height};
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

    // Where the child of the root that holds each window lies among the root's children, bottom
    // first; -1 for one that is not there.
    std::vector<int> stackPositions(const std::vector<xcb_window_t>& windows) {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr), &std::free);
        std::vector<int> positions;
        if (!tree)
            return std::vector<int>(windows.size(), -1);
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        for (xcb_window_t window : windows) {
            const xcb_window_t top = topLevel(window);
            int at = -1;
            for (int i = 0; i < count; ++i) {
                if (children[i] == top)
                    at = i;
            }
            positions.push_back(at);
        }
        return positions;
    }
    int stackPosition(xcb_window_t window) { return stackPositions({window}).front(); }

    // The child of the root that holds window (the manager's frame, or the window itself).
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

    // What a taskbar or Alt+F4 asks: the manager to close, minimise, and the window to go.
    void askToCloseAndMinimise(xcb_window_t window) {
        askManagerToClose(window);
        clientMessage(m_root, window, atom("WM_CHANGE_STATE"), {kIconicState, 0, 0, 0, 0}, kToManager);
        sendDeleteWindow(window);
    }
    // A taskbar's close (wmctrl -c): the manager is asked, and passes it on as it sees fit.
    void askManagerToClose(xcb_window_t window) {
        clientMessage(m_root, window, atom("_NET_CLOSE_WINDOW"), {XCB_CURRENT_TIME, kSourcePager, 0, 0, 0},
                      kToManager);
    }
    // The close a manager sends a window that takes part in the WM_DELETE_WINDOW protocol.
    void sendDeleteWindow(xcb_window_t window) {
        clientMessage(window, window, atom("WM_PROTOCOLS"),
                      {atom("WM_DELETE_WINDOW"), XCB_CURRENT_TIME, 0, 0, 0}, XCB_EVENT_MASK_NO_EVENT);
    }

    // A plain window of another program that counts the keys it is sent.
    xcb_window_t openTypingWindow() {
        m_typing = xcb_generate_id(m_conn);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_typing, m_root, 100, 100, 300, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(m_conn, m_typing);
        xcb_flush(m_conn);
        return m_typing;
    }
    int keysTyped() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
            if ((event->response_type & ~0x80) == XCB_KEY_PRESS &&
                reinterpret_cast<xcb_key_press_event_t*>(event)->event == m_typing)
                ++m_keysTyped;
            std::free(event);
        }
        return m_keysTyped;
    }
    void focus(xcb_window_t window) {
        xcb_set_input_focus(m_conn, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        xcb_flush(m_conn);
    }

    // Whether a client other than this one holds the keyboard: this one's own grab is refused.
    bool keyboardHeldElsewhere() {
        const std::uint8_t status = grabKeyboardStatus();
        if (status == XCB_GRAB_STATUS_SUCCESS)
            releaseKeyboard();
        return status == XCB_GRAB_STATUS_ALREADY_GRABBED || status == XCB_GRAB_STATUS_FROZEN;
    }
    // A program that holds the keyboard for a while (a screen saver, a manager's key chain).
    bool holdKeyboard() { return grabKeyboardStatus() == XCB_GRAB_STATUS_SUCCESS; }
    void releaseKeyboard() {
        xcb_ungrab_keyboard(m_conn, XCB_CURRENT_TIME);
        xcb_flush(m_conn);
    }
    // Whether a client other than this one holds the pointer: this one's own grab is refused.
    bool pointerHeldElsewhere() {
        std::unique_ptr<xcb_grab_pointer_reply_t, decltype(&std::free)> r(
            xcb_grab_pointer_reply(m_conn,
                                   xcb_grab_pointer(m_conn, 0, m_root, XCB_EVENT_MASK_BUTTON_PRESS,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE,
                                                    XCB_CURSOR_NONE, XCB_CURRENT_TIME),
                                   nullptr),
            &std::free);
        if (r && r->status == XCB_GRAB_STATUS_SUCCESS) {
            xcb_ungrab_pointer(m_conn, XCB_CURRENT_TIME);
            xcb_flush(m_conn);
        }
        return r && (r->status == XCB_GRAB_STATUS_ALREADY_GRABBED || r->status == XCB_GRAB_STATUS_FROZEN);
    }

    // A window of the student's own that asks to stay above others, then is activated as a
    // taskbar activates it.
    void openOwnWindowOnTop() {
        m_window = xcb_generate_id(m_conn);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_window, m_root, 200, 150, 400, 300, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                            1, &above);
        xcb_map_window(m_conn, m_window);
        clientMessage(m_root, m_window, atom("_NET_ACTIVE_WINDOW"), {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0},
                      kToManager);
    }
    xcb_window_t ownWindow() const { return m_window; }

    // What another program can do to any window: xdotool's windowunmap, windowmove, windowsize.
    void unmap(xcb_window_t window) {
        xcb_unmap_window(m_conn, window);
        xcb_flush(m_conn);
    }
    void move(xcb_window_t window, int x, int y) {
        const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
        xcb_configure_window(m_conn, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        xcb_flush(m_conn);
    }
    void resize(xcb_window_t window, int width, int height) {
        const std::uint32_t values[] = {static_cast<std::uint32_t>(width),
                                        static_cast<std::uint32_t>(height)};
        xcb_configure_window(m_conn, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
        xcb_flush(m_conn);
    }
    // The window's rectangle in its parent.
    QRect geometry(xcb_window_t window) {
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> g(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr), &std::free);
        return g ? QRect(g->x, g->y, g->width, g->height) : QRect();
    }
    // The children of the root the server shows on the screen above the one that holds window (a
    // manager keeps windows of its own mapped off the screen or along its edges).
    std::vector<xcb_window_t> viewableAbove(xcb_window_t window) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        const QRect onScreen(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr), &std::free);
        if (!tree)
            return {};
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        const xcb_window_t top = topLevel(window);
        std::vector<xcb_window_t> above;
        bool passed = false;
        for (int i = 0; i < count; ++i) {
            if (passed && viewable(children[i]) && geometry(children[i]).intersects(onScreen))
                above.push_back(children[i]);
            passed = passed || children[i] == top;
        }
        return above;
    }

protected:
    xcb_connection_t* connection() const { return m_conn; }
    xcb_window_t root() const { return m_root; }

private:
    std::uint8_t grabKeyboardStatus() {
        std::unique_ptr<xcb_grab_keyboard_reply_t, decltype(&std::free)> r(
            xcb_grab_keyboard_reply(m_conn,
                                    xcb_grab_keyboard(m_conn, 0, m_root, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr),
            &std::free);
        return r ? r->status : std::uint8_t{0xff};
    }

    // A window manager is up once the root names its check window.
    bool managerRunning() {
        const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> r(
            xcb_get_property_reply(m_conn, xcb_get_property(m_conn, 0, m_root, check, XCB_ATOM_WINDOW, 0, 1),
                                   nullptr),
            &std::free);
        return r && xcb_get_property_value_length(r.get()) == 4;
    }

    // Waits for any event on the root (the manager sets its properties there), up to deadline.
    void waitForEvent(std::chrono::steady_clock::time_point deadline) {
        if (!m_watchingRoot) {
            const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(m_conn);
            m_watchingRoot = true;
            return; // look again before waiting: the manager may have come meanwhile
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{xcb_get_file_descriptor(m_conn), POLLIN, 0};
        if (left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn))
                std::free(event);
        }
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    bool m_watchingRoot = false;
    xcb_window_t m_window = XCB_WINDOW_NONE; // openOwnWindowOnTop's
    xcb_window_t m_typing = XCB_WINDOW_NONE; // openTypingWindow's
    int m_keysTyped = 0;
};

// A test on a private Xvfb with a manager on it, the student's connection (Student: DesktopStudent
// or one that does more), and the agent's Qt application on the xcb platform of that display.
template <class Student = DesktopStudent, class Base = ::testing::Test>
class WindowManagerFixture : public Base {
protected:
    static constexpr const char* kGeometry = "1280x800x24";
    // Bounds on waiting for the manager and on the manager's and the agent's moves; the waits end as
    // soon as the condition holds.
    static constexpr int kManagerStartMs = 15000;
    static constexpr int kSettleMs = 5000;
    // How long an order that holds must keep holding after the manager had its say.
    static constexpr int kStableMs = 300;

    // Skips when Xvfb or the manager is not installed, or when xfwm4 does not manage windows here
    // (it also needs a session bus and its settings daemon, which a bare machine may lack); openbox
    // is the suites' manager and must run. The caller returns when the test is skipped or failed.
    void startSession(Manager manager, const char* appName, const std::string& configHome) {
        if (!streaming::test::XvfbServer::installed())
            GTEST_SKIP() << "Xvfb is not installed";
        m_server = std::make_unique<streaming::test::XvfbServer>(kGeometry);
        ASSERT_FALSE(m_server->display().empty()) << "Xvfb did not start";
        m_student = std::make_unique<Student>(m_server->display());
        ASSERT_TRUE(m_student->ok());
        if (const std::string problem = m_manager.start(manager, m_server->display(), configHome);
            !problem.empty())
            GTEST_SKIP() << problem;
        // Qt learns what the manager supports when it connects: the manager comes first.
        const bool managing = m_student->waitForManager(std::chrono::steady_clock::now() +
                                                        std::chrono::milliseconds(kManagerStartMs));
        if (!managing && manager != Manager::Openbox)
            GTEST_SKIP() << managerName(manager) << " does not manage windows here";
        ASSERT_TRUE(managing) << managerName(manager)
                              << " did not take the display or does not manage windows";
        setenv("DISPLAY", m_server->display().c_str(), 1);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // Qt keeps the arguments for the life of the application.
        static int argc = 1;
        static std::string name;
        static char* argv[2] = {};
        name = appName;
        argv[0] = name.data();
        m_app = std::make_unique<QApplication>(argc, argv);
        m_mainQueue = std::make_unique<desktop::QtRunLoop>();
        m_mainQueue->install();
        desktop::Application::refreshScreens();
        platform::setPreferredLanguagesForTesting({"en-US"});
    }
    // After the test has closed its windows and let go of their controllers.
    void stopSession() {
        QApplication::processEvents();
        m_mainQueue.reset();
        m_app.reset();
        platform::setPreferredLanguagesForTesting({});
    }

    std::unique_ptr<streaming::test::XvfbServer> m_server;
    std::unique_ptr<Student> m_student;
    WindowManagerProcess m_manager;
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<desktop::QtRunLoop> m_mainQueue;
};

} // namespace testsupport
