// A console that stops reading while its commands keep coming: it sends "[MV00264]true" without
// pause, each answered with three text commands, and reads nothing. The answers wait in the direct
// link's send queue until what they hold reaches the queue's bound and the link ends. Reported: the
// process's peak resident memory above its level before the flood (peak_growth_MB) against the
// bound (bound_MB), the rest (over_bound_MB), and the commands the console got through.
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"
#include "support/PeerCodec.h"
#include "transport/TCPConnection.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <malloc.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;
// Commands written per call, so the console's side costs few system calls.
constexpr int kCommandsPerWrite = 512;
// Far longer than the flood takes; a link still up after it never met its bound.
constexpr auto kFloodLimit = std::chrono::seconds(60);
constexpr auto kPollPause = std::chrono::milliseconds(1);

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); 0 when it cannot be read.
long long statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stoll(line.substr(field.size() + 1));
    }
    return 0;
}

// Sets the process's peak resident size back to its present size (Linux 4.0 and later).
bool resetPeakResident() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

// Accepts one link, then writes the same command into it until the link fails; never reads.
class FloodingConsole {
public:
    explicit FloodingConsole(const testsupport::Bytes& command) {
        for (int i = 0; i < kCommandsPerWrite; ++i)
            m_burst.insert(m_burst.end(), command.begin(), command.end());
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(m_listener, 1) == 0 &&
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~FloodingConsole() {
        shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        close(m_listener);
    }
    int port() const { return m_port; }
    void start() {
        m_thread = std::thread([this] {
            const int link = accept(m_listener, nullptr, nullptr);
            while (link >= 0) {
                std::size_t done = 0;
                while (done < m_burst.size()) {
                    const ssize_t n = send(link, m_burst.data() + done, m_burst.size() - done, MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    done += static_cast<std::size_t>(n);
                }
                if (done < m_burst.size())
                    break;
                m_commands += kCommandsPerWrite;
            }
            if (link >= 0)
                close(link);
        });
    }
    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    long long commands() const { return m_commands.load(); }

private:
    testsupport::Bytes m_burst;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<long long> m_commands{0};
};

void BM_CommandFloodToAConsoleThatStoppedReading(benchmark::State& state) {
    platform::ManualRunLoop loop;
    loop.install();
    // The flood logs a line per command; the system log is spared it.
    platform::setLogSink([](const std::string&) {});
    const auto command = testsupport::textBody("[MV00264]true");
    if (!command) {
        state.SkipWithError("command not built");
        return;
    }
    const testsupport::Bytes frame = testsupport::frame(*command);
    double growth = 0;
    long long commands = 0;
    for (auto _ : state) {
        FloodingConsole console(frame);
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kServerIp, "127.0.0.1");
        settings->setString(client::settings::kServerPort, std::to_string(console.port()));
        platform::NotificationCenter center;
        auto studentClient = client::StudentClient::create(center);
        console.start();
        if (!studentClient->connectToServer()) {
            state.SkipWithError("no link");
            break;
        }
        auto link = studentClient->getMVConn();
        malloc_trim(0);
        const long long before = statusKilobytes("VmRSS");
        if (!resetPeakResident()) {
            state.SkipWithError("peak resident size cannot be reset");
            break;
        }
        const auto deadline = std::chrono::steady_clock::now() + kFloodLimit;
        while (link->isConnect() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kPollPause);
        const bool ended = !link->isConnect();
        const long long peak = statusKilobytes("VmHWM");
        studentClient->teardown();
        link->JoinThreads();
        console.join();
        if (!ended) {
            state.SkipWithError("the link never ended");
            break;
        }
        growth = static_cast<double>(peak - before) / 1024.0;
        commands = console.commands();
    }
    platform::setLogSink({});
    const double bound = static_cast<double>(transport::kMaxQueuedBytes) / kMegabyte;
    state.counters["peak_growth_MB"] = growth;
    state.counters["bound_MB"] = bound;
    state.counters["over_bound_MB"] = growth - bound;
    state.counters["commands"] = static_cast<double>(commands);
}
BENCHMARK(BM_CommandFloodToAConsoleThatStoppedReading)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace
