// Memory one received packet costs: the peak of bytes held through operator new while a receive
// thread reads and parses one frame from a socket, with fresh receive buffers (so the body buffer
// is counted), for the largest text the agent accepts, a 64 MiB text, and a 64 MiB file chunk.
// Reported as counters: peak_bytes, body_bytes and their ratio. Time is secondary here.
#include "transport/PacketCodec.h"
#include "transport/TCPServerInterface.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};

void* countedNew(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p)
        throw std::bad_alloc();
    const auto now = g_live.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p))) +
                     static_cast<std::int64_t>(malloc_usable_size(p));
    auto peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void countedDelete(void* p) {
    if (!p)
        return;
    g_live.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)));
    std::free(p);
}

} // namespace

void* operator new(std::size_t size) {
    return countedNew(size);
}
void* operator new[](std::size_t size) {
    return countedNew(size);
}
void operator delete(void* p) noexcept {
    countedDelete(p);
}
void operator delete[](void* p) noexcept {
    countedDelete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedDelete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedDelete(p);
}

namespace {

constexpr std::size_t kLargestTextUnits = transport::kMaxTextUnits;
constexpr std::size_t kHugeBodyBytes = transport::kMaxBodyBytes;

void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A type-1 body of `units` UTF-16 units of 'x' after a code (the receiver never checks the digest
// or needs readable text to measure its cost; the cipher output is what it is).
std::vector<std::uint8_t> textBody(std::size_t units) {
    std::vector<std::uint8_t> body(transport::kTextFieldHeaderBytes + 2 * units, 0);
    body[0] = transport::kBodyTextCommand;
    putU32(body, 1, transport::kTextDigestUnits);
    putU32(body, 69, static_cast<std::uint32_t>(2 * units));
    std::vector<std::uint8_t> plain(2 * units, 0);
    for (std::size_t i = 0; i < units; ++i)
        plain[2 * i] = 'x';
    const auto& key = transport::TextKey();
    transport::Rc4Apply(key.data(), key.size(), plain.data(), plain.size());
    std::copy(plain.begin(), plain.end(), body.begin() + transport::kTextFieldHeaderBytes);
    return body;
}

std::vector<std::uint8_t> fileBody(std::size_t dataBytes) {
    std::vector<std::uint8_t> body(21 + 2 + dataBytes, 0);
    body[0] = transport::kBodyFileChunk;
    putU32(body, 1, 3);
    putU32(body, 5, 1);
    putU32(body, 13, 1);
    body[17] = 'f';
    putU32(body, 19, static_cast<std::uint32_t>(dataBytes));
    return body;
}

std::vector<std::uint8_t> frameOf(const std::vector<std::uint8_t>& body) {
    transport::SRequestData request;
    request.pBuffer = body;
    request.nLength = body.size();
    return transport::BuildFrame(request, 0x5C);
}

// Receives one frame over a socket pair on this thread while a writer thread sends it.
void receiveOnce(benchmark::State& state, const std::vector<std::uint8_t>& frame, std::size_t bodyBytes) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        state.SkipWithError("socketpair failed");
        return;
    }
    auto server = std::make_unique<transport::TCPServerInterface>();
    server->m_socket.Attach(fds[0]);
    std::thread writer([&frame, fd = fds[1]] {
        std::size_t done = 0;
        while (done < frame.size()) {
            const ssize_t n = write(fd, frame.data() + done, frame.size() - done);
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    });
    const std::int64_t before = g_live.load();
    g_peak.store(before);
    {
        transport::ReceiveBuffers buffers;
        transport::SReceiveData record;
        transport::ReceivePacket(*server, record, buffers);
        benchmark::DoNotOptimize(record.nType);
    }
    const std::int64_t peak = g_peak.load() - before;
    writer.join();
    server.reset();
    close(fds[0]);
    close(fds[1]);
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["body_bytes"] = static_cast<double>(bodyBytes);
    state.counters["peak_per_body"] = static_cast<double>(peak) / static_cast<double>(bodyBytes);
}

void BM_ReceiveLargestAcceptedText(benchmark::State& state) {
    const auto body = textBody(kLargestTextUnits);
    const auto frame = frameOf(body);
    for (auto _ : state)
        receiveOnce(state, frame, body.size());
}
BENCHMARK(BM_ReceiveLargestAcceptedText)->Unit(benchmark::kMicrosecond);

void BM_Receive64MiBText(benchmark::State& state) {
    const auto body = textBody((kHugeBodyBytes - transport::kTextFieldHeaderBytes) / 2);
    const auto frame = frameOf(body);
    for (auto _ : state)
        receiveOnce(state, frame, body.size());
}
BENCHMARK(BM_Receive64MiBText)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Receive64MiBFileChunk(benchmark::State& state) {
    const auto body = fileBody(kHugeBodyBytes - 23);
    const auto frame = frameOf(body);
    for (auto _ : state)
        receiveOnce(state, frame, body.size());
}
BENCHMARK(BM_Receive64MiBFileChunk)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
