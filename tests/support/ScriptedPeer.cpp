// Scripted loopback peer: accept thread, one reader thread per link, recorded packets.
#include "support/ScriptedPeer.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kListenBacklog = 16;

} // namespace

ScriptedPeer::ScriptedPeer(std::string name) : m_name(std::move(name)) {}

ScriptedPeer::~ScriptedPeer() {
    stop();
}

bool ScriptedPeer::start() {
    if (m_started.exchange(true)) {
        return m_listener.valid();
    }
    m_listener = listenLoopback(m_port, kListenBacklog);
    if (!m_listener.valid() || m_stop.fd() < 0) {
        peerLog(m_name.c_str(), "cannot listen on 127.0.0.1");
        return false;
    }
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void ScriptedPeer::stop() {
    m_stop.signal();
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    // The accept thread has ended, so the list of links no longer grows.
    std::vector<Link*> links;
    {
        std::lock_guard lock(m_mutex);
        for (auto& link : m_links) {
            links.push_back(link.get());
        }
    }
    for (Link* link : links) {
        ::shutdown(link->fd.get(), SHUT_RDWR);
        if (link->reader.joinable()) {
            link->reader.join();
        }
    }
    m_changed.notify_all();
}

void ScriptedPeer::onAccept(AcceptHandler handler) {
    std::lock_guard lock(m_mutex);
    m_acceptHandler = std::move(handler);
}

void ScriptedPeer::onCommand(const std::string& code, Handler handler) {
    std::lock_guard lock(m_mutex);
    m_textHandlers[code] = std::move(handler);
}

void ScriptedPeer::onBody(std::uint8_t payloadType, Handler handler) {
    std::lock_guard lock(m_mutex);
    m_bodyHandlers[payloadType] = std::move(handler);
}

void ScriptedPeer::setClock(std::function<double()> clock) {
    std::lock_guard lock(m_mutex);
    m_clock = std::move(clock);
}

void ScriptedPeer::acceptLoop() {
    for (;;) {
        const WaitResult wait = waitReadable(m_listener.get(), m_stop.fd(), -1);
        if (wait != WaitResult::Ready) {
            return;
        }
        UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.valid()) {
            continue;
        }
        auto link = std::make_unique<Link>();
        link->fd = std::move(fd);
        Link* raw = link.get();
        std::size_t index = 0;
        AcceptHandler greet;
        {
            std::lock_guard lock(m_mutex);
            index = m_links.size();
            m_links.push_back(std::move(link));
            greet = m_acceptHandler;
        }
        // The greeting goes out before the reader starts, so it precedes every scripted reply.
        if (greet) {
            greet(index);
        }
        raw->reader = std::thread([this, index, raw] { readLoop(index, raw); });
        m_changed.notify_all();
    }
}

void ScriptedPeer::readLoop(std::size_t index, Link* link) {
    Bytes pending;
    std::uint8_t chunk[kReadChunk];
    bool running = true;
    while (running) {
        if (waitReadable(link->fd.get(), m_stop.fd(), -1) != WaitResult::Ready) {
            break;
        }
        const ssize_t n = ::recv(link->fd.get(), chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        pending.insert(pending.end(), chunk, chunk + n);
        std::size_t used = 0;
        while (running) {
            FrameParse parsed = parseFrame(pending.data() + used, pending.size() - used);
            if (parsed.status == FrameStatus::NeedMore) {
                break;
            }
            if (parsed.status != FrameStatus::Complete) {
                peerLog(m_name.c_str(), "link %zu: malformed frame (status %d), closing the link", index,
                        static_cast<int>(parsed.status));
                running = false;
                break;
            }
            used += parsed.consumed;
            dispatch(index, parsed.sync, std::move(parsed.body));
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    }
    ::shutdown(link->fd.get(), SHUT_RDWR);
    link->open = false;
    {
        // Taking the lock orders the flag with a waiter that is about to sleep.
        std::lock_guard lock(m_mutex);
    }
    m_changed.notify_all();
}

void ScriptedPeer::dispatch(std::size_t index, const std::array<std::uint8_t, kSyncSize>& sync, Bytes body) {
    PeerPacket packet;
    packet.link = index;
    packet.sync = sync;
    packet.body = std::move(body);
    if (packet.type() == kBodyEnvelope) {
        packet.envelope = parseEnvelope(packet.body);
        if (!packet.envelope) {
            peerLog(m_name.c_str(), "link %zu: envelope whose inner length disagrees with the body", index);
        }
    }
    if (packet.payloadType() == kBodyText) {
        packet.text = parseTextBody(packet.payload());
        if (!packet.text) {
            peerLog(m_name.c_str(), "link %zu: text command whose counts disagree with the body", index);
        }
    }

    Handler handler;
    std::function<double()> clock;
    {
        std::lock_guard lock(m_mutex);
        clock = m_clock;
        if (packet.text) {
            auto it = m_textHandlers.find(packet.text->code);
            if (it != m_textHandlers.end()) {
                handler = it->second;
            }
        } else {
            auto it = m_bodyHandlers.find(packet.payloadType());
            if (it != m_bodyHandlers.end()) {
                handler = it->second;
            }
        }
    }
    if (clock) {
        packet.arrivedAt = clock();
    }
    // Replies go out before the packet becomes visible, so a test that saw it also sees the reply sent.
    if (handler) {
        handler(packet);
    }
    {
        std::lock_guard lock(m_mutex);
        m_packets.push_back(std::move(packet));
        m_taken.push_back(false);
    }
    m_changed.notify_all();
}

ScriptedPeer::Link* ScriptedPeer::findLink(std::optional<std::size_t> index, std::size_t* resolved) {
    std::lock_guard lock(m_mutex);
    if (m_links.empty()) {
        return nullptr;
    }
    const std::size_t i = index.value_or(m_links.size() - 1);
    if (i >= m_links.size()) {
        return nullptr;
    }
    if (resolved != nullptr) {
        *resolved = i;
    }
    return m_links[i].get();
}

bool ScriptedPeer::sendRaw(const Bytes& bytes, std::optional<std::size_t> index) {
    Link* link = findLink(index);
    if (link == nullptr || !link->open) {
        return false;
    }
    std::lock_guard lock(link->writeMutex);
    return writeAll(link->fd.get(), bytes.data(), bytes.size(), m_stop.fd());
}

bool ScriptedPeer::sendBody(const Bytes& body, std::optional<std::size_t> link) {
    return sendRaw(frame(body), link);
}

bool ScriptedPeer::sendText(std::string_view text, std::optional<std::size_t> link) {
    const auto body = textBody(text);
    if (!body) {
        peerLog(m_name.c_str(), "refusing to send text that is not UTF-8");
        return false;
    }
    return sendBody(*body, link);
}

void ScriptedPeer::closeLink(std::optional<std::size_t> index) {
    if (Link* link = findLink(index)) {
        ::shutdown(link->fd.get(), SHUT_RDWR);
    }
}

std::optional<PeerPacket> ScriptedPeer::waitForMatch(const std::function<bool(const PeerPacket&)>& match,
                                                     std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    std::optional<PeerPacket> found;
    m_changed.wait_for(lock, timeout, [&] {
        for (std::size_t i = 0; i < m_packets.size(); ++i) {
            if (!m_taken[i] && match(m_packets[i])) {
                m_taken[i] = true;
                found = m_packets[i];
                return true;
            }
        }
        return false;
    });
    return found;
}

std::optional<PeerPacket> ScriptedPeer::waitFor(const std::string& code, std::chrono::milliseconds timeout) {
    return waitForMatch([&code](const PeerPacket& p) { return p.text && p.text->code == code; }, timeout);
}

std::optional<PeerPacket> ScriptedPeer::waitForBody(std::uint8_t payloadType,
                                                    std::chrono::milliseconds timeout) {
    return waitForMatch([payloadType](const PeerPacket& p) { return p.payloadType() == payloadType; },
                        timeout);
}

bool ScriptedPeer::waitForLinks(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_links.size() >= count; });
}

bool ScriptedPeer::waitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_packets.size() >= count; });
}

bool ScriptedPeer::waitForClosed(std::optional<std::size_t> index, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        if (m_links.empty()) {
            return false;
        }
        const std::size_t i = index.value_or(m_links.size() - 1);
        return i < m_links.size() && !m_links[i]->open;
    });
}

std::vector<PeerPacket> ScriptedPeer::received() const {
    std::lock_guard lock(m_mutex);
    return m_packets;
}

std::size_t ScriptedPeer::count(const std::string& code) const {
    std::lock_guard lock(m_mutex);
    std::size_t n = 0;
    for (const PeerPacket& p : m_packets) {
        n += (p.text && p.text->code == code) ? 1 : 0;
    }
    return n;
}

std::size_t ScriptedPeer::linkCount() const {
    std::lock_guard lock(m_mutex);
    return m_links.size();
}

} // namespace testsupport
