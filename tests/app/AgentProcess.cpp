#include "AgentProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace e2e {
namespace {

constexpr int kSignalStatusBase = 128;
constexpr auto kDisplayWait = std::chrono::seconds(10);
constexpr auto kCommandWait = std::chrono::seconds(20);
// Window names in failure messages: the first 64 bytes (16 words) say which window it is.
constexpr std::uint32_t kNameWords = 16;
constexpr std::size_t kLineBytes = 160;

int pidfdOpen(int pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& env,
                                           const std::vector<std::string>& unset) {
    std::map<std::string, std::string> all;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos)
            all[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env)
        all[key] = value;
    for (const auto& key : unset)
        all.erase(key);
    std::vector<std::string> out;
    for (const auto& [key, value] : all)
        out.push_back(key + "=" + value);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

ChildProcess::~ChildProcess() {
    if (running()) {
        ::kill(m_pid, SIGKILL);
        waitForExit(std::chrono::seconds(5));
    }
    if (m_pidFd >= 0)
        ::close(m_pidFd);
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         int keepFd, int stderrFd, const std::vector<std::string>& unset, int stdoutFd) {
    std::vector<std::string> args = argv;
    std::vector<std::string> envs = mergedEnvironment(env, unset);
    auto argp = pointers(args);
    auto envp = pointers(envs);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (keepFd >= 0) {
        // Clear close-on-exec in the child by duplicating onto itself.
        posix_spawn_file_actions_adddup2(&actions, keepFd, keepFd);
    }
    if (stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    m_pid = pid;
    m_pidFd = pidfdOpen(pid);
    return m_pidFd >= 0;
}

bool ChildProcess::signal(int number) {
    return running() && ::kill(m_pid, number) == 0;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (m_status || m_pid <= 0)
        return m_status;
    pollfd p{m_pidFd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return std::nullopt;
    int status = 0;
    if (::waitpid(m_pid, &status, 0) != m_pid)
        return std::nullopt;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : kSignalStatusBase + WTERMSIG(status);
    return m_status;
}

bool VirtualDisplay::start(const std::vector<std::string>& extraArgs) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const std::string screen = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24";
    std::vector<std::string> argv{
        "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    const bool started = m_server.start(argv, {}, fds[1]);
    ::close(fds[1]);
    std::string number;
    if (started) {
        const auto deadline = std::chrono::steady_clock::now() + kDisplayWait;
        for (;;) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0)
                break;
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number.push_back(c);
        }
    }
    ::close(fds[0]);
    if (number.empty())
        return false;
    m_name = ":" + number;
    return true;
}

WindowWatcher::~WindowWatcher() {
    if (m_conn)
        xcb_disconnect(m_conn);
}

bool WindowWatcher::connect(const std::string& display) {
    m_conn = xcb_connect(display.c_str(), nullptr);
    if (!m_conn || xcb_connection_has_error(m_conn))
        return false;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_conn);
    return true;
}

std::vector<xcb_window_t> WindowWatcher::topLevelWindows() {
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr), &std::free);
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

std::vector<WindowInfo> WindowWatcher::mappedWindows() {
    std::vector<WindowInfo> out;
    for (const xcb_window_t window : topLevelWindows()) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attrs(
            xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, window), nullptr),
            &std::free);
        if (!attrs || attrs->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr), &std::free);
        if (!geometry)
            continue;
        out.push_back({window, geometry->x, geometry->y, geometry->width, geometry->height});
    }
    return out;
}

xcb_window_t WindowWatcher::cover(const WindowInfo& area) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
    const xcb_window_t window = xcb_generate_id(m_conn);
    const std::uint32_t background = screen->white_pixel;
    xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, window, m_root, static_cast<std::int16_t>(area.x),
                      static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(area.width),
                      static_cast<std::uint16_t>(area.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, &background);
    xcb_map_window(m_conn, window);
    xcb_flush(m_conn);
    return window;
}

bool WindowWatcher::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (!waitForEvents(deadline))
            return condition();
    }
}

bool WindowWatcher::waitForFocus(xcb_window_t window, std::chrono::milliseconds timeout) {
    const uint32_t mask = XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_conn, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_conn);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> focus(
            xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr), &std::free);
        if (focus && focus->focus == window)
            return true;
        if (!waitForEvents(deadline))
            return false;
    }
}

std::string WindowWatcher::describeWindows() {
    std::string out;
    for (const xcb_window_t window : topLevelWindows()) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attrs(
            xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, window), nullptr),
            &std::free);
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr), &std::free);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
            xcb_get_property_reply(m_conn,
                                   xcb_get_property(m_conn, 0, window, XCB_ATOM_WM_NAME,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, kNameWords),
                                   nullptr),
            &std::free);
        if (!attrs || !geometry)
            continue;
        const char* state = attrs->map_state == XCB_MAP_STATE_VIEWABLE     ? "viewable"
                            : attrs->map_state == XCB_MAP_STATE_UNVIEWABLE ? "unviewable"
                                                                           : "unmapped";
        char line[kLineBytes];
        std::snprintf(line, sizeof line, "0x%08x %dx%d%+d%+d %s%s", window, geometry->width, geometry->height,
                      geometry->x, geometry->y, state, attrs->override_redirect ? " override-redirect" : "");
        out += line;
        if (name && xcb_get_property_value_length(name.get()) > 0) {
            out += " \"";
            out.append(static_cast<const char*>(xcb_get_property_value(name.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(name.get())));
            out += "\"";
        }
        out += "\n";
    }
    return out.empty() ? "(no top-level window, or the X server answers no window list)\n" : out;
}

std::optional<WindowInfo> WindowWatcher::waitForWindow(const std::function<bool(const WindowInfo&)>& match,
                                                       std::chrono::milliseconds timeout) {
    std::optional<WindowInfo> found;
    waitUntil(
        [&] {
            for (const WindowInfo& w : mappedWindows()) {
                if (match(w)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

bool WindowWatcher::waitForEvents(std::chrono::steady_clock::time_point deadline) {
    // Reading replies also reads the events the server sent before them into xcb's own queue,
    // where they no longer wake a poll on the socket: a change made while a list was being read
    // would otherwise wait for the next unrelated event, or the time-out.
    bool queued = false;
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_conn)) {
        std::free(event);
        queued = true;
    }
    if (queued)
        return true;
    pollfd p{xcb_get_file_descriptor(m_conn), POLLIN, 0};
    if (::poll(&p, 1, remainingMs(deadline)) <= 0)
        return false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn))
        std::free(event);
    return !xcb_connection_has_error(m_conn);
}

int runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
    ChildProcess child;
    if (!child.start(argv, env))
        return -1;
    return child.waitForExit(kCommandWait).value_or(-1);
}

bool haveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

} // namespace e2e
