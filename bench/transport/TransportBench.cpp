// Codec and link speed: text command encode/decode, parse of a 1 MB compressed tile body, and
// 1,000 packets of 300 KB through a connection object versus a plain loopback socket pair.
#include "platform/NotificationCenter.h"
#include "transport/PacketCodec.h"
#include "transport/TCPServerClient.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
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

// A loopback listener plus a thread that reads and discards a byte count.
struct Sink {
    int listenFd = -1;
    int port = 0;
    Sink() {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        ::listen(listenFd, 4);
        socklen_t len = sizeof(addr);
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
    }
    ~Sink() { ::close(listenFd); }
    static void Drain(int fd, std::size_t total) {
        std::vector<std::uint8_t> buffer(1 << 20);
        std::size_t got = 0;
        while (got < total) {
            const ssize_t rc = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (rc <= 0)
                break;
            got += static_cast<std::size_t>(rc);
        }
    }
};

// The requests are built before the clock runs, so the two rows compare moving the same bytes:
// queue, send thread and frame writer against one thread calling send directly.
void BM_LinkThroughput(benchmark::State& state) {
    const std::vector<std::uint8_t> payload(kLinkPacketBytes, 0x5A);
    const std::size_t total = kLinkPackets * (kLinkPacketBytes + kFrameOverhead);
    platform::NotificationCenter center;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<transport::SRequestData>> requests;
        for (int i = 0; i < kLinkPackets; ++i) {
            auto request = transport::newRequestData(static_cast<int>(kLinkPacketBytes + 512));
            transport::TCPServerClient::MakeSendPacketH264(*request, payload.data(),
                                                           static_cast<int>(payload.size()), i);
            requests.push_back(std::move(request));
        }
        Sink sink;
        auto link = transport::TCPServerClient::create(center);
        link->Open();
        link->Connect("127.0.0.1", sink.port);
        const int peer = ::accept(sink.listenFd, nullptr, nullptr);
        state.ResumeTiming();
        std::thread reader(Sink::Drain, peer, total);
        link->StartRequestThread();
        for (auto& request : requests)
            link->Send(std::move(request));
        reader.join();
        state.PauseTiming();
        link->Close();
        link->JoinThreads();
        ::close(peer);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(BM_LinkThroughput)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The frame writer alone, on the calling thread: separates the cost of framing from that of the
// queue and send thread.
void BM_FrameWriterThroughput(benchmark::State& state) {
    const std::vector<std::uint8_t> payload(kLinkPacketBytes, 0x5A);
    const std::size_t total = kLinkPackets * (kLinkPacketBytes + kFrameOverhead);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<transport::SRequestData>> requests;
        for (int i = 0; i < kLinkPackets; ++i) {
            auto request = transport::newRequestData(static_cast<int>(kLinkPacketBytes + 512));
            transport::TCPServerClient::MakeSendPacketH264(*request, payload.data(),
                                                           static_cast<int>(payload.size()), i);
            requests.push_back(std::move(request));
        }
        Sink sink;
        transport::TCPServerInterface server;
        server.m_socket.Create();
        server.Connect("127.0.0.1", sink.port);
        const int peer = ::accept(sink.listenFd, nullptr, nullptr);
        state.ResumeTiming();
        std::thread reader(Sink::Drain, peer, total);
        for (auto& request : requests) {
            transport::SendPacket(server, *request);
            request.reset();
        }
        reader.join();
        state.PauseTiming();
        ::close(peer);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(BM_FrameWriterThroughput)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The same bytes as the link row: 1,000 separately allocated frames, built before the clock runs.
void BM_PlainSocketThroughput(benchmark::State& state) {
    const std::size_t frameBytes = kLinkPacketBytes + kFrameOverhead;
    const std::size_t total = kLinkPackets * frameBytes;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::vector<std::uint8_t>> frames;
        for (int i = 0; i < kLinkPackets; ++i)
            frames.emplace_back(frameBytes, 0x5A);
        Sink sink;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(sink.port));
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        const int peer = ::accept(sink.listenFd, nullptr, nullptr);
        state.ResumeTiming();
        std::thread reader(Sink::Drain, peer, total);
        for (auto& frame : frames) {
            std::size_t done = 0;
            while (done < frame.size()) {
                const ssize_t rc = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
                if (rc <= 0)
                    break;
                done += static_cast<std::size_t>(rc);
            }
            std::vector<std::uint8_t>().swap(frame); // freed once written, as the link frees requests
        }
        reader.join();
        state.PauseTiming();
        ::close(fd);
        ::close(peer);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(BM_PlainSocketThroughput)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
