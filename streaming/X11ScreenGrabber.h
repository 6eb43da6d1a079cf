// Reads the pixels of the X screen's primary output through xcb: with MIT-SHM into a shared
// segment (re-created when the output changes size), or with a plain GetImage request as the
// fallback for servers without shared memory. Used by one thread (the capture thread).
#pragma once

#include "platform/X11Display.h"
#include "streaming/PlainImage.h"

#include <cstdint>
#include <memory>
#include <string>

namespace streaming {

// Where the primary output lies on the root window.
using OutputRect = platform::X11Rect;

class X11ScreenGrabber {
public:
    enum class Method { SharedMemory, GetImage };

    // Connects to the display (empty name: $DISPLAY), checks that the screen's pixels are 32-bit
    // B, G, R, X and finds the primary output. Answers null and sets error when it cannot.
    static std::unique_ptr<X11ScreenGrabber> open(const std::string& displayName, Method method,
                                                  std::string& error);
    // Whether the server takes a shared segment from this process (the extension alone is not
    // enough: a server in another IPC namespace cannot attach our segments).
    static bool offersSharedMemory(const std::string& displayName);

    ~X11ScreenGrabber();
    X11ScreenGrabber(const X11ScreenGrabber&) = delete;
    X11ScreenGrabber& operator=(const X11ScreenGrabber&) = delete;

    OutputRect output() const { return m_output; }
    // Handles the server's pending events and re-reads the output when the screen changed. Answers
    // false (error set) when the connection is gone.
    bool refreshOutput(std::string& error);
    // Captures the output. The view stays valid until the next grab; invalid on failure (error set).
    ImageView grab(std::string& error);
    bool connectionFailed() const;

private:
    struct Impl;
    explicit X11ScreenGrabber(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> m_impl;
    OutputRect m_output;
};

} // namespace streaming
