// Costs of the screen media steps on one 1920x1080 frame.
#include "DesktopFrame.h"
#include "platform/Log.h"
#include "streaming/H264Encoder.h"
#include "streaming/ImageScaling.h"
#include "streaming/JpegCompressor.h"
#include "streaming/ProportionalScaling.h"
#include "streaming/Yuv420.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace {

constexpr int kWidth = bench::kDesktopWidth;
constexpr int kHeight = bench::kDesktopHeight;
constexpr int kQuality = 40; // the console's default factor 0.4
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
// The teacher's larger thumbnail: not a whole ratio on either axis (6 x 5.4).
constexpr int kLargeThumbWidth = 320;
constexpr int kLargeThumbHeight = 200;
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

// PSNR over B, G and R of a thumbnail against the exact area average of the frame.
double psnrAgainstExactAverage(const streaming::ImageView& thumb) {
    const auto exact = streaming::scaleByAreaAverage(frame().view(), thumb.size());
    double sum = 0.0;
    for (int y = 0; y < thumb.height; ++y) {
        for (int x = 0; x < thumb.width * streaming::kBytesPerPixel; ++x) {
            if (x % streaming::kBytesPerPixel != 3) {
                const double d = static_cast<double>(thumb.row(y)[x]) - exact.row(y)[x];
                sum += d * d;
            }
        }
    }
    const double mse = sum / (3.0 * thumb.width * thumb.height);
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

void BM_ThumbnailScale320x200(benchmark::State& state) {
    const auto& image = frame();
    streaming::PlainImage thumb;
    for (auto _ : state) {
        thumb = streaming::scaleImage(image.view(), {kLargeThumbWidth, kLargeThumbHeight});
        benchmark::DoNotOptimize(thumb.data());
    }
    state.counters["psnr_db"] = psnrAgainstExactAverage(thumb.view());
}
BENCHMARK(BM_ThumbnailScale320x200)->Unit(benchmark::kMicrosecond);

// The library beside it: a 2x box step, then its box filter for the fractional rest.
void BM_LibyuvTwoStepBox320x200(benchmark::State& state) {
    const auto& image = frame();
    streaming::PlainImage thumb;
    for (auto _ : state) {
        streaming::PlainImage half(kWidth / 2, kHeight / 2);
        libyuv::ARGBScale(image.data(), static_cast<int>(image.stride()), kWidth, kHeight, half.data(),
                          static_cast<int>(half.stride()), half.width(), half.height(), libyuv::kFilterBox);
        thumb = streaming::PlainImage(kLargeThumbWidth, kLargeThumbHeight);
        libyuv::ARGBScale(half.data(), static_cast<int>(half.stride()), half.width(), half.height(),
                          thumb.data(), static_cast<int>(thumb.stride()), kLargeThumbWidth, kLargeThumbHeight,
                          libyuv::kFilterBox);
        benchmark::DoNotOptimize(thumb.data());
    }
    state.counters["psnr_db"] = psnrAgainstExactAverage(thumb.view());
}
BENCHMARK(BM_LibyuvTwoStepBox320x200)->Unit(benchmark::kMicrosecond);

void BM_I420(benchmark::State& state) {
    const auto& image = frame();
    for (auto _ : state) {
        const auto yuv = streaming::yuv420DataFromImage(image.view());
        benchmark::DoNotOptimize(yuv.data());
    }
}
BENCHMARK(BM_I420)->Unit(benchmark::kMillisecond);

// The library beside it, into a buffer allocated per frame as the conversion above does. Its
// chroma averages each 2x2 block, so its bytes differ; only its time is compared.
void BM_LibyuvARGBToI420(benchmark::State& state) {
    const auto& image = frame();
    const int luma = kWidth * kHeight;
    for (auto _ : state) {
        std::vector<std::uint8_t> yuv(streaming::i420Size(kWidth, kHeight));
        std::uint8_t* y = yuv.data();
        std::uint8_t* u = y + luma;
        std::uint8_t* v = u + luma / 4;
        libyuv::ARGBToI420(image.data(), static_cast<int>(image.stride()), y, kWidth, u, kWidth / 2, v,
                           kWidth / 2, kWidth, kHeight);
        benchmark::DoNotOptimize(yuv.data());
    }
}
BENCHMARK(BM_LibyuvARGBToI420)->Unit(benchmark::kMillisecond);

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
