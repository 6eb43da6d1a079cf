// Blocking IPv4 TCP sockets: CInAddr (address wrapper), CInSocket (descriptor owner) and
// CInStreamSocket (connect with time-out, whole reads, single writes). A link's socket is read by
// its receive thread, written by its send thread and shut down from any thread, so the descriptor
// and the state flags are atomics.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>

namespace transport {

// An IPv4 socket address; hosts are dotted strings only (no name resolution). A string that does
// not parse becomes the all-ones address, to which a connect fails.
class CInAddr {
public:
    CInAddr();
    CInAddr(const std::string& dottedHost, std::uint16_t port);
    explicit CInAddr(const sockaddr_in& addr) : m_addr(addr) {}

    std::string GetAddress() const; // dotted form
    std::uint16_t GetPort() const;  // host order
    const sockaddr_in& sockaddr() const { return m_addr; }
    sockaddr_in& sockaddr() { return m_addr; }

private:
    sockaddr_in m_addr;
};

// Owner of one descriptor. Sockets are opened close-on-exec.
class CInSocket {
public:
    CInSocket() = default;
    virtual ~CInSocket();
    CInSocket(const CInSocket&) = delete;
    CInSocket& operator=(const CInSocket&) = delete;

    // Opens a socket with GetSocketParams unless one is held; answers whether one is held now.
    bool Create();
    // Shuts down and closes an owned descriptor (an attached one is only forgotten); always -1 after.
    void Close();
    // Shuts the descriptor down in both directions without closing it: a read blocked on another
    // thread wakes with end of stream, and the descriptor number cannot be reused under it.
    void Shutdown();

    virtual bool Attach(int sockId);
    virtual bool Attach(CInSocket& other);
    virtual void Detach();
    virtual void GetSocketParams(int params[3]) const = 0;
    virtual void OnClose() {}

    bool GetSockName(CInAddr& addr) const;
    int GetSockId() const { return m_sockId.load(); }
    bool IsAttached() const { return m_bAttached.load(); }

protected:
    std::atomic<int> m_sockId{-1};
    std::atomic<bool> m_bAttached{false};
};

// The TCP stream socket of one link.
class CInStreamSocket : public CInSocket {
public:
    CInStreamSocket() = default;
    ~CInStreamSocket() override;

    void GetSocketParams(int params[3]) const override; // AF_INET, SOCK_STREAM, IPPROTO_TCP
    bool Attach(int sockId) override;
    bool Attach(CInSocket& other) override;
    virtual bool Attach(CInStreamSocket& other);
    void Detach() override;
    void OnClose() override;

    // Seconds; 0 or less waits as long as the system's own connect time-out.
    void SetConnectTimeout(int seconds) { m_nConnectTimeout.store(seconds); }
    // Non-blocking connect then poll for the time-out (no process alarm); answers the connected flag.
    bool Connect(const CInAddr& addr);
    // Reads exactly length bytes: answers length, 0 at end of stream (sets m_bEof, clears
    // connected), -1 on error or when not connected / already at end of stream.
    ssize_t Read(void* buffer, std::size_t length);
    // One send call with MSG_NOSIGNAL; answers its result; changes no flag.
    ssize_t Write(const void* buffer, std::size_t length);
    // As Write, for two pieces sent back to back in one call (frame header and body, unjoined).
    ssize_t Write(const void* first, std::size_t firstLength, const void* second, std::size_t secondLength);

    void SetConnected(bool connected) { m_bConnected.store(connected); }
    bool IsConnected() const { return m_bConnected.load(); }
    bool IsEof() const { return m_bEof.load(); }

private:
    std::atomic<bool> m_bEof{false};
    std::atomic<bool> m_bConnected{false};
    std::atomic<int> m_nConnectTimeout{-1};
    std::atomic<int> m_nRecvTimeout{-1}; // never set: reads block without limit
    std::atomic<int> m_nSendTimeout{-1}; // never set: writes block without limit
};

} // namespace transport
