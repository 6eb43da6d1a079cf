// The frame reader on an arbitrary byte stream: the bytes arrive through a socket, and frames are
// read one after another (sync word, length, body) until the stream ends or a frame breaks the
// rules. The receive buffers persist across inputs, as a link's do.
#include "platform/Log.h"
#include "transport/PacketCodec.h"
#include "transport/TCPServerInterface.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// More frames than the longest input can hold (the smallest frame is nine bytes).
constexpr int kMaxFramesPerInput = 1 << 16;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::setLogSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static transport::ReceiveBuffers buffers;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return 0;
    // A fuzz input fits the socket's buffer, so it is written whole before reading starts.
    const int bufferBytes = 1 << 20;
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fds[1], data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    shutdown(fds[1], SHUT_WR);
    {
        transport::TCPServerInterface server;
        server.m_socket.Attach(fds[0]);
        for (int i = 0; i < kMaxFramesPerInput; ++i) {
            transport::SReceiveData record;
            transport::ReceivePacket(server, record, buffers);
            if (record.nStatus == -1)
                break;
            // A read frame is parsed (status 0) or dropped as type 0, never half.
            if (record.nStatus != 0 || (record.nType == 0 && !record.strCode.empty()))
                __builtin_trap();
            if (record.strCode.size() > 9 || record.pBlockList.size() != record.nBlockCount)
                __builtin_trap();
        }
    }
    close(fds[0]);
    close(fds[1]);
    return 0;
}
