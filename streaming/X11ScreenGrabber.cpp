#include "streaming/X11ScreenGrabber.h"

#include "platform/Log.h"
#include "platform/X11Display.h"

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
    std::unique_ptr<platform::X11Display> display; // last member to go: the segment needs it
    xcb_connection_t* connection = nullptr;        // the display's
    xcb_screen_t* screen = nullptr;
    Method method = Method::SharedMemory;

    // Shared segment, sized for one frame of `segmentRect`.
    xcb_shm_seg_t segment = 0;
    void* segmentAddress = nullptr;
    std::size_t segmentBytes = 0;
    // GetImage reply holding the last frame.
    Reply<xcb_get_image_reply_t> imageReply;

    ~Impl() { releaseSegment(); }

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

    // The screen the console is told about (the desktop layer's primary screen), on the root window.
    OutputRect primaryOutput() { return display->primaryOutputRect(); }
};

X11ScreenGrabber::X11ScreenGrabber(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

X11ScreenGrabber::~X11ScreenGrabber() = default;

std::unique_ptr<X11ScreenGrabber> X11ScreenGrabber::open(const std::string& displayName, Method method,
                                                         std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->method = method;
    impl->display = platform::X11Display::open(displayName, error);
    if (!impl->display) {
        return nullptr;
    }
    impl->connection = impl->display->connection();
    impl->screen = impl->display->screen();
    const xcb_setup_t* setup = xcb_get_setup(impl->connection);
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
    // Screen size changes arrive as events; they are read at every tick without a round trip.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(impl->connection, impl->screen->root, XCB_CW_EVENT_MASK, &rootEvents);
    if (impl->display->hasRandr()) {
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
