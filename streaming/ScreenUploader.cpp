#include "streaming/ScreenUploader.h"

#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"
#include "streaming/H264Encoder.h"
#include "streaming/ProportionalScaling.h"
#include "streaming/Yuv420.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace streaming {

namespace {

constexpr const char* kScreenSizeNotice = "[PC00004]";
constexpr const char* kH264StartNotice = "[PC00609]";

// "<code>w,h", as "%d,%d" formats it.
std::string formatNotice(const char* code, int width, int height) {
    return code + std::to_string(width) + "," + std::to_string(height);
}

// Lines of every frame the console's modes bring about: a live view held back by acknowledgements
// it withholds, each frame of the H.264 live mode, a link that is busy by turns, a quality no image
// can be encoded at, and the notices a repeated "[MV00004]" asks for. Each kind is held to a few a second,
// the next line let through counting those held back.
constexpr int kFrameLinesPerSecond = 3;

struct FrameLogs {
    platform::LogRateLimit busy{kFrameLinesPerSecond};
    platform::LogRateLimit notEncoded{kFrameLinesPerSecond};
    platform::LogRateLimit unstable{kFrameLinesPerSecond};
    platform::LogRateLimit sizeNotice{kFrameLinesPerSecond};
    platform::LogRateLimit h264Enabled{kFrameLinesPerSecond};
    platform::LogRateLimit yuvTime{kFrameLinesPerSecond};
    platform::LogRateLimit yuvSize{kFrameLinesPerSecond};
};

FrameLogs& frameLogs() {
    static FrameLogs logs;
    return logs;
}

} // namespace

std::int32_t nextSequence(std::int32_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + 1u);
}

bool liveImagePending(std::int32_t serverDrawSeq, std::int32_t drawSeq) {
    return static_cast<std::int64_t>(serverDrawSeq) + kMaxUnacknowledgedImages <
           static_cast<std::int64_t>(drawSeq);
}

void ScreenUploader::refreshSizes(const CaptureFrame& frame) {
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    // The console may ask for any size (16384 x 16384 would cost a gigabyte and a core on every
    // tick); a thumbnail is never larger than the screen it shows.
    m_nWidth = std::min(info.m_nThumbWidth.load(), static_cast<std::int32_t>(frame.width()));
    m_nHeight = std::min(info.m_nThumbHeight.load(), static_cast<std::int32_t>(frame.height()));
    m_bIsRetinaDisplay = platform::screens::isHighDensity();
}

bool ScreenUploader::gateOpen(const std::shared_ptr<transport::TCPConnection>& link) {
    if (m_gate.mayQueueImage(link)) {
        m_skipping = false;
        return true;
    }
    if (!m_skipping) {
        m_skipping = true;
        frameLogs().busy.logf("[ZQ_CALLBACK]Link is busy: screen images skipped while %zu wait unsent",
                              m_gate.waitingImages());
    }
    return false;
}

client::StudentClient::Queue ScreenUploader::throughGate(bool isImage) {
    return [this, isImage](const std::shared_ptr<transport::TCPConnection>& link,
                           std::unique_ptr<transport::SRequestData> request) {
        return m_gate.send(link, std::move(request), isImage);
    };
}

bool ScreenUploader::sendText(client::StudentClient& client, const std::string& text) {
    return client.sendCommand(text, client::StudentClient::Link::ByConfiguration,
                              client::StudentClient::kCommandRequestBytes, throughGate(false));
}

std::vector<std::uint8_t> ScreenUploader::jpegOf(CaptureFrame& frame, int pointsWidth, int pointsHeight,
                                                 float factor) {
    const ImageView view = frame.pixels();
    if (!view.isValid()) {
        platform::logf("[ZQ_CALLBACK]Frame %llu has no pixels; nothing sent",
                       static_cast<unsigned long long>(frame.ptsValue()));
        return {};
    }
    const ImageSize target = uploadPixelSize({pointsWidth, pointsHeight}, m_bIsRetinaDisplay);
    if (!isValidImageSize(target)) {
        // A size that was fine when it arrived may round to nothing after a display change: told
        // once, not on every frame.
        if (!m_emptySizeLogged) {
            m_emptySizeLogged = true;
            platform::logf("[ZQ_CALLBACK]Screen image size %dx%d is empty; nothing sent", target.width,
                           target.height);
        }
        return {};
    }
    m_emptySizeLogged = false;
    std::vector<std::uint8_t> jpeg;
    if (target == view.size()) {
        // Straight from the capture buffer: no copy of a full screen.
        jpeg = imgCompressedByFactor(m_compressor, view, factor, m_bIsRetinaDisplay);
    } else {
        std::optional<PlainImage> scaled = imgResize(view, target);
        if (!scaled) {
            return {};
        }
        jpeg = imgCompressedByFactor(m_compressor, scaled->view(), factor, m_bIsRetinaDisplay);
    }
    if (jpeg.empty()) {
        frameLogs().notEncoded.logf(
            "[ZQ_CALLBACK]Screen image %dx%d could not be encoded (factor %f); nothing sent", target.width,
            target.height, static_cast<double>(factor));
    }
    return jpeg;
}

void ScreenUploader::processImage(CaptureFrame& frame, client::StudentClient& client) {
    refreshSizes(frame);
    const std::shared_ptr<transport::TCPConnection> link = client.sessionConnection();
    if (!link) {
        return;
    }
    if (!client.takeRemoteView()) {
        if (m_options.thumbnailClearsH264Init) {
            client.setH264Init(false);
        }
        if (!gateOpen(link)) {
            return;
        }
        const std::vector<std::uint8_t> jpeg = jpegOf(frame, m_nWidth, m_nHeight, client.getfQuality());
        if (jpeg.empty() || client.liveViewBegan()) {
            return;
        }
        const std::int32_t seq = client.getDrawSeq();
        if (client.sendScreenImage({jpeg.data(), jpeg.size(), m_nWidth, m_nHeight, seq}, throughGate(true))) {
            client.advanceDrawSeq(seq);
        }
        return;
    }
    if (client.getH264RemoteScreen()) {
        sendH264Frame(frame, client, link);
        return;
    }
    const bool sequenced = client.getRemoteSeqProcess();
    if (sequenced) {
        const std::int32_t serverSeq = client.getServerDrawSeq();
        const std::int32_t drawSeq = client.getDrawSeq();
        if (liveImagePending(serverSeq, drawSeq)) {
            frameLogs().unstable.logf("[ZQ_CALLBACK]Network is unstable.. %d/%d pending", serverSeq, drawSeq);
            return;
        }
    }
    if (!gateOpen(link)) {
        return;
    }
    const int screenWidth = platform::screens::clientWidth();
    const int screenHeight = platform::screens::clientHeight();
    const std::vector<std::uint8_t> jpeg = jpegOf(frame, screenWidth, screenHeight, client.getfQuality());
    if (jpeg.empty()) {
        return;
    }
    if (client.getRemoteViewFirst()) {
        client.setRemoteViewFirst(false);
        sendText(client, formatNotice(kScreenSizeNotice, screenWidth, screenHeight));
        frameLogs().sizeNotice.logf("[ZQ]PC00004 Sended");
    }
    client::StudentClient::ScreenImage image{jpeg.data(), jpeg.size(), screenWidth, screenHeight,
                                             std::nullopt};
    if (sequenced) {
        const std::int32_t seq = client.getDrawSeq();
        image.drawSeq = seq;
        if (client.sendScreenImage(image, throughGate(true))) {
            client.advanceDrawSeq(seq);
        }
    } else {
        client.sendScreenImage(image, throughGate(true));
    }
}

void ScreenUploader::processRelayImage(CaptureFrame& frame, client::StudentClient& client) {
    refreshSizes(frame);
    const std::shared_ptr<transport::TCPConnection> link = client.sessionConnection();
    if (!link || !gateOpen(link)) {
        return;
    }
    const bool live = client.takeRemoteView();
    const int width = live ? platform::screens::clientWidth() : m_nWidth;
    const int height = live ? platform::screens::clientHeight() : m_nHeight;
    const std::vector<std::uint8_t> jpeg = jpegOf(frame, width, height, client.getfQuality());
    // A thumbnail whose encoding ended after the live view began would follow its "[PC00004]".
    if (jpeg.empty() || (!live && client.liveViewBegan())) {
        return;
    }
    if (live && client.getRemoteViewFirst()) {
        client.setRemoteViewFirst(false);
        sendText(client, formatNotice(kScreenSizeNotice, width, height));
    }
    // The relay carries no acknowledgements: the draw sequence stays where it is.
    client.sendScreenImage({jpeg.data(), jpeg.size(), width, height, std::nullopt}, throughGate(true));
}

void ScreenUploader::sendH264Frame(CaptureFrame& frame, client::StudentClient& client,
                                   const std::shared_ptr<transport::TCPConnection>& link) {
    if (!gateOpen(link)) {
        return;
    }
    std::shared_ptr<H264Encoder> encoder = client.getEncoder();
    if (!encoder) {
        platform::logf("[ZQ_CALLBACK]No H.264 encoder in this session; frame not sent");
        return;
    }
    if (client.getH264Init() && m_h264SetUpFailed) {
        return; // told once at the failed set-up; the next start tries again
    }
    frameLogs().h264Enabled.logf("H264 enabled");
    const auto started = std::chrono::steady_clock::now();
    const ImageView view = frame.pixels();
    if (!view.isValid()) {
        platform::logf("[ZQ_CALLBACK]Frame %llu has no pixels; nothing sent",
                       static_cast<unsigned long long>(frame.ptsValue()));
        return;
    }
    const ImageSize target{kH264Width, kH264Height};
    std::vector<std::uint8_t> yuv;
    if (view.size() == target) {
        yuv = yuv420DataFromImage(view);
    } else if (std::optional<PlainImage> scaled = imgResize(view, target)) {
        yuv = yuv420DataFromImage(scaled->view());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    frameLogs().yuvTime.logf("YUV Data make Time: %f seconds", seconds);
    frameLogs().yuvSize.logf("YuvData:%ld", static_cast<long>(yuv.size()));
    if (yuv.empty()) {
        return;
    }

    if (!client.getH264Init()) {
        // Every start of the H.264 live mode opens a new stream: the size notice, a fresh encoder,
        // and a key frame first, which the console's new decoder needs before anything else.
        sendText(client, formatNotice(kH264StartNotice, kH264Width, kH264Height));
        platform::sleepFor(kH264AnnouncePauseSeconds);
        encoder->releaseEncoder();
        const int status = encoder->initEncoder(kH264Width, kH264Height, kH264Bitrate, kH264FrameRate);
        client.setH264Init(true);
        m_h264SetUpFailed = status != 0;
        if (m_h264SetUpFailed) {
            platform::logf(
                "[ZQ_CALLBACK]H.264 encoder set-up failed (%d); no H.264 frames until the next start",
                status);
            encoder->releaseEncoder();
            return;
        }
        encoder->setNeedIDRPacket(true);
    }
    // A frame the rate control skipped still goes out, empty, so the console's sequence count
    // stays continuous.
    const std::optional<std::vector<std::uint8_t>> encoded =
        encoder->nativeEncode(yuv, kH264Width, kH264Height);
    const std::vector<std::uint8_t> empty;
    const std::vector<std::uint8_t>& bytes = encoded ? *encoded : empty;
    const std::int32_t seq = client.getH264DrawSeq();
    if (client.sendH264Frame(bytes.data(), bytes.size(), seq, throughGate(true))) {
        client.setH264DrawSeq(nextSequence(seq));
    }
}

} // namespace streaming
