// Memory one received packet costs: the peak of bytes held through operator new while a receive
// thread reads and parses one frame from a socket, with fresh receive buffers (so the body buffer
// is counted), for the largest text the agent accepts, a 64 MiB text, a 64 MiB file chunk and a
// 64 MiB H.264 frame; a compressed strip bomb (61 KB inflating to 60 MiB of zeros) beside a real
// full-width strip of a 1920 x 1080 answer-mode screen, both under the bounds that screen's
// announcement sets; and one 60 MiB H.264 frame through a whole session, from the console's socket
// to the archive the viewer keeps. Reported as counters: peak_bytes, body_bytes and their ratio,
// and for the strips the time.
#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/ConsolePeer.h"
#include "support/PeerBodies.h"
#include "transport/PacketCodec.h"
#include "transport/ScreenUpdateLimits.h"
#include "transport/TCPServerInterface.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <malloc.h>
#include <mutex>
#include <new>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

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
void receiveOnce(benchmark::State& state, const std::vector<std::uint8_t>& frame, std::size_t bodyBytes,
                 std::shared_ptr<const transport::ScreenUpdateLimits> limits = {}) {
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
    const auto start = std::chrono::steady_clock::now();
    {
        transport::ReceiveBuffers buffers;
        buffers.limits = std::move(limits);
        transport::SReceiveData record;
        transport::ReceivePacket(*server, record, buffers);
        benchmark::DoNotOptimize(record.nType);
        state.counters["parsed_type"] = record.nType;
    }
    state.counters["receive_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
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

std::vector<std::uint8_t> h264Body(std::size_t frameBytes) {
    std::vector<std::uint8_t> body(13 + frameBytes, 0);
    body[0] = transport::kBodyH264;
    putU32(body, 1, static_cast<std::uint32_t>(frameBytes));
    putU32(body, 5, 1);
    return body;
}

void BM_Receive64MiBH264Frame(benchmark::State& state) {
    const auto body = h264Body(kHugeBodyBytes - 13);
    const auto frame = frameOf(body);
    for (auto _ : state)
        receiveOnce(state, frame, body.size());
}
BENCHMARK(BM_Receive64MiBH264Frame)->Unit(benchmark::kMillisecond)->Iterations(3);

// A type-12 body around a payload: unread word, the tile list, the image size and bytes.
std::vector<std::uint8_t> stripBody(const std::vector<std::uint32_t>& tiles,
                                    const std::vector<std::uint8_t>& image, std::size_t zeroPicture = 0) {
    std::vector<std::uint8_t> payload(8 + 4 * tiles.size() + 4, 0);
    putU32(payload, 4, static_cast<std::uint32_t>(tiles.size()));
    for (std::size_t i = 0; i < tiles.size(); ++i)
        putU32(payload, 8 + 4 * i, tiles[i]);
    const std::size_t pictureBytes = image.empty() ? zeroPicture : image.size();
    putU32(payload, 8 + 4 * tiles.size(), static_cast<std::uint32_t>(pictureBytes));
    if (image.empty())
        payload.resize(payload.size() + zeroPicture, 0);
    else
        payload.insert(payload.end(), image.begin(), image.end());
    uLongf zLen = compressBound(static_cast<uLong>(payload.size()));
    std::vector<std::uint8_t> body(13 + zLen, 0);
    compress(body.data() + 13, &zLen, payload.data(), static_cast<uLong>(payload.size()));
    body.resize(13 + zLen);
    body[0] = transport::kBodyCompressedScreen;
    putU32(body, 1, static_cast<std::uint32_t>(payload.size()));
    putU32(body, 5, static_cast<std::uint32_t>(zLen));
    putU32(body, 9, 1);
    return body;
}

// The bounds a 1920 x 1080 answer-mode screen sets: 16 x 8 tiles of 120 x 135.
std::shared_ptr<const transport::ScreenUpdateLimits> fullHdAnswerGrid() {
    constexpr std::uint64_t kTiles = 16 * 8;
    constexpr std::uint64_t kTilePixels = 120 * 135;
    auto limits = std::make_shared<transport::ScreenUpdateLimits>();
    limits->setGrid(kTiles, kTilePixels);
    return limits;
}

void BM_ReceiveBombStrip(benchmark::State& state) {
    constexpr std::size_t kInflated = 60u * 1024 * 1024;
    const auto body = stripBody({0}, {}, kInflated - 16);
    const auto frame = frameOf(body);
    for (auto _ : state)
        receiveOnce(state, frame, body.size(), fullHdAnswerGrid());
}
BENCHMARK(BM_ReceiveBombStrip)->Unit(benchmark::kMillisecond)->Iterations(5);

// One row of 16 tiles of a full-screen update: 64 KB of picture bytes (incompressible, as JPEG is).
void BM_ReceiveFullWidthStrip(benchmark::State& state) {
    constexpr std::size_t kPictureBytes = 64 * 1024;
    std::vector<std::uint8_t> picture(kPictureBytes);
    std::mt19937 random(7);
    for (auto& b : picture)
        b = static_cast<std::uint8_t>(random());
    std::vector<std::uint32_t> tiles;
    for (std::uint32_t t = 0; t < 16; ++t)
        tiles.push_back(t);
    const auto body = stripBody(tiles, picture);
    const auto frame = frameOf(body);
    for (auto _ : state)
        receiveOnce(state, frame, body.size(), fullHdAnswerGrid());
}
BENCHMARK(BM_ReceiveFullWidthStrip)->Unit(benchmark::kMillisecond)->Iterations(5);

// One frame of 60 MiB from a scripted console through a direct session: the link reads it, the
// client's handler archives it and posts it, and an observer keeps the archive as the viewer's list
// does. The console announces an encode size that allows the frame; its frame is built before the
// measuring starts, so only the agent's cost is counted (its body buffer included).
void BM_ReceiveOneLargeFrameThroughTheSession(benchmark::State& state) {
    constexpr std::size_t kFrameBytes = 60ull * 1024 * 1024;
    constexpr auto kWait = std::chrono::seconds(30);
    platform::ManualRunLoop loop;
    loop.install();
    testsupport::ConsolePeer console;
    console.setFreeSlots(std::nullopt);
    if (!console.start()) {
        state.SkipWithError("console did not start");
        return;
    }
    auto settings = platform::UserDefaults::suite();
    settings->setString(client::settings::kServerIp, console.host());
    settings->setString(client::settings::kServerPort, std::to_string(console.port()));
    platform::NotificationCenter center;
    auto studentClient = client::StudentClient::create(center);
    if (!studentClient->connectToServer() || !console.waitForLinks(1)) {
        state.SkipWithError("no link");
        return;
    }
    std::mutex keptMutex;
    std::shared_ptr<const platform::Dictionary> kept;
    std::atomic<int> frames{0};
    auto token =
        center.addObserver(client::events::kScreenH264Data, nullptr, [&](const platform::Notification& n) {
            std::lock_guard lock(keptMutex);
            kept = n.sharedDictionary();
            ++frames;
        });
    // 4096 x 4096 at four bytes a pixel allows 64 MiB; commands are handled in order, so once the
    // answer-mode reply is back the encode size is known to the link.
    console.sendText("[MV00265]4096,4096");
    console.sendText("[MV00107]true");
    if (!console.waitFor("[AN00004]")) {
        state.SkipWithError("no answer");
        return;
    }
    std::int64_t peak = 0;
    int sent = 0;
    for (auto _ : state) {
        state.PauseTiming();
        testsupport::Bytes frame;
        {
            testsupport::Bytes data(kFrameBytes);
            for (std::size_t i = 0; i < data.size(); ++i)
                data[i] = static_cast<std::uint8_t>(i * 31);
            frame = testsupport::frame(testsupport::h264Body(static_cast<std::uint32_t>(sent + 1), 0, data));
        }
        {
            std::lock_guard lock(keptMutex);
            kept.reset();
        }
        state.ResumeTiming();
        const std::int64_t before = g_live.load();
        g_peak.store(before);
        console.sendRaw(frame);
        ++sent;
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (frames.load() < sent && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (frames.load() < sent) {
            state.SkipWithError("frame not posted");
            break;
        }
        peak = std::max(peak, g_peak.load() - before);
    }
    center.removeObserver(token);
    {
        std::lock_guard lock(keptMutex);
        kept.reset();
    }
    auto link = studentClient->getMVConn();
    studentClient->teardown();
    if (link)
        link->JoinThreads();
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["body_bytes"] = static_cast<double>(kFrameBytes);
    state.counters["peak_per_body"] = static_cast<double>(peak) / static_cast<double>(kFrameBytes);
}
BENCHMARK(BM_ReceiveOneLargeFrameThroughTheSession)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

} // namespace
