// Common engine of a connection object: one TCP link, a send thread draining a queue of requests
// and a receive thread that parses packets and posts each under its code-table name. The opening
// thread calls Open/SetConnectTimeout/Connect and starts the threads; Send and Close may be called
// from any thread, including a handler running on this link's own receive thread.
//
// Objects are owned through std::shared_ptr (use create() of a link class): each running thread
// keeps its object alive, so dropping the last outside reference never frees what a thread uses.
// Link classes (direct, client relay, login-time relay) derive and supply their code table.
#pragma once

#include "platform/NotificationCenter.h"
#include "transport/CodeTable.h"
#include "transport/PacketCodec.h"
#include "transport/PacketData.h"
#include "transport/TCPServerInterface.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace transport {

// Memory a link may hold in requests queued and unsent: each request counts what it holds, its
// buffer's capacity and its own bookkeeping, not only the body bytes it will send. Only a peer that
// has stopped reading lets the queue grow this far (screen images are held back before the link,
// see UnsentImageGate); past it the link ends as lost rather than grow without end. Senders that
// can outpace a slow link pace themselves on PendingBytes().
constexpr std::uint64_t kMaxQueuedBytes = 64ull * 1024 * 1024;

class TCPConnection : public std::enable_shared_from_this<TCPConnection> {
public:
    virtual ~TCPConnection();
    TCPConnection(const TCPConnection&) = delete;
    TCPConnection& operator=(const TCPConnection&) = delete;

    // Connect time-out in seconds for the next Connect (0 or less: the system's own time-out).
    void SetConnectTimeout(int seconds);
    // Connects to a dotted IPv4 host; answers the result. Needs Open first. A Close from another
    // thread meanwhile ends the connect at once and makes it answer false.
    bool Connect(const std::string& host, int port);
    std::string GetLocalAddress() const;
    int GetLoaclPort() const;

    // Start the send / receive thread (once each; later calls answer false). A thread started on a
    // link that is not connected ends at once; the receive thread then still reports the link down.
    bool StartRequestThread();
    bool StartReceiveThread();
    // Bounds for the strips and frames this link parses (shared with whoever learns the console's
    // announcements). Before StartReceiveThread only; without it only the fixed ceilings apply.
    void SetScreenLimits(std::shared_ptr<const ScreenUpdateLimits> limits);

    // Queues a request; ownership passes to the link. A request given to a link that is down (or
    // never came up) is freed at once and the call answers false. A request whose memory would take
    // the queue past kMaxQueuedBytes is freed too and the link is closed: its receive thread then
    // reports the link down once, as for any lost link.
    bool Send(std::unique_ptr<SRequestData> request);
    // Shuts the link down from any thread; the blocked read (or a connect under way) wakes and the
    // receive thread posts the link's one disconnect. The descriptor is closed once no thread uses
    // it, the connecting thread included.
    void Close();
    // Looks a record up in the code table and posts it (synchronously, sender = this link);
    // answers whether it was posted. Unposted records are simply released.
    virtual bool ReceiveCallBack(std::shared_ptr<SReceiveData> record);

    bool isConnect() const { return m_bConnect.load(); }
    // Waits for both threads to end (a thread calling it does not wait for itself).
    void JoinThreads();
    // Number of requests waiting in the send queue (diagnostics and tests).
    std::size_t PendingRequests() const;
    // Memory the requests waiting in the send queue hold, as kMaxQueuedBytes counts it.
    std::uint64_t PendingBytes() const;

protected:
    TCPConnection(const RevCallBackTable& table, platform::NotificationCenter& center);

    // Whether the end of the receive thread posts "READ_MSG_DISCONNECT" (every link does: the
    // login window, too, must learn that its relay link ended).
    virtual bool PostsDisconnect() const { return true; }
    const RevCallBackTable& table() const { return *m_pRevCallBackList; }
    platform::NotificationCenter& center() const { return *m_pCenter; }

    // Made by the link class's Open (or constructor); kept until the object dies so the threads
    // never see it vanish.
    std::unique_ptr<TCPServerInterface> m_pTCPServer;

private:
    void RequestThread();
    void ReceiveThread();
    void ThreadEnded();
    void DropQueue();

    std::atomic<bool> m_bConnect{false};
    std::atomic<bool> m_bClosing{false};

    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueCond;
    std::deque<std::unique_ptr<SRequestData>> m_pReqArr;
    std::uint64_t m_nQueuedBytes = 0; // memory held by m_pReqArr (HeldBytes of each request)

    std::mutex m_threadMutex; // guards the thread objects and the running count
    std::thread m_threadRequest;
    std::thread m_threadReceive;
    int m_nThreadsRunning = 0;
    bool m_bConnecting = false; // guarded by m_queueMutex: a thread is inside Connect
    bool m_bRequestStarted = false;
    bool m_bReceiveStarted = false;

    platform::NotificationCenter* m_pCenter;
    const RevCallBackTable* m_pRevCallBackList;
    ReceiveBuffers m_buffers; // receive thread only
};

} // namespace transport
