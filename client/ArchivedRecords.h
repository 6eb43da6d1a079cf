// Records that travel between the client object and the windows as keyed archives: a received or
// sent file piece (FileSample), a teacher screen update (ImageSample) and a teacher H.264 frame
// (H264Sample). A record borrows the bytes it was built over; its archive holds its own copy, and a
// decoded record keeps the archive's bytes alive for as long as it (or a copy) exists.
// Plain values: one thread at a time.
#pragma once

#include "platform/KeyedArchive.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace client {

class FileSample {
public:
    static constexpr const char* kClassName = "FileSample";

    FileSample() = default;
    // Stores the five values; the bytes are borrowed, not copied.
    FileSample& fileData(const std::uint8_t* data, std::int32_t fileSize, std::string fileName,
                         std::int32_t totalFileSplitCnt, std::int32_t fileSplitSeq);

    const std::uint8_t* getFileSample() const { return m_pFileSample; }
    const std::string& getFileName() const { return m_strFileName; }
    std::int32_t getFileSize() const { return m_nFileSize; }
    std::int32_t getTotalFileSplitCnt() const { return m_nTotalFileSplitCnt; }
    std::int32_t getFileSplitSeq() const { return m_nFileSplitSeq; }

    platform::Bytes archive() const;
    // The archive of a piece whose bytes are handed over: they move into it, never copied, so a
    // piece of many megabytes costs its archive and nothing more once this returns.
    static platform::Bytes archive(platform::Bytes&& data, std::string fileName,
                                   std::int32_t totalFileSplitCnt, std::int32_t fileSplitSeq);
    // Empty (and logged) unless the bytes are a complete, consistent FileSample archive.
    static std::optional<FileSample> unarchive(const platform::Bytes& archive);
    // As above for an archive handed over: it is released once read, and the bytes move out of it.
    static std::optional<FileSample> unarchive(platform::Bytes&& archive);

private:
    // Reads archive; releaseOnceOpen, when given, is emptied as soon as the archive has been read.
    static std::optional<FileSample> unarchiveFrom(const platform::Bytes& archive,
                                                   platform::Bytes* releaseOnceOpen);

    const std::uint8_t* m_pFileSample = nullptr;
    std::string m_strFileName;
    std::int32_t m_nFileSize = 0;
    std::int32_t m_nTotalFileSplitCnt = 0;
    std::int32_t m_nFileSplitSeq = 0;
    std::shared_ptr<const platform::Bytes> m_decodedBytes;
};

class ImageSample {
public:
    static constexpr const char* kClassName = "ImageSample";

    ImageSample() = default;
    // Stores the pointer, size and count, copies the count tile indexes (none when count < 1) and
    // stores the sequence.
    ImageSample& bitmap(const std::uint8_t* bytes, std::int32_t bitmapSize, std::int32_t screenSplitCount,
                        const std::uint32_t* screenIndex, std::int32_t screenSeq);

    const std::uint8_t* getScreenBitmap() const { return m_pScreenBitmap; }
    std::int32_t getBitmapSize() const { return m_nBitmapSize; }
    std::int32_t getScreenSplitCount() const { return m_nScreenSplitCount; }
    const std::vector<std::int32_t>& getScreenIndexArray() const { return m_pScreenIndexArray; }
    std::int32_t getScreenSeq() const { return m_nScreenSeq; }

    platform::Bytes archive() const;
    // The same archive as text, the form the screen-data event carries (written once, no copy).
    std::string archiveText() const;
    static std::optional<ImageSample> unarchive(const platform::Bytes& archive);
    // Decodes without copying the picture: the record points into the archive, which owner keeps
    // alive for as long as the record (or a copy) exists. Without an owner the archive is copied.
    static std::optional<ImageSample> unarchive(std::span<const std::uint8_t> archive,
                                                std::shared_ptr<const void> owner = {});

private:
    platform::KeyedArchiver archiver() const;

    const std::uint8_t* m_pScreenBitmap = nullptr;
    std::int32_t m_nBitmapSize = 0;
    std::int32_t m_nScreenSplitCount = 0;
    std::vector<std::int32_t> m_pScreenIndexArray;
    std::int32_t m_nScreenSeq = 0;
    std::shared_ptr<const void> m_decodedBytes;
};

class H264Sample {
public:
    static constexpr const char* kClassName = "H264Sample";

    H264Sample() = default;
    H264Sample& h264Data(const std::uint8_t* bytes, std::int32_t h264Size, std::int32_t screenSeq);

    const std::uint8_t* getH264() const { return m_pH264; }
    std::int32_t getH264Size() const { return m_nH264Size; }
    std::int32_t getScreenSeq() const { return m_nScreenSeq; }

    platform::Bytes archive() const;
    std::string archiveText() const;
    // The archive, as text, of a frame whose bytes are handed over: they move into it and are gone
    // once this returns, so a frame of many megabytes is held at most twice, and only meanwhile.
    static std::string archiveText(platform::Bytes&& h264, std::int32_t screenSeq);
    static std::optional<H264Sample> unarchive(const platform::Bytes& archive);
    // As ImageSample's: the frame bytes stay in the archive that owner keeps alive.
    static std::optional<H264Sample> unarchive(std::span<const std::uint8_t> archive,
                                               std::shared_ptr<const void> owner = {});

private:
    platform::KeyedArchiver archiver() const;

    const std::uint8_t* m_pH264 = nullptr;
    std::int32_t m_nH264Size = 0;
    std::int32_t m_nScreenSeq = 0;
    std::shared_ptr<const void> m_decodedBytes;
};

// An archive carried as a dictionary value of a "POST_MSG_" event (values are byte strings).
// Screen updates pass here whole, many times a second: the copies go through pointers of one
// element type, so they are block copies rather than a loop converting byte by byte.
inline std::string archiveAsText(const platform::Bytes& bytes) {
    const auto* first = reinterpret_cast<const char*>(bytes.data());
    return std::string(first, first + bytes.size());
}
inline platform::Bytes archiveFromText(const std::string& text) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(text.data());
    return platform::Bytes(first, first + text.size());
}

} // namespace client
