// The student record's fixed text fields, the global configuration and the archived records.
#include "client/ArchivedRecords.h"
#include "client/GlobalConfig.h"
#include "client/StudentSessionInfo.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using client::FileSample;
using client::FixedText;
using client::H264Sample;
using client::ImageSample;

TEST(StudentRecord, StartsEmptyAndReplacesWholeFields) {
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    info.resetForTesting();
    EXPECT_EQ(info.m_szServerIp.get(), "");
    EXPECT_EQ(info.m_nThumbWidth.load(), 0);
    info.m_szServerIp.set("192.168.100.200");
    info.m_szServerIp.set("10.0.0.1");
    EXPECT_EQ(info.m_szServerIp.get(), "10.0.0.1");
    info.m_szConnectPort.set("10240");
    EXPECT_EQ(info.m_szConnectPort.intValue(), 10240);
    info.m_szConnectPort.set("port");
    EXPECT_EQ(info.m_szConnectPort.intValue(), 0);
}

struct CutCase {
    std::string value;
    std::string kept;
};

TEST(StudentRecord, LongTextIsCutAtACharacterBoundary) {
    const std::string hangul = "\xEA\xB0\x80"; // one three-byte character
    std::string seventeen;
    for (int i = 0; i < 17; ++i)
        seventeen += hangul; // 51 bytes
    const CutCase cases[] = {
        {std::string(49, 'a'), std::string(49, 'a')},
        {std::string(50, 'a'), std::string(49, 'a')},
        {seventeen, seventeen.substr(0, 48)}, // 16 whole characters, never half of one
        {std::string(48, 'a') + hangul, std::string(48, 'a')},
        {std::string("ab\0cd", 5), "ab"},
    };
    FixedText field("m_szAlias");
    for (const CutCase& c : cases) {
        field.set(c.value);
        EXPECT_EQ(field.get(), c.kept);
    }
}

TEST(StudentRecord, OneRecordForEveryThread) {
    client::StudentSessionInfo* seen[4] = {};
    std::thread threads[4];
    for (int i = 0; i < 4; ++i)
        threads[i] = std::thread([&seen, i] { seen[i] = &client::gStudentSessionInfo(); });
    for (auto& t : threads)
        t.join();
    for (auto* p : seen)
        EXPECT_EQ(p, &client::gStudentSessionInfo());
}

TEST(GlobalConfig, KeepsWhatLoginSets) {
    client::GlobalConfig& config = client::GlobalConfig::shared();
    config.resetForTesting();
    EXPECT_FALSE(config.isRelayEnabled());
    EXPECT_EQ(config.strTeacherId(), "");
    config.setIsRelayEnabled(true);
    config.setStrTeacherId("t-7");
    config.setStrRelayIp("10.1.1.1");
    config.setStrRelayPort("7000");
    config.setIsMinimizeEnabled(true);
    EXPECT_TRUE(config.isRelayEnabled());
    EXPECT_EQ(config.strTeacherId(), "t-7");
    EXPECT_EQ(config.strRelayIp(), "10.1.1.1");
    EXPECT_EQ(config.strRelayPort(), "7000");
    EXPECT_TRUE(config.isMinimizeEnabled());
    config.resetForTesting();
}

TEST(ArchivedRecords, FileSampleRoundTripsWithAKoreanName) {
    const std::uint8_t bytes[] = {1, 2, 3, 250};
    FileSample sample;
    sample.fileData(bytes, 4, "과제 1.pdf", 9, 3);
    platform::Bytes archive = sample.archive();
    auto back = FileSample::unarchive(archive);
    archive.assign(archive.size(), 0); // the decoded record keeps its own bytes
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->getFileName(), "과제 1.pdf");
    EXPECT_EQ(back->getFileSize(), 4);
    EXPECT_EQ(back->getTotalFileSplitCnt(), 9);
    EXPECT_EQ(back->getFileSplitSeq(), 3);
    ASSERT_NE(back->getFileSample(), nullptr);
    EXPECT_EQ(back->getFileSample()[3], 250);
    FileSample copy = *back;
    back.reset();
    EXPECT_EQ(copy.getFileSample()[0], 1) << "a copy keeps the decoded bytes alive";
}

TEST(ArchivedRecords, EmptyPiecesAndImages) {
    FileSample empty;
    empty.fileData(nullptr, 0, "a", 1, 0);
    auto file = FileSample::unarchive(empty.archive());
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->getFileSize(), 0);
    ImageSample image;
    image.bitmap(nullptr, 0, 0, nullptr, 5);
    auto back = ImageSample::unarchive(image.archive());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->getScreenSplitCount(), 0);
    EXPECT_TRUE(back->getScreenIndexArray().empty());
    EXPECT_EQ(back->getScreenSeq(), 5);
}

TEST(ArchivedRecords, ImageAndH264SamplesRoundTrip) {
    const std::uint8_t bitmap[] = {9, 8, 7};
    const std::uint32_t tiles[] = {0, 4000000000u, 12};
    ImageSample image;
    image.bitmap(bitmap, 3, 3, tiles, -2);
    auto back = ImageSample::unarchive(image.archive());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->getBitmapSize(), 3);
    EXPECT_EQ(back->getScreenBitmap()[2], 7);
    EXPECT_EQ(back->getScreenIndexArray(),
              (std::vector<std::int32_t>{0, static_cast<std::int32_t>(4000000000u), 12}));
    EXPECT_EQ(back->getScreenSeq(), -2);

    H264Sample frame;
    frame.h264Data(bitmap, 3, 77);
    auto h264 = H264Sample::unarchive(frame.archive());
    ASSERT_TRUE(h264.has_value());
    EXPECT_EQ(h264->getH264Size(), 3);
    EXPECT_EQ(h264->getScreenSeq(), 77);
}

TEST(ArchivedRecords, EveryTruncationAndWrongClassIsRefused) {
    const std::uint8_t bytes[] = {1, 2, 3};
    FileSample sample;
    sample.fileData(bytes, 3, "x", 1, 1);
    platform::Bytes archive = sample.archive();
    for (std::size_t size = 0; size < archive.size(); ++size) {
        platform::Bytes cut(archive.begin(), archive.begin() + static_cast<long>(size));
        EXPECT_FALSE(FileSample::unarchive(cut).has_value()) << size;
    }
    EXPECT_FALSE(ImageSample::unarchive(archive).has_value());
}

TEST(ArchivedRecords, SizesThatDisagreeWithTheirBytesAreRefused) {
    platform::KeyedArchiver file(FileSample::kClassName);
    file.encodeBytes("file", {1, 2});
    file.encodeString("fileName", "x");
    file.encodeInt("fileSize", 1000);
    file.encodeInt("fileTotalSplit", 1);
    file.encodeInt("fileSplitSeq", 0);
    EXPECT_FALSE(FileSample::unarchive(file.finish()).has_value());

    platform::KeyedArchiver image(ImageSample::kClassName);
    image.encodeBytes("bitmap", {});
    image.encodeInt("bitmapSize", 0);
    image.encodeInt("screenSplitCnt", 1000000);
    image.encodeBytes("screenIndex", {1, 0, 0, 0});
    image.encodeInt("screenSeq", 0);
    EXPECT_FALSE(ImageSample::unarchive(image.finish()).has_value());

    platform::KeyedArchiver h264(H264Sample::kClassName);
    h264.encodeBytes("h264", {1});
    h264.encodeInt("h264Size", 1LL << 40);
    h264.encodeInt("screenSeq", 0);
    EXPECT_FALSE(H264Sample::unarchive(h264.finish()).has_value());
}

} // namespace
