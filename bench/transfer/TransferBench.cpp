// A 100 MB file both ways over loopback. Receiving: the scripted console sends it in pieces of
// 307,200 bytes, each after the acknowledgement of the one before, into the piece writer on the
// client's receive thread; throughput and the peak of live heap bytes above the start. Sending: the
// file sender reads the file as it sends it, one piece a tick, to a console that discards what it
// reads; the peak of live heap bytes above the start, against the piece and the file size.
#include "client/CommandCatalogue.h"
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"
#include "support/ConsolePeer.h"
#include "support/PeerBodies.h"
#include "transfer/FileChunkReader.h"
#include "transfer/FileReceiver.h"
#include "transfer/FileSender.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <netinet/in.h>
#include <new>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// Live heap bytes of the whole process (every thread), and their peak.
namespace {
std::atomic<long long> g_liveBytes{0};
std::atomic<long long> g_peakBytes{0};

void countAllocated(void* p) {
    const long long now = g_liveBytes.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                          static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peakBytes.load();
    while (now > peak && !g_peakBytes.compare_exchange_weak(peak, now)) {
    }
}
} // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    countAllocated(p);
    return p;
}
void operator delete(void* p) noexcept {
    if (p) {
        g_liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
        std::free(p);
    }
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kFileBytes = 100ull * 1024 * 1024;
constexpr std::size_t kPieceBytes = transfer::FileChunkReader::kPieceBytes;
constexpr double kMegabyte = 1024.0 * 1024.0;

// Starts measuring: the peak from here on, above what is live now.
long long startPeak() {
    const long long base = g_liveBytes.load();
    g_peakBytes.store(base);
    return base;
}

fs::path scratch(const char* what) {
    const fs::path dir =
        fs::temp_directory_path() / (std::string("olvex-bench-") + what + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The receiving side of a direct session: a scripted console, a connected client and the file
// receiver observing its pieces, writing under root.
class ReceivingSession {
public:
    explicit ReceivingSession(const fs::path& root) {
        m_console.setFreeSlots(std::nullopt);
        if (!m_console.start())
            return;
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kServerIp, m_console.host());
        settings->setString(client::settings::kServerPort, std::to_string(m_console.port()));
        m_client = client::StudentClient::create(m_center);
        // The connect returns once the kernel completed the handshake, which may be before the
        // console's accept thread took the link; a piece sent before then has no link to go on.
        if (!m_client->connectToServer() || !m_console.waitForLinks(1))
            return;
        transfer::FileReceiver::Hooks hooks;
        hooks.transferPath = [root] { return root.string(); };
        hooks.acknowledge = [this] {
            m_client->sendCommand(client::command::kFileChunkAck, client::StudentClient::Link::Direct);
        };
        m_receiver = std::make_unique<transfer::FileReceiver>(settings, hooks);
        m_observers.add("POST_MSG_RECEIVED_FILE_DATA", nullptr,
                        [this](const platform::Notification&) { m_receiver->callbackOnReceivedFileData(); });
    }
    ~ReceivingSession() {
        m_observers.removeAll();
        if (!m_client)
            return;
        auto link = m_client->getMVConn();
        m_client->teardown();
        if (link)
            link->JoinThreads();
    }
    bool ready() const { return m_receiver != nullptr; }
    testsupport::ConsolePeer& console() { return m_console; }
    const transfer::FileReceiver& receiver() const { return *m_receiver; }

private:
    testsupport::ConsolePeer m_console;
    platform::NotificationCenter m_center;
    std::shared_ptr<client::StudentClient> m_client;
    std::unique_ptr<transfer::FileReceiver> m_receiver;
    platform::ObserverSet m_observers{m_center};
};

void BM_ReceiveHundredMegabytes(benchmark::State& state) {
    platform::ManualRunLoop loop;
    loop.install();
    const fs::path root = scratch("receive");
    auto session = std::make_unique<ReceivingSession>(root);
    if (!session->ready()) {
        state.SkipWithError("no session");
        return;
    }
    testsupport::ConsolePeer& console = session->console();
    testsupport::Bytes piece(kPieceBytes);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<std::uint8_t>(i * 31);
    const auto total = static_cast<std::uint32_t>(kFileBytes / kPieceBytes + 1);
    const std::size_t last = kFileBytes - (total - 1) * kPieceBytes;
    long long base = 0;
    for (auto _ : state) {
        base = startPeak();
        for (std::uint32_t seq = 0; seq <= total; ++seq) {
            const std::size_t size = seq + 1 < total ? kPieceBytes : (seq + 1 == total ? last : 0);
            auto body = testsupport::fileBody(total, seq, "big.bin",
                                              testsupport::Bytes(piece.begin(), piece.begin() + size));
            if (!console.sendBody(*body)) {
                state.SkipWithError("piece not sent");
                break;
            }
            if (!console.waitFor("[PC00010]", std::chrono::seconds(10))) {
                state.SkipWithError("no acknowledgement");
                break;
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
    state.counters["peak_heap_MB"] = static_cast<double>(g_peakBytes.load() - base) / kMegabyte;
    state.counters["piece_MB"] = kPieceBytes / kMegabyte;
    std::error_code error;
    const auto stored = fs::file_size(session->receiver().writer().filePath(), error);
    state.counters["file_MB"] = error ? 0.0 : static_cast<double>(stored) / kMegabyte;
    session.reset();
    fs::remove_all(root);
}
BENCHMARK(BM_ReceiveHundredMegabytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// One piece of 60 MiB, as large as a frame body may carry one, from the wire to the disk: the peak
// of live heap bytes above the start against the piece. The console's frame is built before the
// measuring starts, so only the agent's cost is counted (its body buffer included).
void BM_ReceiveOneLargePiece(benchmark::State& state) {
    constexpr std::size_t kLargePieceBytes = 60ull * 1024 * 1024;
    platform::ManualRunLoop loop;
    loop.install();
    const fs::path root = scratch("large-piece");
    auto session = std::make_unique<ReceivingSession>(root);
    if (!session->ready()) {
        state.SkipWithError("no session");
        return;
    }
    testsupport::ConsolePeer& console = session->console();
    long long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        testsupport::Bytes frame;
        {
            testsupport::Bytes data(kLargePieceBytes);
            for (std::size_t i = 0; i < data.size(); ++i)
                data[i] = static_cast<std::uint8_t>(i * 31);
            frame = testsupport::frame(*testsupport::fileBody(1, 0, "large.bin", data));
        }
        state.ResumeTiming();
        const long long base = startPeak();
        if (!console.sendRaw(frame)) {
            state.SkipWithError("piece not sent");
            break;
        }
        if (!console.waitFor("[PC00010]", std::chrono::seconds(30))) {
            state.SkipWithError("no acknowledgement");
            break;
        }
        peak = std::max(peak, g_peakBytes.load() - base);
        console.sendBody(*testsupport::fileBody(1, 1, "large.bin", {}));
        console.waitFor("[PC00010]", std::chrono::seconds(10));
    }
    state.counters["peak_heap_MB"] = static_cast<double>(peak) / kMegabyte;
    state.counters["piece_MB"] = kLargePieceBytes / kMegabyte;
    state.counters["peak_per_piece"] = static_cast<double>(peak) / static_cast<double>(kLargePieceBytes);
    session.reset();
    fs::remove_all(root);
}
BENCHMARK(BM_ReceiveOneLargePiece)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// A console that reads and drops everything, so only the agent's memory is measured.
class DiscardingConsole {
public:
    bool start() {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listener, 1) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int link = accept(m_listener, nullptr, nullptr);
            static char buffer[1 << 16];
            while (link >= 0) {
                const ssize_t n = read(link, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                m_read += static_cast<std::size_t>(n);
            }
            if (link >= 0)
                close(link);
        });
        return true;
    }
    ~DiscardingConsole() {
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_port; }
    std::size_t bytesRead() const { return m_read.load(); }

private:
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<std::size_t> m_read{0};
};

void BM_SendHundredMegabytes(benchmark::State& state) {
    platform::ManualRunLoop loop;
    loop.install();
    const fs::path dir = scratch("send");
    const fs::path path = dir / "big.bin";
    {
        std::ofstream out(path, std::ios::binary);
        std::vector<char> block(1 << 20, 'x');
        for (std::size_t written = 0; written < kFileBytes; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    DiscardingConsole console;
    if (!console.start()) {
        state.SkipWithError("console did not start");
        return;
    }
    auto settings = platform::UserDefaults::suite();
    settings->setString(client::settings::kServerIp, "127.0.0.1");
    settings->setString(client::settings::kServerPort, std::to_string(console.port()));
    settings->setString(client::settings::kSlot, "3");
    settings->setString(client::settings::kAlias, "Kim");
    platform::NotificationCenter center;
    auto studentClient = client::StudentClient::create(center);
    if (!studentClient->connectToServer()) {
        state.SkipWithError("no link");
        return;
    }
    auto link = studentClient->getMVConn();
    std::atomic<bool> sending{false};
    transfer::FileSender::Hooks hooks;
    hooks.studentClient = [&] { return studentClient; };
    long long base = 0;
    int ticks = 0;
    for (auto _ : state) {
        base = startPeak();
        auto sender = std::make_shared<transfer::FileSender>(center, sending, hooks);
        sender->startObserving();
        if (sender->sendFileToServer({path.string()}) != nullptr) {
            state.SkipWithError("drop refused");
            break;
        }
        while (sender->isRunning()) {
            // At the sender's own pace the link has sent a piece long before the next tick.
            while (link->PendingRequests() > 0)
                std::this_thread::yield();
            if (sender->queuedPieces() == 0 && !sender->readerFinished())
                std::this_thread::yield();
            else {
                loop.advance(transfer::FileSender::kTickSeconds);
                ++ticks;
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
    state.counters["peak_heap_MB"] = static_cast<double>(g_peakBytes.load() - base) / kMegabyte;
    state.counters["piece_MB"] = kPieceBytes / kMegabyte;
    state.counters["ticks"] = ticks;
    studentClient->teardown();
    link->JoinThreads();
    state.counters["console_MB"] = static_cast<double>(console.bytesRead()) / kMegabyte;
    fs::remove_all(dir);
}
BENCHMARK(BM_SendHundredMegabytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
