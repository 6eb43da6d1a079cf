// The picture-wide steps that run in bands on several threads: the bands cover every row once on
// even boundaries, and a banded H.264 conversion and a banded scaling to the view give exactly
// the pixels of one whole-picture call.
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/PlatformTestSupport.h"
#include "viewer/ParallelWork.h"
#include "viewer/ScreenCanvas.h"
#include "viewer/ScreenShareView.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <libyuv.h>

namespace viewer {
namespace {

TEST(ParallelWorkTest, BandsCoverEveryRowOnceOnEvenBoundaries) {
    for (int rows : {1, 2, 3, 7, 135, 1080, 1081}) {
        for (std::size_t pieces : {std::size_t{1}, std::size_t{3}, kParallelPieces}) {
            int next = 0;
            for (std::size_t i = 0; i < pieces; ++i) {
                const RowBand band = rowBand(rows, pieces, i);
                EXPECT_EQ(band.first, next) << rows << " rows, band " << i << " of " << pieces;
                EXPECT_EQ(band.first % 2, 0);
                EXPECT_LE(band.first, band.end);
                next = band.end;
            }
            EXPECT_EQ(next, rows) << rows << " rows in " << pieces;
        }
    }
    std::atomic<int> ran{0};
    runInParallel(kParallelPieces, [&](std::size_t piece) { ran += 1 << piece; });
    EXPECT_EQ(ran.load(), (1 << kParallelPieces) - 1);
}

std::uint8_t patternByte(std::size_t i) {
    return static_cast<std::uint8_t>((i * 2654435761u) >> 13);
}

TEST(PresentationTest, AFrameConvertedInBandsMatchesOneWholeConversion) {
    for (auto [w, h] : {std::pair{64, 37}, {128, 72}, {30, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        streaming::H264DecodeData frame;
        frame.width = w;
        frame.height = h;
        frame.stride[0] = w + 16; // coders pad their rows
        frame.stride[1] = (w + 1) / 2 + 8;
        frame.y.resize(static_cast<std::size_t>(frame.stride[0] * h));
        frame.u.resize(static_cast<std::size_t>(frame.stride[1] * streaming::chromaRows(h)));
        frame.v.resize(frame.u.size());
        for (std::size_t i = 0; i < frame.y.size(); ++i)
            frame.y[i] = patternByte(i);
        for (std::size_t i = 0; i < frame.u.size(); ++i) {
            frame.u[i] = patternByte(i + 7);
            frame.v[i] = patternByte(i + 99);
        }
        ScreenCanvas canvas;
        canvas.reset(w, h);
        ASSERT_TRUE(canvas.drawFrame(frame, w, h));
        streaming::PlainImage whole(w, h);
        ASSERT_EQ(libyuv::I420ToARGB(frame.y.data(), frame.stride[0], frame.u.data(), frame.stride[1],
                                     frame.v.data(), frame.stride[1], whole.data(),
                                     static_cast<int>(whole.stride()), w, h),
                  0);
        EXPECT_EQ(std::memcmp(canvas.image().data(), whole.data(), whole.stride() * h), 0);
    }
}

// Decoded frames come from the console's stream: 10,000 inconsistent ones write a few lines a
// second, the next line let through counting the rest.
TEST(PresentationTest, InconsistentFramesAreLoggedAFewTimesASecond) {
    constexpr int kFrames = 10'000;
    constexpr std::size_t kFewLines = 5;
    streaming::H264DecodeData frame;
    frame.width = 64;
    frame.height = 32;
    frame.stride[0] = 64;
    frame.stride[1] = 32;
    frame.y.resize(16); // far fewer rows than the frame claims
    ScreenCanvas canvas;
    canvas.reset(64, 32);
    platform::ManualRunLoop loop;
    loop.install();
    loop.advance(1.0);
    platform::testing::LogCapture log;
    for (int i = 0; i < kFrames; ++i)
        EXPECT_FALSE(canvas.drawFrame(frame, 64, 32));
    loop.advance(1.0);
    EXPECT_FALSE(canvas.drawFrame(frame, 64, 32));
    EXPECT_LT(log.lines().size(), kFewLines);
    EXPECT_EQ(platform::testing::faultsLogged(log.lines(), "is inconsistent; not shown"), kFrames + 1u);
}

TEST(PresentationTest, TheViewScaledInBandsMatchesOneWholeScaling) {
    streaming::PlainImage canvas(120, 70);
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width() * streaming::kBytesPerPixel; ++x)
            canvas.row(y)[x] = patternByte(static_cast<std::size_t>(y * 1000 + x));
    platform::NotificationCenter center;
    ScreenShareView view(center);
    for (auto [w, h] : {std::pair{100, 57}, {120, 66}, {200, 141}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        view.resize(w, h);
        view.present(canvas, {0, 0, canvas.width(), canvas.height()});
        const QImage& shown = view.image();
        ASSERT_EQ(shown.size(), QSize(w, h));
        streaming::PlainImage whole(w, h);
        libyuv::ARGBScale(canvas.data(), static_cast<int>(canvas.stride()), canvas.width(), canvas.height(),
                          whole.data(), static_cast<int>(whole.stride()), w, h, libyuv::kFilterBilinear);
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(shown.constScanLine(y), whole.row(y), whole.stride()), 0) << "row " << y;
    }
}

// A view paints the scaled canvas straight into the raster picture it is painted on: that picture
// holds the canvas scaled as a whole, before and after a part of it changes.
TEST(PresentationTest, TheWindowShowsTheCanvasScaled) {
    streaming::PlainImage canvas(64, 36);
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width() * streaming::kBytesPerPixel; ++x)
            canvas.row(y)[x] = x % 4 == 3 ? 0xFF : patternByte(static_cast<std::size_t>(y * 1000 + x));
    platform::NotificationCenter center;
    ScreenShareView view(center);
    view.resize(192, 108);
    view.present(canvas, {0, 0, canvas.width(), canvas.height()});
    for (int round = 0; round < 2; ++round) {
        // Painted into a raster picture as the window's own backing store is.
        QImage shown(192, 108, QImage::Format_ARGB32_Premultiplied);
        shown.fill(0);
        view.render(&shown);
        ASSERT_EQ(shown.size(), QSize(192, 108));
        streaming::PlainImage whole(192, 108);
        libyuv::ARGBScale(canvas.data(), static_cast<int>(canvas.stride()), canvas.width(), canvas.height(),
                          whole.data(), static_cast<int>(whole.stride()), 192, 108, libyuv::kFilterBilinear);
        int wrong = 0;
        for (int y = 0; y < 108; ++y)
            wrong += std::memcmp(shown.constScanLine(y), whole.row(y), whole.stride()) != 0 ? 1 : 0;
        EXPECT_EQ(wrong, 0) << "round " << round;
        // A tile changes: the next round shows it.
        for (int y = 9; y < 18; ++y)
            std::memset(canvas.row(y) + 16 * streaming::kBytesPerPixel, 0x7F, 16 * streaming::kBytesPerPixel);
        view.present(canvas, {16, 9, 16, 9});
    }
}

// A part of the canvas changes and only its repaint rectangle is scaled again: at every
// enlargement the view must match a whole new scaling, so the rectangle reaches every view pixel
// the change touches (no seams at its edges).
TEST(PresentationTest, APartialRepaintMatchesAWholeScalingAtEveryEnlargement) {
    streaming::PlainImage canvas(64, 36);
    platform::NotificationCenter center;
    ScreenShareView view(center);
    for (auto [w, h] : {std::pair{64, 36}, {96, 54}, {192, 108}, {320, 180}, {50, 28}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        std::memset(canvas.data(), 0x20, static_cast<std::size_t>(canvas.stride()) * canvas.height());
        view.resize(w, h);
        view.present(canvas, {0, 0, canvas.width(), canvas.height()});
        const CanvasRect changed{16, 9, 16, 9}; // one tile of a 4 x 4 grid
        for (int y = changed.y; y < changed.y + changed.height; ++y)
            for (int x = changed.x * streaming::kBytesPerPixel;
                 x < (changed.x + changed.width) * streaming::kBytesPerPixel; ++x)
                canvas.row(y)[x] = patternByte(static_cast<std::size_t>(y * 1000 + x));
        view.present(canvas, changed);
        const QImage& shown = view.image();
        if (w == canvas.width())
            continue; // drawn from the canvas itself
        streaming::PlainImage whole(w, h);
        libyuv::ARGBScale(canvas.data(), static_cast<int>(canvas.stride()), canvas.width(), canvas.height(),
                          whole.data(), static_cast<int>(whole.stride()), w, h, libyuv::kFilterBilinear);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * streaming::kBytesPerPixel; ++x)
                wrong += shown.constScanLine(y)[x] != whole.row(y)[x] ? 1 : 0;
        EXPECT_EQ(wrong, 0);
    }
}

} // namespace
} // namespace viewer
