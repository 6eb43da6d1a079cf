#include "streaming/OpenH264Log.h"

#include "platform/Log.h"

#include <mutex>
#include <string>
#include <wels/codec_api.h>

namespace streaming {

namespace {

// Warnings and errors only: the library's information lines describe every frame.
constexpr int kLibraryLogLevel = WELS_LOG_WARNING;
// The decoder reads the console's stream: complaints that change from unit to unit (a counter, two
// faults in turn) are held to a few lines a second.
constexpr int kLibraryLinesPerSecond = 3;

platform::LogRateLimit& libraryLog() {
    static platform::LogRateLimit limit(kLibraryLinesPerSecond);
    return limit;
}

void libraryMessage(void* /*context*/, int level, const char* message) {
    if (message == nullptr) {
        return;
    }
    std::string text(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    // A broken stream repeats the same complaint for every unit: one line until it changes.
    static std::mutex lock;
    static std::string last;
    {
        std::lock_guard guard(lock);
        if (text == last) {
            return;
        }
        last = text;
    }
    libraryLog().logf("[ZQ]H264 library (%s): %s", level <= WELS_LOG_ERROR ? "error" : "warning",
                      text.c_str());
}

WelsTraceCallback callbackPointer() {
    return &libraryMessage;
}

} // namespace

void routeLibraryLog(ISVCEncoder* encoder) {
    if (encoder == nullptr) {
        return;
    }
    WelsTraceCallback callback = callbackPointer();
    int level = kLibraryLogLevel;
    encoder->SetOption(ENCODER_OPTION_TRACE_CALLBACK, &callback);
    encoder->SetOption(ENCODER_OPTION_TRACE_LEVEL, &level);
}

void routeLibraryLog(ISVCDecoder* decoder) {
    if (decoder == nullptr) {
        return;
    }
    WelsTraceCallback callback = callbackPointer();
    int level = kLibraryLogLevel;
    decoder->SetOption(DECODER_OPTION_TRACE_CALLBACK, &callback);
    decoder->SetOption(DECODER_OPTION_TRACE_LEVEL, &level);
}

} // namespace streaming
