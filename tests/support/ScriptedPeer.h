// A scripted TCP peer on 127.0.0.1: accepts the agent's links, frames and parses packets with the
// peers' own codec, runs per-code handlers, records every packet and lets a test wait for one.
// Threads: one accept thread and one reader thread per link; handlers run on the reader thread of
// their link. Every public method is thread-safe. Every wait is bounded.
#pragma once

#include "support/PeerCodec.h"
#include "support/PeerSocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Network waits of the peers: short, so a missing packet fails a test quickly instead of hanging it.
constexpr std::chrono::milliseconds kDefaultWait{3000};

// One packet received from the agent.
struct PeerPacket {
    std::size_t link = 0; // index of the accepted link, in accept order from 0
    std::array<std::uint8_t, kSyncSize> sync{};
    double arrivedAt = 0;             // the peer's clock when the packet arrived (setClock), else 0
    Bytes body;                       // the body as framed, type byte first
    std::optional<Envelope> envelope; // set for a consistent relay envelope
    std::optional<TextCommand> text;  // set for a text command, plain or inside an envelope

    std::uint8_t type() const { return body.empty() ? 0 : body[0]; }
    // The body after unwrapping an envelope.
    const Bytes& payload() const { return envelope ? envelope->inner : body; }
    std::uint8_t payloadType() const { return payload().empty() ? 0 : payload()[0]; }
    std::string code() const { return text ? text->code : std::string(); }
    std::string params() const { return text ? text->params : std::string(); }
};

class ScriptedPeer {
public:
    using Handler = std::function<void(const PeerPacket&)>;
    using AcceptHandler = std::function<void(std::size_t link)>;

    explicit ScriptedPeer(std::string name);
    virtual ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Binds 127.0.0.1 on an ephemeral port and starts accepting. False when the socket fails.
    bool start();
    // Closes every link and joins every thread; called by the destructor. Derived peers call it
    // first in their own destructor, since their handlers use their members.
    void stop();

    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const { return m_port; }

    // Script. Handlers may be replaced at any time; the newest one runs for the next packet.
    void onAccept(AcceptHandler handler);
    void onCommand(const std::string& code, Handler handler); // text commands, plain or enveloped
    void onBody(std::uint8_t payloadType, Handler handler);   // other bodies, by type after unwrapping
    // Stamps each packet's arrivedAt with clock() on the reader thread, e.g. a test's virtual clock,
    // so a test can tell how far apart in its time two packets came.
    void setClock(std::function<double()> clock);

    // Sending on a link; without a link index, on the newest one. False when the link is gone.
    bool sendText(std::string_view text, std::optional<std::size_t> link = {});
    bool sendBody(const Bytes& body, std::optional<std::size_t> link = {});
    bool sendRaw(const Bytes& bytes, std::optional<std::size_t> link = {});
    // Shuts a link down (the agent's read then fails); without an index, the newest one.
    void closeLink(std::optional<std::size_t> link = {});

    // Expectations. Each returned packet is taken, so the next wait for the same code finds the next one.
    std::optional<PeerPacket> waitFor(const std::string& code,
                                      std::chrono::milliseconds timeout = kDefaultWait);
    std::optional<PeerPacket> waitForBody(std::uint8_t payloadType,
                                          std::chrono::milliseconds timeout = kDefaultWait);
    std::optional<PeerPacket> waitForMatch(const std::function<bool(const PeerPacket&)>& match,
                                           std::chrono::milliseconds timeout = kDefaultWait);
    bool waitForLinks(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait);
    // True once count packets have arrived in all, taken or not.
    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait);
    // True once the agent closed the link (or it failed); without an index, the newest one.
    bool waitForClosed(std::optional<std::size_t> link = {},
                       std::chrono::milliseconds timeout = kDefaultWait);

    std::vector<PeerPacket> received() const;
    std::size_t count(const std::string& code) const;
    std::size_t linkCount() const;

protected:
    const std::string& name() const { return m_name; }

private:
    struct Link {
        UniqueFd fd;
        std::mutex writeMutex;
        std::atomic<bool> open{true};
        std::thread reader;
    };

    void acceptLoop();
    void readLoop(std::size_t index, Link* link);
    void dispatch(std::size_t index, const std::array<std::uint8_t, kSyncSize>& sync, Bytes body);
    Link* findLink(std::optional<std::size_t> index, std::size_t* resolved = nullptr);

    const std::string m_name;
    std::uint16_t m_port = 0;
    UniqueFd m_listener;
    StopSignal m_stop;
    std::thread m_acceptThread;
    std::atomic<bool> m_started{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Link>> m_links;
    std::vector<PeerPacket> m_packets;
    std::vector<bool> m_taken;
    std::map<std::string, Handler> m_textHandlers;
    std::map<std::uint8_t, Handler> m_bodyHandlers;
    AcceptHandler m_acceptHandler;
    std::function<double()> m_clock;
};

} // namespace testsupport
