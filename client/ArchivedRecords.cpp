#include "client/ArchivedRecords.h"

#include "platform/Log.h"

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

Bytes ImageSample::archive() const {
    // The index array travels as a block of little-endian 32-bit values.
    Bytes indexes;
    indexes.reserve(m_pScreenIndexArray.size() * kIndexBytes);
    for (std::int32_t index : m_pScreenIndexArray) {
        auto value = static_cast<std::uint32_t>(index);
        for (std::size_t b = 0; b < kIndexBytes; ++b)
            indexes.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
    }
    KeyedArchiver out(kClassName);
    out.encodeBytes("bitmap", copyBytes(m_pScreenBitmap, m_nBitmapSize));
    out.encodeInt("bitmapSize", m_nBitmapSize);
    out.encodeInt("screenSplitCnt", m_nScreenSplitCount);
    out.encodeBytes("screenIndex", indexes);
    out.encodeInt("screenSeq", m_nScreenSeq);
    return out.finish();
}

std::optional<ImageSample> ImageSample::unarchive(const Bytes& archive) {
    auto in = KeyedUnarchiver::open(archive, kClassName);
    if (!in) {
        platform::logf("[ZQ]ImageSample archive refused (%zu bytes)", archive.size());
        return std::nullopt;
    }
    auto bytes = in->decodeBytes("bitmap");
    auto size = decodeInt32(*in, "bitmapSize");
    auto count = decodeInt32(*in, "screenSplitCnt");
    auto indexes = in->decodeBytes("screenIndex");
    auto seq = decodeInt32(*in, "screenSeq");
    if (!bytes || !size || !count || !indexes || !seq || !sizeMatches(*bytes, *size) ||
        indexes->size() != static_cast<std::uint64_t>(*count < 0 ? 0 : *count) * kIndexBytes) {
        platform::logf("[ZQ]ImageSample archive incomplete or inconsistent");
        return std::nullopt;
    }
    std::vector<std::uint32_t> list(indexes->size() / kIndexBytes);
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < kIndexBytes; ++b)
            value |= static_cast<std::uint32_t>((*indexes)[i * kIndexBytes + b]) << (8 * b);
        list[i] = value;
    }
    ImageSample sample;
    auto owned = std::make_shared<const Bytes>(std::move(*bytes));
    sample.bitmap(owned->empty() ? nullptr : owned->data(), *size, *count, list.data(), *seq);
    sample.m_decodedBytes = std::move(owned);
    return sample;
}

H264Sample& H264Sample::h264Data(const std::uint8_t* bytes, std::int32_t h264Size, std::int32_t screenSeq) {
    m_pH264 = bytes;
    m_nH264Size = h264Size;
    m_nScreenSeq = screenSeq;
    m_decodedBytes.reset();
    return *this;
}

Bytes H264Sample::archive() const {
    KeyedArchiver out(kClassName);
    out.encodeBytes("h264", copyBytes(m_pH264, m_nH264Size));
    out.encodeInt("h264Size", m_nH264Size);
    out.encodeInt("screenSeq", m_nScreenSeq);
    return out.finish();
}

std::optional<H264Sample> H264Sample::unarchive(const Bytes& archive) {
    auto in = KeyedUnarchiver::open(archive, kClassName);
    if (!in) {
        platform::logf("[ZQ]H264Sample archive refused (%zu bytes)", archive.size());
        return std::nullopt;
    }
    auto bytes = in->decodeBytes("h264");
    auto size = decodeInt32(*in, "h264Size");
    auto seq = decodeInt32(*in, "screenSeq");
    if (!bytes || !size || !seq || !sizeMatches(*bytes, *size)) {
        platform::logf("[ZQ]H264Sample archive incomplete or inconsistent");
        return std::nullopt;
    }
    H264Sample sample;
    auto owned = std::make_shared<const Bytes>(std::move(*bytes));
    sample.h264Data(owned->empty() ? nullptr : owned->data(), *size, *seq);
    sample.m_decodedBytes = std::move(owned);
    return sample;
}

} // namespace client
