#include "support/CaptureFixture.h"

#include <algorithm>

namespace streaming::test {

namespace {
constexpr double kWaitSeconds = 5.0;
} // namespace

void CaptureFixture::SetUp() {
    m_loop.install();
    {
        std::lock_guard lock(m_lock);
        m_fetched.clear();
        m_log.clear();
        m_disconnectSenders.clear();
    }
    m_terminations.clear();
    client::GlobalConfig::shared().resetForTesting();
    client::gStudentSessionInfo().resetForTesting();
    m_settings = platform::UserDefaults::suite();
    for (const char* key : {client::settings::kServerIp, client::settings::kServerPort,
                            client::settings::kSlot, client::settings::kAlias, client::settings::kTeacherId})
        m_settings->remove(key);
    m_settings->setString(client::settings::kSlot, "2");
    m_settings->setString(client::settings::kAlias, "Kim");
    platform::ScreenInfo screen;
    screen.width = kScreenWidth;
    screen.height = kScreenHeight;
    screen.scales = {1.0};
    platform::screens::setInfo(screen);
    platform::setLogSink([this](const std::string& line) {
        std::lock_guard lock(m_lock);
        m_log.push_back(line);
    });
    platform::setTerminateHook([this](int status) { m_terminations.push_back(status); });
    m_disconnectToken = m_center.addObserver(client::events::kDisconnect, nullptr,
                                             [this](const platform::Notification& note) {
                                                 std::lock_guard lock(m_lock);
                                                 m_disconnectSenders.push_back(note.sender);
                                             });
}

void CaptureFixture::TearDown() {
    // Capture first (its threads use the client), then the client's links, which post on m_center.
    m_capture = ScreenCapture{};
    if (auto current = client::gStudentClient()) {
        auto direct = current->getMVConn();
        auto relay = current->getRelayConn();
        client::setGStudentClient(nullptr);
        if (direct)
            direct->JoinThreads();
        if (relay)
            relay->JoinThreads();
    }
    m_handedOver.reset();
    m_center.removeObserver(m_disconnectToken);
    platform::setTerminateHook({});
    platform::setLogSink({});
    client::gStudentSessionInfo().resetForTesting();
    client::GlobalConfig::shared().resetForTesting();
}

std::unique_ptr<SyntheticCaptureSource> CaptureFixture::makeSource() {
    auto source = std::make_unique<SyntheticCaptureSource>(
        ImageSize{kScreenWidth, kScreenHeight}, [this](std::uint64_t tick, PlainImage& image) {
            std::function<void(std::uint64_t)> hook;
            {
                std::lock_guard lock(m_lock);
                hook = m_paintHook;
            }
            if (hook)
                hook(tick);
            if (m_noise.load()) {
                // Noise does not compress: every image is megabytes.
                std::uint32_t state = static_cast<std::uint32_t>(tick) * 2654435761u + 1u;
                for (int y = 0; y < image.height(); ++y) {
                    std::uint8_t* p = image.row(y);
                    for (int x = 0; x < image.width() * kBytesPerPixel; ++x) {
                        state ^= state << 13;
                        state ^= state >> 17;
                        state ^= state << 5;
                        p[x] = static_cast<std::uint8_t>(state);
                    }
                }
                std::lock_guard lock(m_lock);
                m_fetched.push_back(tick);
                return;
            }
            // A gradient that moves with the tick, so consecutive frames differ.
            for (int y = 0; y < image.height(); ++y) {
                std::uint8_t* p = image.row(y);
                for (int x = 0; x < image.width(); ++x, p += kBytesPerPixel) {
                    p[0] = static_cast<std::uint8_t>(x + tick);
                    p[1] = static_cast<std::uint8_t>(y);
                    p[2] = static_cast<std::uint8_t>((x ^ y) & 0xff);
                    p[3] = 0;
                }
            }
            std::lock_guard lock(m_lock);
            m_fetched.push_back(tick);
        });
    m_source = source.get();
    return source;
}

void CaptureFixture::start(bool sharedMemory) {
    CaptureStartOptions options;
    options.sharedMemory = sharedMemory;
    options.center = &m_center;
    options.makeSource = [this](bool) { return makeSource(); };
    options.makeProcessTable = [this] { return std::make_unique<CountingProcessTable>(m_listings); };
    options.handoff = [this](const std::shared_ptr<client::StudentClient>& handed) { m_handedOver = handed; };
    m_capture = startScreenCapture(std::move(options));
    ASSERT_NE(m_capture.captureObject(), nullptr);
}

void CaptureFixture::startProcessor() {
    start(true);
    ASSERT_TRUE(m_capture.processor && m_capture.helper);
}

void CaptureFixture::startDaemon() {
    start(false);
    ASSERT_TRUE(m_capture.daemon);
}

ScreenCaptureCore& CaptureFixture::capture() {
    return *m_capture.captureObject();
}

void CaptureFixture::useDirectConsole(std::uint16_t port) {
    m_settings->setString(client::settings::kServerIp, "127.0.0.1");
    m_settings->setString(client::settings::kServerPort, std::to_string(port));
}

void CaptureFixture::useRelay(std::uint16_t port) {
    client::GlobalConfig& config = client::GlobalConfig::shared();
    config.setIsRelayEnabled(true);
    config.setStrTeacherId("teacher01");
    config.setStrRelayIp("127.0.0.1");
    config.setStrRelayPort(std::to_string(port));
    client::fillStudentIdentity(client::gStudentSessionInfo());
}

void CaptureFixture::login() {
    m_center.post(session::kLoginSuccessNotification);
    m_loop.runUntilIdle();
}

std::shared_ptr<client::StudentClient> CaptureFixture::installIdleClient() {
    auto idle = client::StudentClient::create(m_center);
    client::setGStudentClient(idle);
    return idle;
}

void CaptureFixture::deliverDirect(const std::string& name, const std::string& params) {
    auto current = client::gStudentClient();
    ASSERT_TRUE(current);
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 1;
    record->strParams = params;
    const void* sender = static_cast<const transport::TCPConnection*>(current->getMVConn().get());
    m_center.post(name, sender, std::any(record));
}

void CaptureFixture::setPaintHook(std::function<void(std::uint64_t)> hook) {
    std::lock_guard lock(m_lock);
    m_paintHook = std::move(hook);
}

void CaptureFixture::deliverTicks(int count) {
    m_source->deliverTicks(count);
}

void CaptureFixture::deliverTicksAsTheLinksSend(int count) {
    auto current = client::gStudentClient();
    ASSERT_TRUE(current);
    const std::shared_ptr<transport::TCPConnection> direct = current->getMVConn();
    const std::shared_ptr<transport::TCPConnection> relay = current->getRelayConn();
    const auto sent = [&] {
        return (!direct || direct->PendingRequests() == 0) && (!relay || relay->PendingRequests() == 0);
    };
    // Also before the first tick: a command's replies, queued just before it, count in the link's
    // queue as much as images do.
    for (int i = 1; i <= count; ++i) {
        ASSERT_TRUE(eventually(sent)) << "packets still unsent before tick " << i << " of " << count;
        deliverTicks(1);
    }
    ASSERT_TRUE(eventually(sent)) << "packets still unsent after the last of " << count << " ticks";
}

bool CaptureFixture::eventually(const std::function<bool()>& predicate) {
    return m_loop.runUntil(predicate, kWaitSeconds);
}

std::vector<std::uint64_t> CaptureFixture::fetchedTicks() const {
    std::lock_guard lock(m_lock);
    return m_fetched;
}

std::vector<std::string> CaptureFixture::logLines() const {
    std::lock_guard lock(m_lock);
    return m_log;
}

std::size_t CaptureFixture::logCount(const std::string& line) const {
    std::lock_guard lock(m_lock);
    return static_cast<std::size_t>(std::count(m_log.begin(), m_log.end(), line));
}

std::size_t CaptureFixture::disconnects() const {
    std::lock_guard lock(m_lock);
    return m_disconnectSenders.size();
}

std::vector<const void*> CaptureFixture::disconnectSenders() const {
    std::lock_guard lock(m_lock);
    return m_disconnectSenders;
}

} // namespace streaming::test
