// Codec and link speed: text command encode/decode, parse of a 1 MB compressed tile body, and
// 1,000 packets of 300 KB through a connection object (queued within its bound) versus a plain
// loopback socket pair. The load
// of a shared machine swings within seconds: read link_share of BM_LinkVersusPlain, or run with
// --benchmark_repetitions and --benchmark_enable_random_interleaving.
#include "platform/NotificationCenter.h"
#include "transport/PacketCodec.h"
#include "transport/TCPServerClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <malloc.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::size_t kTileImageBytes = 1024 * 1024;
constexpr std::uint32_t kTileBlocks = 64;
constexpr int kLinkPackets = 1000;
constexpr std::size_t kLinkPacketBytes = 300 * 1024;
constexpr std::size_t kFrameOverhead = 8 + 13; // frame header + H.264 body header

void BM_EncodeTextCommand(benchmark::State& state) {
    transport::SRequestData request;
    for (auto _ : state) {
        transport::EncodeTextCommand(request, "[PC00004]1920,1080");
        benchmark::DoNotOptimize(request.pBuffer.data());
    }
}
BENCHMARK(BM_EncodeTextCommand);

void BM_DecodeTextCommand(benchmark::State& state) {
    transport::SRequestData request;
    transport::EncodeTextCommand(request, "[PC00004]1920,1080");
    transport::ReceiveBuffers buffers;
    for (auto _ : state) {
        transport::SReceiveData record;
        transport::ParseBody(request.pBuffer.data(), request.nLength, record, buffers);
        benchmark::DoNotOptimize(record.strParams.data());
    }
}
BENCHMARK(BM_DecodeTextCommand);

std::vector<std::uint8_t> TileBody() {
    std::vector<std::uint8_t> payload(12 + 4 * kTileBlocks + kTileImageBytes);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            payload[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(4, kTileBlocks);
    for (std::uint32_t i = 0; i < kTileBlocks; ++i)
        put(8 + 4 * i, i);
    put(8 + 4 * kTileBlocks, kTileImageBytes);
    std::mt19937 rng(7); // image bytes compress about as badly as JPEG data does
    for (std::size_t i = 12 + 4 * kTileBlocks; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(rng() & 0x3F);
    uLongf zLen = compressBound(payload.size());
    std::vector<std::uint8_t> body(13 + zLen);
    compress(body.data() + 13, &zLen, payload.data(), payload.size());
    body.resize(13 + zLen);
    body[0] = 12;
    for (int i = 0; i < 4; ++i) {
        body[1 + i] = static_cast<std::uint8_t>(payload.size() >> (8 * i));
        body[5 + i] = static_cast<std::uint8_t>(zLen >> (8 * i));
    }
    return body;
}

void BM_ParseCompressedTile(benchmark::State& state) {
    const std::vector<std::uint8_t> body = TileBody();
    transport::ReceiveBuffers buffers;
    for (auto _ : state) {
        transport::SReceiveData record;
        transport::ParseBody(body.data(), body.size(), record, buffers);
        benchmark::DoNotOptimize(record.pDibData.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
    state.counters["compressed_bytes"] = static_cast<double>(body.size());
}
BENCHMARK(BM_ParseCompressedTile)->Unit(benchmark::kMillisecond);

// glibc hands each 300 KB buffer its own mapping until the first one is freed, and gives the heap
// top back to the kernel whenever 300 MB of freed packets merge into it. Either lands inside the
// clock of whichever row happens to run first or to leave the heap tidy, which measured the
// allocator instead of the link (the first row ran at a fifth of its later speed). Pinning both
// keeps every row on the same warm heap.
constexpr int kMmapThresholdBytes = 32 * 1024 * 1024; // glibc's largest allowed value
constexpr int kTrimThresholdBytes = 1024 * 1024 * 1024;
const bool kAllocatorPinned = [] {
    return mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes) == 1 &&
           mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes) == 1;
}();

constexpr std::size_t kDrainBufferBytes = 1 << 20;
constexpr int kListenBacklog = 4;

// A loopback listener and its accepted peer, drained by a thread that is already waiting in recv
// (with its buffer allocated) before the clock runs; every row uses the same receiver.
class Sink {
public:
    Sink() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        ::listen(listenFd_, kListenBacklog);
        socklen_t len = sizeof(addr);
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~Sink() {
        if (reader_.joinable())
            reader_.join();
        if (peerFd_ >= 0)
            ::close(peerFd_);
        ::close(listenFd_);
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    int port() const { return port_; }
    // Accepts the connection made to port() and starts draining total bytes.
    void AcceptAndDrain(std::size_t total) {
        peerFd_ = ::accept(listenFd_, nullptr, nullptr);
        reader_ = std::thread([this, total] {
            std::size_t got = 0;
            while (got < total) {
                const ssize_t rc = ::recv(peerFd_, buffer_.data(), buffer_.size(), 0);
                if (rc <= 0)
                    break;
                got += static_cast<std::size_t>(rc);
            }
            received_ = got;
        });
    }
    // Waits until the drain has ended; answers the bytes it received.
    std::size_t Wait() {
        reader_.join();
        return received_;
    }

private:
    int listenFd_ = -1;
    int peerFd_ = -1;
    int port_ = 0;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kDrainBufferBytes);
    std::thread reader_;
    std::size_t received_ = 0;
};

using Requests = std::vector<std::unique_ptr<transport::SRequestData>>;

constexpr std::size_t kLinkTotalBytes = kLinkPackets * (kLinkPacketBytes + kFrameOverhead);
constexpr std::size_t kRequestAllocBytes = kLinkPacketBytes + 512;

// The link rows' packets: 1,000 H.264 requests, each its own allocation, as the encoder hands them.
Requests BuildRequests() {
    const std::vector<std::uint8_t> payload(kLinkPacketBytes, 0x5A);
    Requests requests;
    for (int i = 0; i < kLinkPackets; ++i) {
        auto request = transport::newRequestData(static_cast<int>(kRequestAllocBytes));
        transport::TCPServerClient::MakeSendPacketH264(*request, payload.data(),
                                                       static_cast<int>(payload.size()), i);
        requests.push_back(std::move(request));
    }
    return requests;
}

// The plain row's packets: the very frames the link writes (header joined to body), held the same
// way, one request object and one buffer per packet.
Requests BuildPlainFrames() {
    Requests frames = BuildRequests();
    for (auto& frame : frames) {
        auto whole = std::make_unique<transport::SRequestData>();
        whole->pBuffer = transport::BuildFrame(*frame, 0);
        whole->nLength = whole->pBuffer.size();
        frame = std::move(whole);
    }
    return frames;
}

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    return fd;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The 300 MB of a pass are more than a link holds unsent (past its bound it ends as lost), so the
// pass queues as the agent's own senders do, waiting while the link holds this much: half the
// bound keeps the send thread busy for milliseconds, far longer than one pause on a busy machine.
constexpr std::uint64_t kLinkBacklogBytes = transport::kMaxQueuedBytes / 2;
constexpr auto kBacklogPause = std::chrono::microseconds(50);

// One pass through a connection object whose send thread is already up and idle, as it is in
// use: the clock covers queueing, the send thread's writes and the receiver taking the last byte.
double LinkPass(platform::NotificationCenter& center, benchmark::State& state) {
    Requests requests = BuildRequests();
    Sink sink;
    auto link = transport::TCPServerClient::create(center);
    link->Open();
    link->Connect("127.0.0.1", sink.port());
    sink.AcceptAndDrain(kLinkTotalBytes);
    link->StartRequestThread();
    const auto start = Clock::now();
    for (auto& request : requests) {
        while (link->PendingBytes() > kLinkBacklogBytes)
            std::this_thread::sleep_for(kBacklogPause);
        if (!link->Send(std::move(request))) {
            link->Close(); // the drain then ends short and the row says so below
            break;
        }
    }
    const std::size_t received = sink.Wait();
    const double seconds = Seconds(start, Clock::now());
    link->Close();
    link->JoinThreads();
    if (received != kLinkTotalBytes)
        state.SkipWithError("link pass lost bytes");
    return seconds;
}

// The frame writer alone, on the calling thread: the cost of framing without queue or send thread.
double FrameWriterPass(benchmark::State& state) {
    Requests requests = BuildRequests();
    Sink sink;
    transport::TCPServerInterface server;
    server.m_socket.Create();
    server.Connect("127.0.0.1", sink.port());
    sink.AcceptAndDrain(kLinkTotalBytes);
    const auto start = Clock::now();
    for (auto& request : requests) {
        transport::SendPacket(server, *request);
        request.reset();
    }
    const std::size_t received = sink.Wait();
    const double seconds = Seconds(start, Clock::now());
    if (received != kLinkTotalBytes)
        state.SkipWithError("frame writer pass lost bytes");
    return seconds;
}

// The same frames written by one thread calling send directly, each freed once written as the
// link frees its requests.
double PlainPass(benchmark::State& state) {
    Requests frames = BuildPlainFrames();
    Sink sink;
    const int fd = ConnectTo(sink.port());
    sink.AcceptAndDrain(kLinkTotalBytes);
    const auto start = Clock::now();
    for (auto& frame : frames) {
        const std::uint8_t* bytes = frame->pBuffer.data();
        const std::size_t size = frame->pBuffer.size();
        std::size_t done = 0;
        while (done < size) {
            const ssize_t rc = ::send(fd, bytes + done, size - done, MSG_NOSIGNAL);
            if (rc <= 0)
                break;
            done += static_cast<std::size_t>(rc);
        }
        frame.reset();
    }
    const std::size_t received = sink.Wait();
    const double seconds = Seconds(start, Clock::now());
    ::close(fd);
    if (received != kLinkTotalBytes)
        state.SkipWithError("plain pass lost bytes");
    return seconds;
}

// The first pass of a process runs several times slower than every later one whichever row makes
// it (fresh heap pages, the kernel's first socket buffers for the process), so one untimed plain
// pass runs before the first row.
void Prepare(benchmark::State& state) {
    if (!kAllocatorPinned) // sanitizer allocators ignore mallopt: the row still runs, marked
        state.SetLabel("allocator not pinned");
    static const double warmUp = PlainPass(state);
    (void)warmUp;
}

void BM_LinkThroughput(benchmark::State& state) {
    Prepare(state);
    platform::NotificationCenter center;
    for (auto _ : state)
        state.SetIterationTime(LinkPass(center, state));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLinkTotalBytes));
}
BENCHMARK(BM_LinkThroughput)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_FrameWriterThroughput(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state)
        state.SetIterationTime(FrameWriterPass(state));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLinkTotalBytes));
}
BENCHMARK(BM_FrameWriterThroughput)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_PlainSocketThroughput(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state)
        state.SetIterationTime(PlainPass(state));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLinkTotalBytes));
}
BENCHMARK(BM_PlainSocketThroughput)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Link, frame-writer and plain passes rotated inside one run, so a load swing on a shared machine
// hits all alike; link_share is the link's bytes per second as a share of the plain pair's
// (medians of the passes).
void BM_LinkVersusPlain(benchmark::State& state) {
    Prepare(state);
    platform::NotificationCenter center;
    constexpr int kKinds = 3;
    std::vector<double> times[kKinds];
    int turn = 0;
    for (auto _ : state) {
        double iteration = 0;
        for (int k = 0; k < kKinds; ++k) {
            const int kind = (turn + k) % kKinds;
            const double t = kind == 0   ? LinkPass(center, state)
                             : kind == 1 ? FrameWriterPass(state)
                                         : PlainPass(state);
            times[kind].push_back(t);
            iteration += t;
        }
        ++turn;
        state.SetIterationTime(iteration);
    }
    if (times[0].empty())
        return;
    const double bytes = static_cast<double>(kLinkTotalBytes);
    state.counters["link_bytes_per_second"] = bytes / Median(times[0]);
    state.counters["writer_bytes_per_second"] = bytes / Median(times[1]);
    state.counters["plain_bytes_per_second"] = bytes / Median(times[2]);
    state.counters["link_share"] = Median(times[2]) / Median(times[0]);
}
BENCHMARK(BM_LinkVersusPlain)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

} // namespace
