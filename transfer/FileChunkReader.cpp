#include "transfer/FileChunkReader.h"

#include "platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace transfer {

FileChunkReader::OpenResult FileChunkReader::open(const std::string& path,
                                                  std::unique_ptr<FileChunkReader>& reader) {
    reader.reset();
    struct stat st {};
    // Looked at before opening: opening a FIFO or a device could block or have effects.
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return OpenResult::NotRegularFile;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        platform::logf("[ZQ]Could not open %s: %s", path.c_str(), std::strerror(errno));
        return OpenResult::Unreadable;
    }
    // The item may have been swapped between the look and the open.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return OpenResult::NotRegularFile;
    }
    reader.reset(new FileChunkReader(fd, static_cast<std::uint64_t>(st.st_size)));
    return OpenResult::Opened;
}

FileChunkReader::~FileChunkReader() {
    ::close(m_fd);
}

std::int32_t FileChunkReader::splitCount() const {
    const std::uint64_t count = (m_size + kPieceBytes - 1) / kPieceBytes;
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

bool FileChunkReader::readNext(std::vector<std::uint8_t>& out) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, m_size - m_offset));
    out.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(m_fd, out.data() + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            platform::logf("[ZQ]Reading the file to send failed at byte %llu: %s",
                           static_cast<unsigned long long>(m_offset + got),
                           n < 0 ? std::strerror(errno) : "the file ended early");
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    m_offset += got;
    return true;
}

} // namespace transfer
