#include "platform/KeyedArchive.h"

#include <gtest/gtest.h>
#include <random>

namespace platform {
namespace {

constexpr std::size_t kChecksumBytes = 8;

Bytes sampleArchive() {
    KeyedArchiver archiver("FileSample");
    archiver.encodeBytes("file", Bytes{1, 2, 3, 0, 255});
    archiver.encodeString("fileName", "보고서 final.pdf");
    archiver.encodeInt("fileSize", 5);
    archiver.encodeInt("fileTotalSplit", -1);
    archiver.encodeDouble("ratio", 0.25);
    archiver.encodeIntArray("screenIndex", {0, 7, -3});
    archiver.encodeIntArray("empty", {});
    return archiver.finish();
}

// Rewrites the trailing checksum, so a damaged body reaches the field parser instead of being
// stopped by the checksum alone (FNV-1a 64 over everything before the trailer: over bytes in
// version 1, over little-endian 64-bit words and then the tail's bytes in version 2).
void reseal(Bytes& archive) {
    if (archive.size() < kChecksumBytes || archive.size() < 6)
        return;
    const bool words = (archive[4] | (archive[5] << 8)) != 1;
    const std::size_t body = archive.size() - kChecksumBytes;
    std::uint64_t hash = 14695981039346656037ull;
    std::size_t i = 0;
    for (; words && i + 8 <= body; i += 8) {
        std::uint64_t word = 0;
        for (std::size_t b = 0; b < 8; ++b)
            word |= static_cast<std::uint64_t>(archive[i + b]) << (8 * b);
        hash ^= word;
        hash *= 1099511628211ull;
    }
    for (; i < body; ++i) {
        hash ^= archive[i];
        hash *= 1099511628211ull;
    }
    for (std::size_t i = 0; i < kChecksumBytes; ++i)
        archive[archive.size() - kChecksumBytes + i] = static_cast<std::uint8_t>(hash >> (8 * i));
}

TEST(KeyedArchive, RoundTripsEveryType) {
    const Bytes archive = sampleArchive();
    auto decoded = KeyedUnarchiver::open(archive, "FileSample");
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->className(), "FileSample");
    EXPECT_EQ(decoded->decodeBytes("file"), (Bytes{1, 2, 3, 0, 255}));
    EXPECT_EQ(decoded->decodeString("fileName"), "보고서 final.pdf");
    EXPECT_EQ(decoded->decodeInt("fileSize"), 5);
    EXPECT_EQ(decoded->decodeInt("fileTotalSplit"), -1);
    EXPECT_EQ(decoded->decodeDouble("ratio"), 0.25);
    EXPECT_EQ(decoded->decodeIntArray("screenIndex"), (std::vector<std::int64_t>{0, 7, -3}));
    EXPECT_EQ(decoded->decodeIntArray("empty"), std::vector<std::int64_t>{});
    // Missing keys and other types answer empty.
    EXPECT_EQ(decoded->decodeInt("missing"), std::nullopt);
    EXPECT_EQ(decoded->decodeInt("fileName"), std::nullopt);
    EXPECT_EQ(decoded->decodeString("fileSize"), std::nullopt);
}

TEST(KeyedArchive, EmptyArchiveRoundTrips) {
    const Bytes archive = KeyedArchiver("ImageSample").finish();
    auto decoded = KeyedUnarchiver::open(archive, "ImageSample");
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->decodeBytes("bitmap"), std::nullopt);
}

TEST(KeyedArchive, WrongClassIsRefused) {
    const Bytes archive = sampleArchive();
    EXPECT_FALSE(KeyedUnarchiver::open(archive, "ImageSample").has_value());
    EXPECT_FALSE(KeyedUnarchiver::open(archive, "FileSampl").has_value());
    EXPECT_FALSE(KeyedUnarchiver::open(archive, "").has_value());
}

TEST(KeyedArchive, EveryTruncationIsRefused) {
    const Bytes archive = sampleArchive();
    for (std::size_t length = 0; length < archive.size(); ++length) {
        const Bytes prefix(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(KeyedUnarchiver::open(prefix, "FileSample").has_value()) << "length " << length;
        // Even with a valid checksum over the shorter body, the structure gives it away.
        Bytes resealed = prefix;
        resealed.resize(prefix.size() + kChecksumBytes);
        reseal(resealed);
        if (length + kChecksumBytes != archive.size()) {
            EXPECT_FALSE(KeyedUnarchiver::open(resealed, "FileSample").has_value()) << "length " << length;
        }
    }
    EXPECT_FALSE(KeyedUnarchiver::open(nullptr, 0, "FileSample").has_value());
}

TEST(KeyedArchive, TrailingBytesAreRefused) {
    Bytes archive = sampleArchive();
    archive.insert(archive.end() - kChecksumBytes, 0x00);
    reseal(archive);
    EXPECT_FALSE(KeyedUnarchiver::open(archive, "FileSample").has_value());
}

TEST(KeyedArchive, DamagedBytesAreRefusedOrDecodeSafely) {
    const Bytes archive = sampleArchive();
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        Bytes damaged = archive;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f)
            damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        if (damaged == archive)
            continue; // two flips of one byte cancelled out
        EXPECT_FALSE(KeyedUnarchiver::open(damaged, "FileSample").has_value());
        // With the checksum fixed up the parser itself sees the damage; it must never read out
        // of bounds (the sanitizer build watches), and what it accepts must decode.
        reseal(damaged);
        if (auto decoded = KeyedUnarchiver::open(damaged, "FileSample"))
            (void)decoded->decodeBytes("file");
    }
}

// Archives written before the checksum went word-wise (version 1, summed a byte at a time) still read.
TEST(KeyedArchive, VersionOneArchivesStillRead) {
    Bytes archive = sampleArchive();
    archive[4] = 1;
    archive[5] = 0;
    EXPECT_FALSE(KeyedUnarchiver::open(archive, "FileSample").has_value())
        << "the word sum is not version 1's";
    reseal(archive);
    auto decoded = KeyedUnarchiver::open(archive, "FileSample");
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->decodeBytes("file"), (Bytes{1, 2, 3, 0, 255}));
    EXPECT_EQ(decoded->decodeInt("fileTotalSplit"), -1);
}

TEST(KeyedArchive, HugeCountsAreRefusedWithoutAllocating) {
    // Header "OLKA" v1, class "C", 1 entry: int array claiming 0xffffffff elements.
    Bytes archive = {'O', 'L', 'K', 'A', 1, 0, 1, 0,   0,    0,    'C',  1,   0,
                     0,   0,   5,   1,   0, 0, 0, 'k', 0xff, 0xff, 0xff, 0xff};
    archive.resize(archive.size() + kChecksumBytes);
    reseal(archive);
    EXPECT_FALSE(KeyedUnarchiver::open(archive, "C").has_value());
}

} // namespace
} // namespace platform
