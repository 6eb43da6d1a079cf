#include "streaming/X11ScreenGrabber.h"

#include "platform/Log.h"

#include <algorithm>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace streaming {

namespace {

constexpr std::uint8_t kCapturePixelBits = 32;
constexpr std::uint32_t kRedMask = 0x00ff0000;
constexpr std::uint32_t kGreenMask = 0x0000ff00;
constexpr std::uint32_t kBlueMask = 0x000000ff;
constexpr std::uint32_t kAllPlanes = 0xffffffffu;
constexpr int kSegmentMode = 0600;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

std::size_t frameBytes(const OutputRect& rect) {
    return static_cast<std::size_t>(rect.width) * static_cast<std::size_t>(rect.height) * kBytesPerPixel;
}

bool hasCaptureLayout(const xcb_setup_t* setup, const xcb_screen_t* screen) {
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return false;
    }
    bool format32 = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            format32 = it.data->bits_per_pixel == kCapturePixelBits;
        }
    }
    if (!format32) {
        return false;
    }
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0; xcb_depth_next(&depths)) {
        for (auto visual = xcb_depth_visuals_iterator(depths.data); visual.rem > 0;
             xcb_visualtype_next(&visual)) {
            if (visual.data->visual_id == screen->root_visual) {
                return visual.data->red_mask == kRedMask && visual.data->green_mask == kGreenMask &&
                       visual.data->blue_mask == kBlueMask;
            }
        }
    }
    return false;
}

} // namespace

struct X11ScreenGrabber::Impl {
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    Method method = Method::SharedMemory;
    bool randr = false;
    int rootWidth = 0; // the root window's current size (the set-up data keeps the size at connect)
    int rootHeight = 0;

    // Shared segment, sized for one frame of `segmentRect`.
    xcb_shm_seg_t segment = 0;
    void* segmentAddress = nullptr;
    std::size_t segmentBytes = 0;
    // GetImage reply holding the last frame.
    Reply<xcb_get_image_reply_t> imageReply;

    ~Impl() {
        releaseSegment();
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
    }

    void releaseSegment() {
        if (segmentAddress == nullptr) {
            return;
        }
        if (connection != nullptr && xcb_connection_has_error(connection) == 0) {
            xcb_shm_detach(connection, segment);
            xcb_flush(connection);
        }
        shmdt(segmentAddress);
        segmentAddress = nullptr;
        segmentBytes = 0;
    }

    bool createSegment(std::size_t bytes, std::string& error) {
        releaseSegment();
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | kSegmentMode);
        if (id < 0) {
            error = "cannot create a shared segment";
            return false;
        }
        void* address = shmat(id, nullptr, SHM_RDONLY);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            error = "cannot map the shared segment";
            return false;
        }
        const xcb_shm_seg_t seg = xcb_generate_id(connection);
        Reply<xcb_generic_error_t> attachError(xcb_request_check(
            connection, xcb_shm_attach_checked(connection, seg, static_cast<std::uint32_t>(id), 0)));
        // Once the server holds it, the segment can be marked for removal: it then goes away with
        // the last user even when this process dies.
        shmctl(id, IPC_RMID, nullptr);
        if (attachError) {
            shmdt(address);
            error = "the X server cannot attach the shared segment";
            return false;
        }
        segment = seg;
        segmentAddress = address;
        segmentBytes = bytes;
        return true;
    }

    OutputRect rootRect() const { return {0, 0, rootWidth, rootHeight}; }

    // The primary output's rectangle, clipped to the root window; the whole root window when the
    // server names no primary output with a mode.
    OutputRect primaryOutput() {
        const OutputRect root = rootRect();
        if (!randr) {
            return root;
        }
        Reply<xcb_randr_get_output_primary_reply_t> primary(xcb_randr_get_output_primary_reply(
            connection, xcb_randr_get_output_primary(connection, screen->root), nullptr));
        if (!primary || primary->output == XCB_NONE) {
            return root;
        }
        Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            connection, xcb_randr_get_output_info(connection, primary->output, XCB_CURRENT_TIME), nullptr));
        if (!info || info->crtc == XCB_NONE) {
            return root;
        }
        Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
            connection, xcb_randr_get_crtc_info(connection, info->crtc, XCB_CURRENT_TIME), nullptr));
        if (!crtc || crtc->width == 0 || crtc->height == 0) {
            return root;
        }
        const int x0 = std::max<int>(crtc->x, 0);
        const int y0 = std::max<int>(crtc->y, 0);
        const int x1 = std::min<int>(crtc->x + crtc->width, root.width);
        const int y1 = std::min<int>(crtc->y + crtc->height, root.height);
        if (x1 <= x0 || y1 <= y0) {
            return root;
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }
};

X11ScreenGrabber::X11ScreenGrabber(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

X11ScreenGrabber::~X11ScreenGrabber() = default;

std::unique_ptr<X11ScreenGrabber> X11ScreenGrabber::open(const std::string& displayName, Method method,
                                                         std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->method = method;
    int screenNumber = 0;
    impl->connection = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (impl->connection == nullptr || xcb_connection_has_error(impl->connection) != 0) {
        error = "cannot connect to the X display";
        return nullptr;
    }
    const xcb_setup_t* setup = xcb_get_setup(impl->connection);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem <= 0 || screens.data == nullptr) {
        error = "the X display has no such screen";
        return nullptr;
    }
    impl->screen = screens.data;
    impl->rootWidth = impl->screen->width_in_pixels;
    impl->rootHeight = impl->screen->height_in_pixels;
    if (!hasCaptureLayout(setup, impl->screen)) {
        error = "the screen's pixels are not 32-bit B, G, R, X";
        return nullptr;
    }
    if (method == Method::SharedMemory) {
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(impl->connection, &xcb_shm_id);
        if (shm == nullptr || shm->present == 0) {
            error = "the X server has no MIT-SHM extension";
            return nullptr;
        }
    }
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(impl->connection, &xcb_randr_id);
    if (randr != nullptr && randr->present != 0) {
        Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
            impl->connection, xcb_randr_query_version(impl->connection, 1, 3), nullptr));
        impl->randr = version && (version->major_version > 1 || version->minor_version >= 3);
    }
    // Screen size changes arrive as events; they are read at every tick without a round trip.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(impl->connection, impl->screen->root, XCB_CW_EVENT_MASK, &rootEvents);
    if (impl->randr) {
        xcb_randr_select_input(impl->connection, impl->screen->root,
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
    xcb_flush(impl->connection);

    std::unique_ptr<X11ScreenGrabber> grabber(new X11ScreenGrabber(std::move(impl)));
    grabber->m_output = grabber->m_impl->primaryOutput();
    if (method == Method::SharedMemory &&
        !grabber->m_impl->createSegment(frameBytes(grabber->m_output), error)) {
        return nullptr;
    }
    return grabber;
}

bool X11ScreenGrabber::offersSharedMemory(const std::string& displayName) {
    std::string error;
    return open(displayName, Method::SharedMemory, error) != nullptr;
}

bool X11ScreenGrabber::connectionFailed() const {
    return xcb_connection_has_error(m_impl->connection) != 0;
}

bool X11ScreenGrabber::refreshOutput(std::string& error) {
    bool changed = false;
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_impl->connection)}) {
        changed = true;
    }
    if (connectionFailed()) {
        error = "the X server connection was lost";
        return false;
    }
    if (changed) {
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(
            m_impl->connection, xcb_get_geometry(m_impl->connection, m_impl->screen->root), nullptr));
        if (geometry) {
            m_impl->rootWidth = geometry->width;
            m_impl->rootHeight = geometry->height;
        }
        m_output = m_impl->primaryOutput();
    }
    return true;
}

ImageView X11ScreenGrabber::grab(std::string& error) {
    Impl& impl = *m_impl;
    const OutputRect rect = m_output;
    const std::size_t bytes = frameBytes(rect);
    const auto stride = static_cast<std::ptrdiff_t>(rect.width) * kBytesPerPixel;
    if (impl.method == Method::SharedMemory) {
        if (bytes != impl.segmentBytes && !impl.createSegment(bytes, error)) {
            return {};
        }
        Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            impl.connection,
            xcb_shm_get_image(impl.connection, impl.screen->root, static_cast<std::int16_t>(rect.x),
                              static_cast<std::int16_t>(rect.y), static_cast<std::uint16_t>(rect.width),
                              static_cast<std::uint16_t>(rect.height), kAllPlanes, XCB_IMAGE_FORMAT_Z_PIXMAP,
                              impl.segment, 0),
            nullptr));
        if (!reply || reply->size < bytes) {
            error = "the X server did not fill the shared segment";
            return {};
        }
        return {static_cast<const std::uint8_t*>(impl.segmentAddress), rect.width, rect.height, stride};
    }
    impl.imageReply.reset(xcb_get_image_reply(
        impl.connection,
        xcb_get_image(impl.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, impl.screen->root,
                      static_cast<std::int16_t>(rect.x), static_cast<std::int16_t>(rect.y),
                      static_cast<std::uint16_t>(rect.width), static_cast<std::uint16_t>(rect.height),
                      kAllPlanes),
        nullptr));
    if (!impl.imageReply) {
        error = "the X server refused the image request";
        return {};
    }
    const int length = xcb_get_image_data_length(impl.imageReply.get());
    if (length < 0 || static_cast<std::size_t>(length) < bytes) {
        error = "the X server sent a short image";
        return {};
    }
    return {xcb_get_image_data(impl.imageReply.get()), rect.width, rect.height, stride};
}

} // namespace streaming
