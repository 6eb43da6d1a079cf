// Costs of the screen media steps on one 1920x1080 frame.
#include "DesktopFrame.h"
#include "platform/Log.h"
#include "streaming/H264Encoder.h"
#include "streaming/ImageScaling.h"
#include "streaming/JpegCompressor.h"
#include "streaming/ProportionalScaling.h"
#include "streaming/Yuv420.h"

#include <benchmark/benchmark.h>
#include <string>
#include <turbojpeg.h>

namespace {

constexpr int kWidth = bench::kDesktopWidth;
constexpr int kHeight = bench::kDesktopHeight;
constexpr int kQuality = 40; // the console's default factor 0.4
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
constexpr int kBitrate = 5'120'000;
constexpr float kFps = 24.0f;

const streaming::PlainImage& frame() {
    return bench::desktopFrame();
}

void quietLog() {
    platform::setLogSink([](const std::string&) {});
}

void BM_BareTurboJpeg(benchmark::State& state) {
    const auto& image = frame();
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    for (auto _ : state) {
        tjCompress2(handle, image.data(), kWidth, static_cast<int>(image.stride()), kHeight, TJPF_BGRX,
                    &buffer, &size, TJSAMP_420, kQuality, 0);
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["bytes"] = static_cast<double>(size);
    tjFree(buffer);
    tjDestroy(handle);
}
BENCHMARK(BM_BareTurboJpeg)->Unit(benchmark::kMillisecond);

// What the live view does per accepted frame: JPEG straight from the capture buffer.
void BM_LiveJpeg(benchmark::State& state) {
    quietLog();
    const auto& image = frame();
    streaming::JpegCompressor compressor;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto jpeg = streaming::imgCompressedByFactor(compressor, image.view(), 0.4f, false);
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_LiveJpeg)->Unit(benchmark::kMillisecond);

void BM_ThumbnailScale(benchmark::State& state) {
    const auto& image = frame();
    for (auto _ : state) {
        const auto thumb = streaming::scaleImage(image.view(), {kThumbWidth, kThumbHeight});
        benchmark::DoNotOptimize(thumb.data());
    }
}
BENCHMARK(BM_ThumbnailScale)->Unit(benchmark::kMicrosecond);

// The whole thumbnail: area-averaged to 160x120, then JPEG.
void BM_ThumbnailJpeg(benchmark::State& state) {
    quietLog();
    const auto& image = frame();
    streaming::JpegCompressor compressor;
    for (auto _ : state) {
        const auto thumb = streaming::imgResize(image.view(), {kThumbWidth, kThumbHeight});
        const auto jpeg = streaming::imgCompressedByFactor(compressor, thumb->view(), 0.4f, false);
        benchmark::DoNotOptimize(jpeg.data());
    }
}
BENCHMARK(BM_ThumbnailJpeg)->Unit(benchmark::kMicrosecond);

void BM_I420(benchmark::State& state) {
    const auto& image = frame();
    for (auto _ : state) {
        const auto yuv = streaming::yuv420DataFromImage(image.view());
        benchmark::DoNotOptimize(yuv.data());
    }
}
BENCHMARK(BM_I420)->Unit(benchmark::kMillisecond);

// The H.264 live frame: I420 conversion and one encode at 5.12 Mbit/s, 24 frames a second.
void BM_I420AndH264Encode(benchmark::State& state) {
    quietLog();
    const auto& image = frame();
    streaming::H264Encoder encoder;
    encoder.initEncoder(kWidth, kHeight, kBitrate, kFps);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto yuv = streaming::yuv420DataFromImage(image.view());
        const auto encoded = encoder.nativeEncode(yuv, kWidth, kHeight);
        bytes = encoded ? encoded->size() : 0;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["last_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_I420AndH264Encode)->Unit(benchmark::kMillisecond);

} // namespace
