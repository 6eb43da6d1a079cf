// The teacher-screen viewer's display path under the offscreen platform: a 1920x1080 answer-mode
// update in 8 JPEG strips from their notifications to the repainted view (30 a second: the CPU share
// of one core, the same for a bare decode of the strips in the same run and their ratio, and the
// delay from the last strip), and a 1080p H.264 frame from its notification to
// the repainted view beside a bare decode of the same stream.
#include "DesktopFrame.h"
#include "client/ArchivedRecords.h"
#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "panel/AppDelegate.h"
#include "platform/ManualRunLoop.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "streaming/H264Decoder.h"
#include "streaming/H264Encoder.h"
#include "streaming/JpegCompressor.h"
#include "streaming/Yuv420.h"
#include "viewer/ScreenShareViewController.h"
#include "viewer/StripDecoder.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

constexpr int kStrips = 8;
constexpr int kStripHeight = bench::kDesktopHeight / kStrips; // 135: one row of answer-mode tiles
constexpr int kTilesPerStrip = 16;
constexpr int kJpegQuality = 80;
constexpr double kUpdatesPerSecond = 30.0;
constexpr int kH264Frames = 24;
constexpr int kH264Bitrate = 5120000;
constexpr float kH264Fps = 24.0f;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double msPerFrame(double seconds, std::size_t frames, benchmark::IterationCount iterations) {
    return seconds * 1000.0 / (static_cast<double>(frames) * static_cast<double>(iterations));
}

// One Qt application and one open viewer for the whole run, on a 1920 x 1080 screen.
struct Viewer {
    Viewer(const char* mode) {
        platform::screens::setInfo({bench::kDesktopWidth, bench::kDesktopHeight, 24, {1.0}});
        loop.install();
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kCanvasWidth, std::to_string(bench::kDesktopWidth));
        settings->setString(client::settings::kCanvasHeight, std::to_string(bench::kDesktopHeight));
        settings->setString(client::settings::kServerEncodeWidth, std::to_string(bench::kDesktopWidth));
        settings->setString(client::settings::kServerEncodeHeight, std::to_string(bench::kDesktopHeight));
        settings->setString(client::settings::kScreenInit, mode);
        viewer::registerViewerWindows(center);
        controller = desktop::WindowRegistry::instantiate(desktop::storyboard::kScreenShareWindow);
        panel::AppDelegate::shared().setScreenShareWindowController(controller);
        controller->showWindow();
        QApplication::processEvents();
        viewer = static_cast<viewer::ScreenShareWindowController*>(controller.get())->viewer();
    }
    ~Viewer() {
        desktop::WindowRegistry::closeAll();
        panel::AppDelegate::shared().resetForTesting();
        desktop::WindowRegistry::unregisterFactory(desktop::storyboard::kScreenShareWindow);
    }
    // The tick, then the view painted at once (what the event loop does right after the tick).
    void present() {
        viewer->screenRefresher();
        viewer->canvasView()->repaint();
    }

    platform::ManualRunLoop loop;
    platform::NotificationCenter center;
    std::shared_ptr<desktop::WindowController> controller;
    viewer::ScreenShareViewController* viewer = nullptr;
};

// An archive as the client object posts it: written once into a dictionary the viewer may keep.
std::shared_ptr<const platform::Dictionary> sharedUpdate(const char* key, const std::string& archive) {
    auto dictionary = std::make_shared<platform::Dictionary>();
    dictionary->emplace(key, archive);
    return dictionary;
}

// The desktop frame as 8 archived strip updates, each one row of 16 tiles.
std::vector<std::string> stripUpdates() {
    streaming::JpegCompressor compressor;
    const streaming::PlainImage& frame = bench::desktopFrame();
    std::vector<std::string> updates;
    for (int s = 0; s < kStrips; ++s) {
        streaming::ImageView strip{frame.row(s * kStripHeight), frame.width(), kStripHeight, frame.stride()};
        const auto jpeg = compressor.compress(strip, kJpegQuality);
        std::vector<std::uint32_t> tiles;
        for (int t = 0; t < kTilesPerStrip; ++t)
            tiles.push_back(static_cast<std::uint32_t>(s * kTilesPerStrip + t));
        client::ImageSample sample;
        sample.bitmap(jpeg.data(), static_cast<std::int32_t>(jpeg.size()), kTilesPerStrip, tiles.data(), s);
        updates.push_back(client::archiveAsText(sample.archive()));
    }
    return updates;
}

// The bare JPEG decoding of the strips, one after another on one thread (the floor of the path).
void decodeStrips(viewer::StripDecoder& decoder, const std::vector<client::ImageSample>& samples) {
    for (const client::ImageSample& sample : samples) {
        auto strip =
            decoder.decode({sample.getScreenBitmap(), static_cast<std::size_t>(sample.getBitmapSize())},
                           {bench::kDesktopWidth, kStripHeight});
        benchmark::DoNotOptimize(strip.data());
    }
}

std::vector<client::ImageSample> samplesOf(const std::vector<std::string>& updates) {
    std::vector<client::ImageSample> samples;
    for (const std::string& update : updates)
        samples.push_back(*client::ImageSample::unarchive(client::archiveFromText(update)));
    return samples;
}

void BM_ViewerStripUpdateToScreen(benchmark::State& state) {
    Viewer v("1");
    const auto updates = stripUpdates();
    const auto samples = samplesOf(updates);
    viewer::StripDecoder decoder;
    double delaySum = 0.0;
    double viewerCpu = 0.0;
    double bareCpu = 0.0;
    for (auto _ : state) {
        // The bare decode of the same strips right before, so that both see the same load on a
        // shared machine; their ratio is the goal's measure.
        state.PauseTiming();
        const double bareStart = cpuSeconds();
        decodeStrips(decoder, samples);
        bareCpu += cpuSeconds() - bareStart;
        state.ResumeTiming();
        const double cpuStart = cpuSeconds();
        for (const std::string& update : updates)
            v.center.post(client::events::kScreenData, nullptr,
                          sharedUpdate(client::events::kKeyCombinedDib, update));
        const auto lastStrip = std::chrono::steady_clock::now();
        v.present();
        delaySum += std::chrono::duration<double>(std::chrono::steady_clock::now() - lastStrip).count();
        viewerCpu += cpuSeconds() - cpuStart;
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["cpu_share_at_30fps"] = viewerCpu / iterations * kUpdatesPerSecond;
    state.counters["bare_decode_cpu_share_at_30fps"] = bareCpu / iterations * kUpdatesPerSecond;
    state.counters["x_bare_decode"] = viewerCpu / bareCpu;
    state.counters["last_strip_to_screen_ms"] = delaySum * 1000.0 / iterations;
}
BENCHMARK(BM_ViewerStripUpdateToScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor of the strip path: only the JPEG decoding of the same 8 strips.
void BM_StripJpegDecodeOnly(benchmark::State& state) {
    const auto samples = samplesOf(stripUpdates());
    viewer::StripDecoder decoder;
    const double cpuStart = cpuSeconds();
    for (auto _ : state)
        decodeStrips(decoder, samples);
    // The same unit as the whole path's: what the decoding alone takes of one core at 30 updates a second.
    const double cpuPerUpdate = (cpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
    state.counters["cpu_share_at_30fps"] = cpuPerUpdate * kUpdatesPerSecond;
}
BENCHMARK(BM_StripJpegDecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 1080p stream of the desktop frame with a moving bar, so every frame carries changes.
std::vector<std::vector<std::uint8_t>> h264Stream() {
    streaming::H264Encoder encoder;
    encoder.initEncoder(bench::kDesktopWidth, bench::kDesktopHeight, kH264Bitrate, kH264Fps);
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < kH264Frames; ++i) {
        streaming::PlainImage picture = streaming::PlainImage::copyOf(bench::desktopFrame().view());
        for (int y = 200 + i * 20; y < 260 + i * 20; ++y)
            for (int x = 0; x < picture.width() * streaming::kBytesPerPixel; ++x)
                picture.row(y)[x] = static_cast<std::uint8_t>(x + i * 9);
        auto bytes = encoder.nativeEncode(streaming::yuv420DataFromImage(picture.view()), picture.width(),
                                          picture.height());
        if (bytes && !bytes->empty())
            frames.push_back(std::move(*bytes));
    }
    return frames;
}

// Seconds to decode the whole stream with a new decoder (made inside the timed part, as the viewer
// makes its own with the first frame).
double bareDecodeSeconds(const std::vector<std::vector<std::uint8_t>>& frames) {
    const auto start = std::chrono::steady_clock::now();
    streaming::H264Decoder decoder;
    for (const auto& frame : frames) {
        decoder.decodeH264DataBufferList(frame, bench::kDesktopWidth, bench::kDesktopHeight);
        while (auto decoded = streaming::H264DecodeQueue::getH264DecodeData()) {
            benchmark::DoNotOptimize(decoded->y.data());
            streaming::H264DecodeQueue::removeDecodeData();
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_H264BareDecode(benchmark::State& state) {
    const auto frames = h264Stream();
    double seconds = 0.0;
    for (auto _ : state)
        seconds += bareDecodeSeconds(frames);
    state.counters["ms_per_frame"] = msPerFrame(seconds, frames.size(), state.iterations());
}
BENCHMARK(BM_H264BareDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_H264FrameToScreen(benchmark::State& state) {
    const auto frames = h264Stream();
    std::vector<std::string> archives;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        client::H264Sample sample;
        sample.h264Data(frames[i].data(), static_cast<std::int32_t>(frames[i].size()),
                        static_cast<std::int32_t>(i));
        archives.push_back(client::archiveAsText(sample.archive()));
    }
    double seconds = 0.0;
    double bareSeconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        // The bare decode of the same stream right before, so that both see the same load on a
        // shared machine; their ratio is the goal's measure.
        bareSeconds += bareDecodeSeconds(frames);
        auto v = std::make_unique<Viewer>(
            "2"); // a new viewer: a new decoder, starting at the stream's first frame
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& archive : archives) {
            v->center.post(client::events::kScreenH264Data, nullptr,
                           sharedUpdate(client::events::kKeyH264, archive));
            v->present();
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
    }
    state.counters["ms_per_frame"] = msPerFrame(seconds, archives.size(), state.iterations());
    state.counters["bare_decode_ms_per_frame"] = msPerFrame(bareSeconds, frames.size(), state.iterations());
    state.counters["x_bare_decode"] = seconds / bareSeconds;
}
BENCHMARK(BM_H264FrameToScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
