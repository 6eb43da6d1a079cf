// Reads a file the student sends, one piece at a time, so a file of any size costs a few pieces of
// memory. Opening checks that the item is a regular file (a folder, device or FIFO is refused
// without blocking). Used by one thread at a time: opened on the main thread at the drop, read on
// the sending worker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace transfer {

class FileChunkReader {
public:
    // Bytes per piece on the wire.
    static constexpr std::size_t kPieceBytes = 307200;

    enum class OpenResult { Opened, NotRegularFile, Unreadable };

    // Opens path for reading; reader is set only when the answer is Opened.
    static OpenResult open(const std::string& path, std::unique_ptr<FileChunkReader>& reader);
    ~FileChunkReader();
    FileChunkReader(const FileChunkReader&) = delete;
    FileChunkReader& operator=(const FileChunkReader&) = delete;

    std::uint64_t size() const { return m_size; }
    // The piece count: size / 307200 rounded up.
    std::int32_t splitCount() const;
    // Reads the next piece (up to 307200 bytes) into out; false on a read error or a file that
    // ended before its size.
    bool readNext(std::vector<std::uint8_t>& out);
    // True once the size has been read.
    bool atEnd() const { return m_offset >= m_size; }

private:
    FileChunkReader(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    int m_fd;
    std::uint64_t m_size;
    std::uint64_t m_offset = 0;
};

} // namespace transfer
