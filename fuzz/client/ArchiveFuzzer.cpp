// Keyed archives as the settings or a notification hand them over: the archive reader with every
// decode call, and the three archived records (file piece, screen update, H.264 piece) read back.
// Byte 0 bit 0 asks for the archive's checksum to be made right first, so mutations reach past
// the checksum into the entries; the rest is the archive.
#include "client/ArchivedRecords.h"
#include "platform/KeyedArchive.h"
#include "platform/Log.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr std::size_t kChecksumBytes = 8;
constexpr std::uint64_t kFnvOffsetBasis = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

// Rewrites the trailing FNV-1a 64 checksum over everything before it.
void fixChecksum(platform::Bytes& archive) {
    if (archive.size() < kChecksumBytes)
        return;
    std::uint64_t hash = kFnvOffsetBasis;
    for (std::size_t i = 0; i < archive.size() - kChecksumBytes; ++i) {
        hash ^= archive[i];
        hash *= kFnvPrime;
    }
    for (std::size_t i = 0; i < kChecksumBytes; ++i)
        archive[archive.size() - kChecksumBytes + i] = static_cast<std::uint8_t>(hash >> (8 * i));
}

void decodeEverything(const platform::KeyedUnarchiver& archive) {
    for (const char* key : {"file", "fileName", "fileSize", "fileTotalSplit", "fileSplitSeq", "bitmap",
                            "bitmapSize", "screenSplitCnt", "screenIndex", "screenSeq", "h264", ""}) {
        (void)archive.decodeInt(key);
        (void)archive.decodeDouble(key);
        (void)archive.decodeString(key);
        (void)archive.decodeBytes(key);
        (void)archive.decodeIntArray(key);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::setLogSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    platform::Bytes archive(data + 1, data + size);
    if (data[0] & 1)
        fixChecksum(archive);
    for (const char* name :
         {client::FileSample::kClassName, client::ImageSample::kClassName, client::H264Sample::kClassName}) {
        if (auto reader = platform::KeyedUnarchiver::open(archive, name)) {
            if (reader->className() != name)
                __builtin_trap();
            decodeEverything(*reader);
        }
    }
    if (auto file = client::FileSample::unarchive(archive)) {
        if (file->getFileSize() < 0 || (file->getFileSize() > 0 && !file->getFileSample()))
            __builtin_trap();
        // The decoded record's bytes must be readable over their whole stated length.
        volatile std::uint8_t sink = 0;
        for (std::int32_t i = 0; i < file->getFileSize(); ++i)
            sink = sink ^ file->getFileSample()[i];
        // And it archives again into something that reads back the same.
        auto again = client::FileSample::unarchive(file->archive());
        if (!again || again->getFileName() != file->getFileName() ||
            again->getFileSize() != file->getFileSize())
            __builtin_trap();
    }
    if (auto image = client::ImageSample::unarchive(archive)) {
        volatile std::uint8_t sink = 0;
        for (std::int32_t i = 0; i < image->getBitmapSize(); ++i)
            sink = sink ^ image->getScreenBitmap()[i];
        if (image->getBitmapSize() < 0)
            __builtin_trap();
    }
    if (auto h264 = client::H264Sample::unarchive(archive)) {
        volatile std::uint8_t sink = 0;
        for (std::int32_t i = 0; i < h264->getH264Size(); ++i)
            sink = sink ^ h264->getH264()[i];
    }
    return 0;
}
