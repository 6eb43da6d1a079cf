// Costs of the capture objects on a 1920x1080 frame, each up to the packet queued on a live link to
// a loopback reader that discards what it reads: the live JPEG image, the thumbnail, the H.264
// frame, and the CPU share of a whole live view (30 ticks a second, 10 images a second).
#include "DesktopFrame.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "streaming/H264Encoder.h"
#include "streaming/ScreenCaptureHelper.h"
#include "streaming/ScreenCaptureProcessor.h"
#include "streaming/ScreenUploader.h"
#include "streaming/SyntheticCaptureSource.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = bench::kDesktopWidth;
constexpr int kHeight = bench::kDesktopHeight;
constexpr int kReadBufferBytes = 1 << 20;
constexpr double kLiveViewSeconds = 3.0;

const streaming::PlainImage& desktop() {
    return bench::desktopFrame();
}

// "Capturing" is one copy of the screen, as a shared-memory fetch is; a stamp makes frames differ.
void paintDesktop(std::uint64_t tick, streaming::PlainImage& image) {
    const streaming::PlainImage& source = desktop();
    std::memcpy(image.data(), source.data(), static_cast<std::size_t>(source.stride()) * kHeight);
    image.data()[0] = static_cast<std::uint8_t>(tick);
}

// A console that reads and discards everything on one accepted link.
class DrainingConsole {
public:
    DrainingConsole() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            std::vector<char> buffer(kReadBufferBytes);
            while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
            }
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~DrainingConsole() {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        if (m_thread.joinable())
            m_thread.join();
    }
    std::uint16_t port() const { return m_port; }

private:
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

// One connected session: main loop, settings in a scratch folder, client on a draining console.
struct Session {
    Session() {
        ::setenv("XDG_CONFIG_HOME", "/tmp/olvex-capture-bench", 1);
        desktop();
        platform::setLogSink([](const std::string&) {});
        loop.install();
        platform::ScreenInfo screen;
        screen.width = kWidth;
        screen.height = kHeight;
        screen.scales = {1.0};
        platform::screens::setInfo(screen);
        client::gStudentSessionInfo().m_nThumbWidth.store(160);
        client::gStudentSessionInfo().m_nThumbHeight.store(120);
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kServerIp, "127.0.0.1");
        settings->setString(client::settings::kServerPort, std::to_string(console.port()));
        client::StudentClient::setEncoderFactory([] { return std::make_shared<streaming::H264Encoder>(); });
        studentClient = client::StudentClient::create(center);
        connected = studentClient->connectToServer();
        client::setGStudentClient(studentClient);
    }
    ~Session() {
        auto link = studentClient->getMVConn();
        client::setGStudentClient(nullptr);
        if (link)
            link->JoinThreads();
        platform::setLogSink({});
    }
    // Delivers a text command to the client as its direct link would.
    void deliver(const std::string& name, const std::string& params) {
        auto record = std::make_shared<transport::SReceiveData>();
        record->nType = 1;
        record->strParams = params;
        center.post(name, static_cast<const transport::TCPConnection*>(studentClient->getMVConn().get()),
                    std::any(record));
    }
    // Waits, outside the measured time, until the link wrote everything queued.
    void drain() {
        auto link = studentClient->getMVConn();
        while (link && link->isConnect() && link->PendingRequests() > 0)
            std::this_thread::yield();
    }

    platform::ManualRunLoop loop;
    platform::NotificationCenter center;
    DrainingConsole console;
    std::shared_ptr<client::StudentClient> studentClient;
    bool connected = false;
};

// Frame to queued packet through the uploader, one synthetic tick per iteration.
void runUpload(benchmark::State& state, Session& session) {
    if (!session.connected) {
        state.SkipWithError("no loopback link");
        return;
    }
    streaming::ScreenUploader uploader({});
    streaming::SyntheticCaptureSource source({kWidth, kHeight}, paintDesktop);
    source.start(
        [&](streaming::CaptureFrame& frame) { uploader.processImage(frame, *session.studentClient); });
    for (auto _ : state) {
        source.deliverTicks(1);
        state.PauseTiming();
        session.drain();
        state.ResumeTiming();
    }
    source.stop();
}

void BM_CaptureToQueuedLivePacket(benchmark::State& state) {
    Session session;
    session.deliver("READ_MSG_MV00004", "");
    runUpload(state, session);
}
BENCHMARK(BM_CaptureToQueuedLivePacket)->Unit(benchmark::kMillisecond);

void BM_ThumbnailToQueuedPacket(benchmark::State& state) {
    Session session;
    runUpload(state, session);
}
BENCHMARK(BM_ThumbnailToQueuedPacket)->Unit(benchmark::kMicrosecond);

void BM_CaptureToQueuedH264Packet(benchmark::State& state) {
    Session session;
    session.deliver("READ_MSG_MV00264", "true");
    session.deliver("READ_MSG_MV00004", "");
    runUpload(state, session);
}
BENCHMARK(BM_CaptureToQueuedH264Packet)->Unit(benchmark::kMillisecond);

double processCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The whole newer capture path in live view at the real 30 ticks a second: pacing, the kill pass
// on each dropped frame (both lists off), capture, JPEG and queueing of 10 images a second.
void BM_LiveViewCpuShare(benchmark::State& state) {
    Session session;
    if (!session.connected) {
        state.SkipWithError("no loopback link");
        return;
    }
    session.deliver("READ_MSG_MV00004", "");
    auto processor = streaming::ScreenCaptureProcessor::create(session.center);
    auto sourceOwned = std::make_unique<streaming::SyntheticCaptureSource>(
        streaming::ImageSize{kWidth, kHeight}, paintDesktop);
    streaming::SyntheticCaptureSource* source = sourceOwned.get();
    streaming::ScreenCaptureHelper helper(std::move(sourceOwned));
    helper.setDelegate(processor);
    helper.startCaptureWrapper();
    const auto tickPeriod = std::chrono::duration<double>(1.0 / streaming::kCaptureTimescale);
    for (auto _ : state) {
        const double cpuStart = processCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        const int ticks = static_cast<int>(kLiveViewSeconds * streaming::kCaptureTimescale);
        for (int n = 0; n < ticks; ++n) {
            std::this_thread::sleep_until(wallStart + (n + 1) * tickPeriod);
            source->deliverTicks(1);
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        const double cpu = processCpuSeconds() - cpuStart;
        state.counters["cpu_share_percent"] = 100.0 * cpu / wall;
        state.counters["images"] = static_cast<double>(ticks / 3);
    }
}
BENCHMARK(BM_LiveViewCpuShare)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
