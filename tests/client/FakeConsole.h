// A tiny scripted teacher console (or relay server) on loopback for the client tests. It frames
// and reads packets with its own small codec written from the wire format (sync word, length,
// UTF-16LE text with MD5 digest, RC4 under the fixed key, relay envelope), never with transport/.
// The test thread scripts it; one reader thread collects what the agent sends.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace clienttest {

using Bytes = std::vector<std::uint8_t>;

// A type-1 body for a UTF-8 text (characters of the basic plane).
Bytes textBody(const std::string& text);
// A type-13 envelope around an inner body.
Bytes envelopeBody(std::uint32_t teacherConnId, std::uint32_t connId, const Bytes& inner);
// A frame of the body stamped with clock byte 0x5C, so its sync word is A2 A1 A5 5C.
Bytes frame(const Bytes& body);

// What the agent sent, one entry per frame: "type1" texts as the text itself; envelopes as
// "relay(<teacher>,<conn>):" and the inner description; other bodies as "type<N>:<fields>".
struct Received {
    std::string description;
    Bytes body;
    double virtualTime = 0; // platform::monotonicNow() when the frame arrived
};

class FakeConsole {
public:
    FakeConsole();  // listens on 127.0.0.1, any free port
    ~FakeConsole(); // closes everything and joins the reader

    int port() const { return m_port; }
    // Accepts the agent's connection (waits at most a few seconds of real time).
    bool accept();
    void send(const Bytes& body);
    void sendText(const std::string& text) { send(textBody(text)); }
    void closeLink();

    // Waits (real time, bounded) until at least count frames have arrived.
    bool waitForCount(std::size_t count, double wallSeconds = 5.0);
    // Waits until the agent closed its side.
    bool waitForClose(double wallSeconds = 5.0);
    std::vector<Received> received() const;
    std::vector<std::string> descriptions() const;

private:
    void readLoop();

    int m_listenFd = -1;
    int m_fd = -1;
    int m_port = 0;
    std::thread m_reader;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Received> m_received;
    bool m_peerClosed = false;
};

} // namespace clienttest
