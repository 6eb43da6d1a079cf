#include "streaming/SyntheticCaptureSource.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace streaming {
namespace {

void paintTick(std::uint64_t pts, PlainImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.row(y)[x * kBytesPerPixel] = static_cast<std::uint8_t>(pts);
        }
    }
}

TEST(SyntheticCaptureSource, StampsTicksAndCapturesOnlyAcceptedFrames) {
    SyntheticCaptureSource source({64, 32}, paintTick);
    std::vector<std::uint64_t> stamps;
    std::vector<std::uint64_t> fetchedPainted;
    ASSERT_TRUE(source.start([&](CaptureFrame& frame) {
        stamps.push_back(frame.ptsValue());
        EXPECT_EQ(frame.ptsTimescale(), 30);
        EXPECT_EQ(frame.width(), 64);
        EXPECT_EQ(frame.height(), 32);
        // Every third frame is taken, as a 100 ms pacing does at 30 frames a second.
        if (frame.ptsValue() % 3 == 0) {
            const ImageView first = frame.pixels();
            const ImageView again = frame.pixels();
            ASSERT_TRUE(first.isValid());
            EXPECT_EQ(first.data, again.data);
            fetchedPainted.push_back(first.row(31)[63 * kBytesPerPixel]);
        }
    }));
    EXPECT_FALSE(source.start([](CaptureFrame&) {}));
    source.deliverTicks(10);
    EXPECT_EQ(stamps, (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(fetchedPainted, (std::vector<std::uint64_t>{0, 3, 6, 9}));
    EXPECT_EQ(source.pixelFetches(), 4u);

    source.stop();
    source.deliverTicks(5);
    EXPECT_EQ(stamps.size(), 10u);
}

TEST(SyntheticCaptureSource, SizeChangeReachesTheNextFrame) {
    SyntheticCaptureSource source({8, 8}, paintTick);
    std::vector<ImageSize> sizes;
    source.start([&](CaptureFrame& frame) { sizes.push_back(frame.pixels().size()); });
    source.deliverTicks(1);
    source.setSize({16, 4});
    source.deliverTicks(1);
    EXPECT_EQ(sizes, (std::vector<ImageSize>{{8, 8}, {16, 4}}));
}

TEST(SyntheticCaptureSource, StartFailureIsReportedOnceWithoutFrames) {
    SyntheticCaptureSource source({8, 8}, paintTick);
    source.failNextStart("no screen");
    std::vector<std::string> errors;
    int frames = 0;
    testing::internal::CaptureStdout();
    source.start([&](CaptureFrame&) { ++frames; }, [&](const std::string& line) { errors.push_back(line); });
    source.deliverTicks(3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Start capture failed: no screen\n");
    EXPECT_EQ(errors, std::vector<std::string>{"Start capture failed: no screen"});
    EXPECT_EQ(frames, 0);
}

} // namespace
} // namespace streaming
