#include "platform/X11Display.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// RandR 1.3 brings the primary output and the current-resources request.
constexpr std::uint32_t kRandrMajor = 1;
constexpr std::uint32_t kRandrMinor = 3;
// A window property of one 32-bit value, or a name no longer than this many bytes, is all we read.
constexpr std::uint32_t kOneValue = 1;
constexpr std::uint32_t kNameLongs = 64;
// A server's refusal reason is a short sentence; more is not a reason.
constexpr std::size_t kMaxReasonBytes = 512;

X11Rect clipped(const X11Rect& rect, const X11Rect& root) {
    const int x0 = std::max(rect.x, 0);
    const int y0 = std::max(rect.y, 0);
    const int x1 = std::min(rect.x + rect.width, root.width);
    const int y1 = std::min(rect.y + rect.height, root.height);
    if (x1 <= x0 || y1 <= y0)
        return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

xcb_connection_t* connect(const std::string& displayName, int* screenNumber) {
    return xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), screenNumber);
}

} // namespace

std::string X11Display::connectionProblem(const std::string& displayName) {
    const char* fromEnvironment = std::getenv("DISPLAY");
    const std::string display = !displayName.empty() ? displayName : fromEnvironment ? fromEnvironment : "";
    if (display.empty())
        return "DISPLAY is not set";
    // libxcb writes a refusing server's reason to standard error itself; catch it, so the caller can
    // say everything in one line.
    int reasonPipe[2] = {-1, -1};
    const int savedError = ::dup(STDERR_FILENO);
    const bool catching = savedError >= 0 && ::pipe2(reasonPipe, O_CLOEXEC) == 0;
    if (catching) {
        ::dup2(reasonPipe[1], STDERR_FILENO);
        ::close(reasonPipe[1]);
    }
    int screen = 0;
    xcb_connection_t* c = connect(display, &screen);
    const int error = xcb_connection_has_error(c);
    xcb_disconnect(c); // also frees a connection in its error state
    std::string reason;
    if (catching) {
        ::dup2(savedError, STDERR_FILENO); // the pipe's last writer goes: reading ends at its end
        char buffer[kMaxReasonBytes];
        ssize_t n = 0;
        while (reason.size() < kMaxReasonBytes && (n = ::read(reasonPipe[0], buffer, sizeof buffer)) > 0)
            reason.append(buffer, static_cast<std::size_t>(n));
        ::close(reasonPipe[0]);
    }
    if (savedError >= 0)
        ::close(savedError);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    if (error == 0)
        return {};
    if (!reason.empty())
        return "the X server at DISPLAY=" + display + " refused the connection (" + reason + ")";
    return "no X server accepts a connection at DISPLAY=" + display;
}

std::unique_ptr<X11Display> X11Display::open(const std::string& displayName, std::string& error) {
    std::unique_ptr<X11Display> display(new X11Display());
    display->m_connection = connect(displayName, &display->m_screenNumber);
    if (display->m_connection == nullptr || xcb_connection_has_error(display->m_connection) != 0) {
        error = "cannot connect to the X display";
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(display->m_connection));
    for (int i = 0; i < display->m_screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0 || screens.data == nullptr) {
        error = "the X display has no such screen";
        return nullptr;
    }
    display->m_screen = screens.data;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(display->m_connection, &xcb_randr_id);
    if (randr != nullptr && randr->present != 0) {
        Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
            display->m_connection, xcb_randr_query_version(display->m_connection, kRandrMajor, kRandrMinor),
            nullptr));
        display->m_randr =
            version && (version->major_version > kRandrMajor || version->minor_version >= kRandrMinor);
    }
    return display;
}

X11Display::~X11Display() {
    if (m_connection != nullptr)
        xcb_disconnect(m_connection);
}

bool X11Display::failed() const {
    return xcb_connection_has_error(m_connection) != 0;
}

std::uint32_t X11Display::atom(const char* name) {
    auto it = m_atoms.find(name);
    if (it != m_atoms.end())
        return it->second;
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    const std::uint32_t value = reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
    if (value != XCB_ATOM_NONE)
        m_atoms.emplace(name, value);
    return value;
}

X11Rect X11Display::rootRect() {
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, m_screen->root), nullptr));
    if (!geometry)
        return {0, 0, m_screen->width_in_pixels, m_screen->height_in_pixels};
    return {0, 0, geometry->width, geometry->height};
}

bool X11Display::outputRect(std::uint32_t output, const X11Rect& root, X11Rect& rect) {
    Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
        m_connection, xcb_randr_get_output_info(m_connection, output, XCB_CURRENT_TIME), nullptr));
    if (!info || info->crtc == XCB_NONE || info->connection == XCB_RANDR_CONNECTION_DISCONNECTED)
        return false;
    Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
        m_connection, xcb_randr_get_crtc_info(m_connection, info->crtc, XCB_CURRENT_TIME), nullptr));
    if (!crtc || crtc->mode == XCB_NONE || crtc->width == 0 || crtc->height == 0)
        return false;
    rect = clipped({crtc->x, crtc->y, crtc->width, crtc->height}, root);
    return rect.width > 0;
}

X11Rect X11Display::primaryOutputRect() {
    const X11Rect root = rootRect();
    if (!m_randr)
        return root;
    X11Rect rect;
    Reply<xcb_randr_get_output_primary_reply_t> primary(xcb_randr_get_output_primary_reply(
        m_connection, xcb_randr_get_output_primary(m_connection, m_screen->root), nullptr));
    if (primary && primary->output != XCB_NONE && outputRect(primary->output, root, rect))
        return rect;
    // No primary output (usual with several monitors and on virtual servers): the desktop layer
    // then takes the first output that shows something, so capture takes the same one; the
    // whole root would be larger than the size the console is told.
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            m_connection, xcb_randr_get_screen_resources_current(m_connection, m_screen->root), nullptr));
    if (resources) {
        const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources.get());
        const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
        for (int i = 0; i < count; ++i) {
            if (outputRect(outputs[i], root, rect))
                return rect;
        }
    }
    return root;
}

std::int32_t X11Display::serverProcessID() const {
    const int fd = xcb_get_file_descriptor(m_connection);
    sockaddr_storage local{};
    socklen_t localLength = sizeof(local);
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
        local.ss_family != AF_UNIX)
        return 0;
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return 0;
    return peer.pid;
}

std::int32_t X11Display::windowProcessID(std::uint32_t window) {
    const std::uint32_t pidAtom = atom("_NET_WM_PID");
    if (window == XCB_NONE || pidAtom == XCB_ATOM_NONE)
        return 0;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, kOneValue),
        nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    std::uint32_t pid = 0;
    std::memcpy(&pid, xcb_get_property_value(reply.get()), sizeof(pid));
    return static_cast<std::int32_t>(pid);
}

std::uint32_t X11Display::windowManagerCheckWindow() {
    const std::uint32_t check = atom("_NET_SUPPORTING_WM_CHECK");
    if (check == XCB_ATOM_NONE)
        return XCB_NONE;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, m_screen->root, check, XCB_ATOM_WINDOW, 0, kOneValue),
        nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return XCB_NONE;
    std::uint32_t window = XCB_NONE;
    std::memcpy(&window, xcb_get_property_value(reply.get()), sizeof(window));
    return window;
}

std::vector<std::int32_t> X11Display::windowManagerProcessIDs() {
    std::vector<std::int32_t> pids;
    if (const std::int32_t manager = windowProcessID(windowManagerCheckWindow()); manager > 0)
        pids.push_back(manager);
    // A compositor owns the selection "_NET_WM_CM_S<screen>" (often the window manager itself).
    const std::string selection = "_NET_WM_CM_S" + std::to_string(m_screenNumber);
    if (const std::uint32_t cm = atom(selection.c_str()); cm != XCB_ATOM_NONE) {
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, cm), nullptr));
        if (owner) {
            const std::int32_t compositor = windowProcessID(owner->owner);
            if (compositor > 0 && std::find(pids.begin(), pids.end(), compositor) == pids.end())
                pids.push_back(compositor);
        }
    }
    return pids;
}

std::string X11Display::windowManagerName() {
    const std::uint32_t window = windowManagerCheckWindow();
    const std::uint32_t nameAtom = atom("_NET_WM_NAME");
    const std::uint32_t utf8 = atom("UTF8_STRING");
    if (window == XCB_NONE || nameAtom == XCB_ATOM_NONE)
        return {};
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, nameAtom, utf8, 0, kNameLongs), nullptr));
    if (!reply || reply->format != 8)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

} // namespace platform
