#include "client/ArchivedRecords.h"

#include "platform/Log.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace client {
namespace {

using platform::Bytes;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

constexpr std::size_t kIndexBytes = 4;

Bytes copyBytes(const std::uint8_t* data, std::int32_t size) {
    if (data == nullptr || size < 1)
        return {};
    return Bytes(data, data + size);
}

std::optional<std::int32_t> decodeInt32(const KeyedUnarchiver& in, const char* key) {
    auto value = in.decodeInt(key);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

// The record's bytes as a block to archive (none for a missing pointer or a size below 1).
std::span<const std::uint8_t> borrowedBytes(const std::uint8_t* data, std::int32_t size) {
    if (data == nullptr || size < 1)
        return {};
    return {data, static_cast<std::size_t>(size)};
}

bool viewMatches(std::span<const std::uint8_t> block, std::int32_t size) {
    return block.size() == static_cast<std::uint64_t>(size < 0 ? 0 : size);
}

// A byte block whose length must equal the record's own size field (negative sizes mean none).
bool sizeMatches(const Bytes& block, std::int32_t size) {
    return block.size() == static_cast<std::uint64_t>(size < 0 ? 0 : size);
}

} // namespace

FileSample& FileSample::fileData(const std::uint8_t* data, std::int32_t fileSize, std::string fileName,
                                 std::int32_t totalFileSplitCnt, std::int32_t fileSplitSeq) {
    m_pFileSample = data;
    m_nFileSize = fileSize;
    m_strFileName = std::move(fileName);
    m_nTotalFileSplitCnt = totalFileSplitCnt;
    m_nFileSplitSeq = fileSplitSeq;
    m_decodedBytes.reset();
    return *this;
}

namespace {

constexpr const char* kFileKey = "file";
constexpr const char* kFileNameKey = "fileName";
constexpr const char* kFileSizeKey = "fileSize";
constexpr const char* kFileTotalSplitKey = "fileTotalSplit";
constexpr const char* kFileSplitSeqKey = "fileSplitSeq";

Bytes fileArchive(Bytes&& data, std::int32_t size, const std::string& name, std::int32_t total,
                  std::int32_t seq) {
    KeyedArchiver out(FileSample::kClassName);
    out.encodeBytes(kFileKey, std::move(data));
    out.encodeString(kFileNameKey, name);
    out.encodeInt(kFileSizeKey, size);
    out.encodeInt(kFileTotalSplitKey, total);
    out.encodeInt(kFileSplitSeqKey, seq);
    return out.finish();
}

// Reads a FileSample from an open archive; the bytes move out of it.
std::optional<FileSample> readFileSample(KeyedUnarchiver& in, std::shared_ptr<Bytes>& owned) {
    auto bytes = in.takeBytes(kFileKey);
    auto name = in.decodeString(kFileNameKey);
    auto size = decodeInt32(in, kFileSizeKey);
    auto total = decodeInt32(in, kFileTotalSplitKey);
    auto seq = decodeInt32(in, kFileSplitSeqKey);
    if (!bytes || !name || !size || !total || !seq || !sizeMatches(*bytes, *size)) {
        platform::logf("[ZQ]FileSample archive incomplete or inconsistent");
        return std::nullopt;
    }
    owned = std::make_shared<Bytes>(std::move(*bytes));
    FileSample sample;
    sample.fileData(owned->empty() ? nullptr : owned->data(), *size, std::move(*name), *total, *seq);
    return sample;
}

} // namespace

Bytes FileSample::archive() const {
    return fileArchive(copyBytes(m_pFileSample, m_nFileSize), m_nFileSize, m_strFileName,
                       m_nTotalFileSplitCnt, m_nFileSplitSeq);
}

Bytes FileSample::archive(Bytes&& data, std::string fileName, std::int32_t totalFileSplitCnt,
                          std::int32_t fileSplitSeq) {
    const auto size = static_cast<std::int32_t>(std::min<std::size_t>(
        data.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    data.resize(static_cast<std::size_t>(size));
    return fileArchive(std::move(data), size, fileName, totalFileSplitCnt, fileSplitSeq);
}

std::optional<FileSample> FileSample::unarchive(const Bytes& archive) {
    return unarchiveFrom(archive, nullptr);
}

std::optional<FileSample> FileSample::unarchive(Bytes&& archive) {
    Bytes held = std::move(archive);
    return unarchiveFrom(held, &held);
}

std::optional<FileSample> FileSample::unarchiveFrom(const Bytes& archive, Bytes* releaseOnceOpen) {
    auto in = KeyedUnarchiver::open(archive, kClassName);
    if (!in) {
        platform::logf("[ZQ]FileSample archive refused (%zu bytes)", archive.size());
        return std::nullopt;
    }
    // The entries hold their own copy now: an archive handed over goes before the bytes are taken.
    if (releaseOnceOpen)
        Bytes().swap(*releaseOnceOpen);
    std::shared_ptr<Bytes> owned;
    auto sample = readFileSample(*in, owned);
    if (sample)
        sample->m_decodedBytes = std::move(owned);
    return sample;
}

ImageSample& ImageSample::bitmap(const std::uint8_t* bytes, std::int32_t bitmapSize,
                                 std::int32_t screenSplitCount, const std::uint32_t* screenIndex,
                                 std::int32_t screenSeq) {
    m_pScreenBitmap = bytes;
    m_nBitmapSize = bitmapSize;
    m_nScreenSplitCount = screenSplitCount;
    m_pScreenIndexArray.clear();
    if (screenSplitCount > 0 && screenIndex != nullptr) {
        m_pScreenIndexArray.reserve(static_cast<std::size_t>(screenSplitCount));
        for (std::int32_t i = 0; i < screenSplitCount; ++i)
            m_pScreenIndexArray.push_back(static_cast<std::int32_t>(screenIndex[i]));
    }
    m_nScreenSeq = screenSeq;
    m_decodedBytes.reset();
    return *this;
}

platform::KeyedArchiver ImageSample::archiver() const {
    // The index array travels as a block of little-endian 32-bit values (the host's order).
    static_assert(std::endian::native == std::endian::little, "tile indexes are written as host words");
    KeyedArchiver out(kClassName);
    out.encodeBorrowedBytes("bitmap", borrowedBytes(m_pScreenBitmap, m_nBitmapSize));
    out.encodeInt("bitmapSize", m_nBitmapSize);
    out.encodeInt("screenSplitCnt", m_nScreenSplitCount);
    out.encodeBorrowedBytes("screenIndex", {reinterpret_cast<const std::uint8_t*>(m_pScreenIndexArray.data()),
                                            m_pScreenIndexArray.size() * kIndexBytes});
    out.encodeInt("screenSeq", m_nScreenSeq);
    return out;
}

Bytes ImageSample::archive() const {
    return archiver().finish();
}

std::string ImageSample::archiveText() const {
    return archiver().finishText();
}

std::optional<ImageSample> ImageSample::unarchive(const Bytes& archive) {
    return unarchive(std::span<const std::uint8_t>(archive));
}

std::optional<ImageSample> ImageSample::unarchive(std::span<const std::uint8_t> archive,
                                                  std::shared_ptr<const void> owner) {
    if (!owner) {
        auto owned = std::make_shared<const Bytes>(archive.begin(), archive.end());
        return unarchive(std::span<const std::uint8_t>(*owned), owned);
    }
    auto in = KeyedUnarchiver::openBorrowing(archive, kClassName);
    if (!in) {
        platform::logf("[ZQ]ImageSample archive refused (%zu bytes)", archive.size());
        return std::nullopt;
    }
    auto bytes = in->decodeBytesView("bitmap");
    auto size = decodeInt32(*in, "bitmapSize");
    auto count = decodeInt32(*in, "screenSplitCnt");
    auto indexes = in->decodeBytesView("screenIndex");
    auto seq = decodeInt32(*in, "screenSeq");
    if (!bytes || !size || !count || !indexes || !seq || !viewMatches(*bytes, *size) ||
        indexes->size() != static_cast<std::uint64_t>(*count < 0 ? 0 : *count) * kIndexBytes) {
        platform::logf("[ZQ]ImageSample archive incomplete or inconsistent");
        return std::nullopt;
    }
    ImageSample sample;
    sample.m_pScreenBitmap = bytes->empty() ? nullptr : bytes->data();
    sample.m_nBitmapSize = *size;
    sample.m_nScreenSplitCount = *count;
    sample.m_pScreenIndexArray.resize(indexes->size() / kIndexBytes);
    if (!indexes->empty())
        std::memcpy(sample.m_pScreenIndexArray.data(), indexes->data(), indexes->size());
    sample.m_nScreenSeq = *seq;
    sample.m_decodedBytes = std::move(owner);
    return sample;
}

H264Sample& H264Sample::h264Data(const std::uint8_t* bytes, std::int32_t h264Size, std::int32_t screenSeq) {
    m_pH264 = bytes;
    m_nH264Size = h264Size;
    m_nScreenSeq = screenSeq;
    m_decodedBytes.reset();
    return *this;
}

platform::KeyedArchiver H264Sample::archiver() const {
    KeyedArchiver out(kClassName);
    out.encodeBorrowedBytes("h264", borrowedBytes(m_pH264, m_nH264Size));
    out.encodeInt("h264Size", m_nH264Size);
    out.encodeInt("screenSeq", m_nScreenSeq);
    return out;
}

Bytes H264Sample::archive() const {
    return archiver().finish();
}

std::string H264Sample::archiveText() const {
    return archiver().finishText();
}

std::string H264Sample::archiveText(Bytes&& h264, std::int32_t screenSeq) {
    const auto size = static_cast<std::int32_t>(std::min<std::size_t>(
        h264.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    h264.resize(static_cast<std::size_t>(size));
    KeyedArchiver out(kClassName);
    out.encodeBytes("h264", std::move(h264));
    out.encodeInt("h264Size", size);
    out.encodeInt("screenSeq", screenSeq);
    return out.finishText();
}

std::optional<H264Sample> H264Sample::unarchive(const Bytes& archive) {
    return unarchive(std::span<const std::uint8_t>(archive));
}

std::optional<H264Sample> H264Sample::unarchive(std::span<const std::uint8_t> archive,
                                                std::shared_ptr<const void> owner) {
    if (!owner) {
        auto owned = std::make_shared<const Bytes>(archive.begin(), archive.end());
        return unarchive(std::span<const std::uint8_t>(*owned), owned);
    }
    auto in = KeyedUnarchiver::openBorrowing(archive, kClassName);
    if (!in) {
        platform::logf("[ZQ]H264Sample archive refused (%zu bytes)", archive.size());
        return std::nullopt;
    }
    auto bytes = in->decodeBytesView("h264");
    auto size = decodeInt32(*in, "h264Size");
    auto seq = decodeInt32(*in, "screenSeq");
    if (!bytes || !size || !seq || !viewMatches(*bytes, *size)) {
        platform::logf("[ZQ]H264Sample archive incomplete or inconsistent");
        return std::nullopt;
    }
    H264Sample sample;
    sample.h264Data(bytes->empty() ? nullptr : bytes->data(), *size, *seq);
    sample.m_decodedBytes = std::move(owner);
    return sample;
}

} // namespace client
