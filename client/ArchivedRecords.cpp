#include "client/ArchivedRecords.h"

#include "platform/Log.h"

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

Bytes FileSample::archive() const {
    KeyedArchiver out(kClassName);
    out.encodeBytes("file", copyBytes(m_pFileSample, m_nFileSize));
    out.encodeString("fileName", m_strFileName);
    out.encodeInt("fileSize", m_nFileSize);
    out.encodeInt("fileTotalSplit", m_nTotalFileSplitCnt);
    out.encodeInt("fileSplitSeq", m_nFileSplitSeq);
    return out.finish();
}

std::optional<FileSample> FileSample::unarchive(const Bytes& archive) {
    auto in = KeyedUnarchiver::open(archive, kClassName);
    if (!in) {
        platform::logf("[ZQ]FileSample archive refused (%zu bytes)", archive.size());
        return std::nullopt;
    }
    auto bytes = in->decodeBytes("file");
    auto name = in->decodeString("fileName");
    auto size = decodeInt32(*in, "fileSize");
    auto total = decodeInt32(*in, "fileTotalSplit");
    auto seq = decodeInt32(*in, "fileSplitSeq");
    if (!bytes || !name || !size || !total || !seq || !sizeMatches(*bytes, *size)) {
        platform::logf("[ZQ]FileSample archive incomplete or inconsistent");
        return std::nullopt;
    }
    FileSample sample;
    auto owned = std::make_shared<const Bytes>(std::move(*bytes));
    sample.fileData(owned->empty() ? nullptr : owned->data(), *size, std::move(*name), *total, *seq);
    sample.m_decodedBytes = std::move(owned);
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
