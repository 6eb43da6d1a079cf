// The screen upload: turns one accepted frame into what the teacher's console is sent (thumbnail,
// live JPEG image sequenced or in the small form, relay-wrapped images, the H.264 live frame) and
// hands it to the session client's typed sends, which build the packets for the client's link; the
// unsent-image gate watches that link. Runs on the capture object's frame queue only, one
// frame at a time; it keeps the JPEG compressor and the link gate of that thread.
#pragma once

#include "client/StudentClient.h"
#include "streaming/CaptureSource.h"
#include "streaming/JpegCompressor.h"
#include "streaming/UnsentImageGate.h"

#include <cstdint>
#include <string>

namespace streaming {

// The H.264 live frame is always this size; the console was told so with "[PC00609]".
constexpr int kH264Width = 1920;
constexpr int kH264Height = 1080;
constexpr int kH264Bitrate = 5120000;
constexpr float kH264FrameRate = 24.0f;
// Pause after announcing a new H.264 stream, so the console can set up its decoder first.
constexpr double kH264AnnouncePauseSeconds = 0.6;
// A sequenced live image goes out only while at most this many wait for the console's acknowledgement.
constexpr std::int64_t kMaxUnacknowledgedImages = 4;

// The next value of a 32-bit sequence number, wrapping as the console's unsigned counter does
// (never a signed overflow).
std::int32_t nextSequence(std::int32_t value);
// Whether a sequenced live image must wait: server + 4 < draw, compared in 64 bits.
bool liveImagePending(std::int32_t serverDrawSeq, std::int32_t drawSeq);

class ScreenUploader {
public:
    struct Options {
        // The older capture object clears the H.264 state with every thumbnail frame, so the next
        // H.264 live view announces and sets up its encoder again.
        bool thumbnailClearsH264Init = false;
    };

    explicit ScreenUploader(Options options) : m_options(options) {}

    // Direct upload of one frame whose thumbnail size is set: thumbnail, live image or H.264 frame.
    void processImage(CaptureFrame& frame, client::StudentClient& client);
    // Relay upload of one frame: live image or thumbnail in relay envelopes, sequence 0.
    void processRelayImage(CaptureFrame& frame, client::StudentClient& client);

    // Thumbnail size of the latest upload: the student record's, at most the captured frame's.
    std::int32_t width() const { return m_nWidth; }
    std::int32_t height() const { return m_nHeight; }
    bool isRetinaDisplay() const { return m_bIsRetinaDisplay; }

private:
    // Copies the thumbnail size asked for, held to the frame's size, and the display density.
    void refreshSizes(const CaptureFrame& frame);
    // A JPEG of the frame at `points` (display rules applied); empty when nothing may be sent.
    std::vector<std::uint8_t> jpegOf(CaptureFrame& frame, int pointsWidth, int pointsHeight, float factor);
    // Whether the gate lets a new image onto the session's link (skipping logged once per run).
    bool gateOpen(const std::shared_ptr<transport::TCPConnection>& link);
    // The client's packets go onto the link it picks through the gate; images are counted there.
    client::StudentClient::Queue throughGate(bool isImage);
    bool sendText(client::StudentClient& client, const std::string& text);
    void sendH264Frame(CaptureFrame& frame, client::StudentClient& client,
                       const std::shared_ptr<transport::TCPConnection>& link);

    Options m_options;
    std::int32_t m_nWidth = 0;
    std::int32_t m_nHeight = 0;
    bool m_bIsRetinaDisplay = false;
    bool m_skipping = false;        // the gate is holding images back (logged once per run)
    bool m_emptySizeLogged = false; // an empty image size was logged (once per run of them)
    // The encoder could not be set up for the current H.264 start: frames wait for the next start
    // (a new live view or "[MV00264]true") instead of retrying, and pausing, on every frame.
    bool m_h264SetUpFailed = false;
    JpegCompressor m_compressor;
    UnsentImageGate m_gate;
};

} // namespace streaming
