#include "transport/TCPConnection.h"

#include "platform/Log.h"

namespace transport {

namespace {
// What a waiting request holds besides its buffer: the request record, the allocator's headers of
// both allocations and its slot in the queue (about 72 bytes with glibc, rounded up for others).
// A text command's 512-byte request carries some 65 body bytes, so the bound must count memory
// for a flood of small requests to end where the memory does.
constexpr std::uint64_t kRequestOverheadBytes = 128;

// What one request holds while it waits.
std::uint64_t HeldBytes(const SRequestData& request) {
    return request.pBuffer.capacity() + kRequestOverheadBytes;
}
} // namespace

TCPConnection::TCPConnection(const RevCallBackTable& table, platform::NotificationCenter& center)
    : m_pCenter(&center), m_pRevCallBackList(&table) {}

TCPConnection::~TCPConnection() {
    // Threads keep their object alive, so by now neither runs its body any more; the last one may
    // be the thread running this destructor, which cannot join itself.
    for (std::thread* t : {&m_threadRequest, &m_threadReceive}) {
        if (!t->joinable())
            continue;
        if (t->get_id() == std::this_thread::get_id())
            t->detach();
        else
            t->join();
    }
}

void TCPConnection::SetConnectTimeout(int seconds) {
    if (m_pTCPServer)
        m_pTCPServer->m_socket.SetConnectTimeout(seconds);
}

bool TCPConnection::Connect(const std::string& host, int port) {
    if (!m_pTCPServer)
        return false;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_bClosing.load() || m_bConnecting)
            return false;
        m_bConnecting = true;
    }
    // Outside the lock: the connect may wait for seconds, and Close must be able to wake it.
    const bool connected = m_pTCPServer->Connect(host, port);
    std::lock_guard lock(m_queueMutex);
    m_bConnecting = false;
    if (m_bClosing.load()) {
        // Torn down meanwhile (a login abandoned while it connected): Close left the descriptor
        // to this thread, which no longer uses it.
        if (m_nThreadsRunning == 0)
            m_pTCPServer->m_socket.Close();
        return false;
    }
    if (connected)
        m_bConnect.store(true);
    return connected;
}

std::string TCPConnection::GetLocalAddress() const {
    return m_pTCPServer ? m_pTCPServer->m_strLocalIP : std::string();
}

int TCPConnection::GetLoaclPort() const {
    return m_pTCPServer ? m_pTCPServer->m_nLocalPort : 0;
}

bool TCPConnection::StartRequestThread() {
    std::shared_ptr<TCPConnection> self = weak_from_this().lock();
    if (!self) {
        platform::logf("[ZQ]connection object is not shared-owned; request thread not started");
        return false;
    }
    std::lock_guard threadLock(m_threadMutex);
    {
        std::lock_guard lock(m_queueMutex);
        if (m_bRequestStarted)
            return false;
        m_bRequestStarted = true;
        ++m_nThreadsRunning;
    }
    m_threadRequest = std::thread([self] {
        self->RequestThread();
        self->ThreadEnded();
        releaseThreadDigestState(); // before self lets go: see releaseThreadDigestState
    });
    return true;
}

void TCPConnection::SetScreenLimits(std::shared_ptr<const ScreenUpdateLimits> limits) {
    m_buffers.limits = std::move(limits);
}

bool TCPConnection::StartReceiveThread() {
    std::shared_ptr<TCPConnection> self = weak_from_this().lock();
    if (!self) {
        platform::logf("[ZQ]connection object is not shared-owned; receive thread not started");
        return false;
    }
    std::lock_guard threadLock(m_threadMutex);
    {
        std::lock_guard lock(m_queueMutex);
        if (m_bReceiveStarted)
            return false;
        m_bReceiveStarted = true;
        ++m_nThreadsRunning;
    }
    m_threadReceive = std::thread([self] {
        self->ReceiveThread();
        self->ThreadEnded();
        releaseThreadDigestState(); // before self lets go: see releaseThreadDigestState
    });
    return true;
}

bool TCPConnection::Send(std::unique_ptr<SRequestData> request) {
    if (!request)
        return false;
    if (request->nLength == 0 || request->nLength > request->pBuffer.size()) {
        platform::logf("[ZQ]Send: request holds no complete body, not sent");
        return false;
    }
    const std::uint64_t bytes = HeldBytes(*request);
    std::uint64_t queued = 0;
    bool overflow = false;
    {
        std::lock_guard lock(m_queueMutex);
        if (!m_bConnect.load() || m_bClosing.load())
            return false; // the link is down: the request is freed here
        queued = m_nQueuedBytes;
        overflow = bytes > kMaxQueuedBytes - queued;
        if (!overflow) {
            m_nQueuedBytes += bytes;
            m_pReqArr.push_back(std::move(request));
        }
    }
    if (overflow) {
        platform::logf("[ZQ]send queue holds %llu bytes and %llu more would pass %llu: the peer has "
                       "stopped reading; link ends",
                       static_cast<unsigned long long>(queued), static_cast<unsigned long long>(bytes),
                       static_cast<unsigned long long>(kMaxQueuedBytes));
        Close();
        return false;
    }
    m_queueCond.notify_one();
    return true;
}

void TCPConnection::Close() {
    {
        std::lock_guard lock(m_queueMutex);
        m_bClosing.store(true);
        if (m_pTCPServer) {
            CInStreamSocket& socket = m_pTCPServer->m_socket;
            if (m_nThreadsRunning == 0 && !m_bConnecting) {
                socket.Close();
            } else {
                // Another thread may be blocked in a read or a connect on this descriptor: closing
                // it under that thread would let the number be reused for another file. Shut it
                // down so the thread wakes, and leave the close to the last one that ends.
                socket.Shutdown();
                socket.SetConnected(false);
            }
        }
    }
    m_queueCond.notify_all();
}

bool TCPConnection::ReceiveCallBack(std::shared_ptr<SReceiveData> record) {
    if (!record)
        return false;
    // A refused file chunk or screen update goes where its type goes, so that it is still
    // acknowledged.
    std::int32_t type = record->nType;
    if (record->bFileRefused)
        type = kBodyFileChunk;
    else if (record->bStripRefused)
        type = kBodyCompressedScreen;
    const RevCallBackRow* row = FindCodeRow(table(), type, record->strCode);
    if (!row)
        return false; // nobody takes it: released with the last reference
    center().post(row->strName, this, std::any(std::move(record)));
    return true;
}

void TCPConnection::JoinThreads() {
    std::lock_guard threadLock(m_threadMutex);
    for (std::thread* t : {&m_threadRequest, &m_threadReceive}) {
        if (t->joinable() && t->get_id() != std::this_thread::get_id())
            t->join();
    }
}

std::size_t TCPConnection::PendingRequests() const {
    std::lock_guard lock(m_queueMutex);
    return m_pReqArr.size();
}

std::uint64_t TCPConnection::PendingBytes() const {
    std::lock_guard lock(m_queueMutex);
    return m_nQueuedBytes;
}

void TCPConnection::RequestThread() {
    if (!m_pTCPServer)
        return;
    for (;;) {
        std::unique_ptr<SRequestData> request;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueCond.wait(
                lock, [this] { return !m_pReqArr.empty() || !m_bConnect.load() || m_bClosing.load(); });
            if (!m_bConnect.load() || m_bClosing.load())
                break;
            request = std::move(m_pReqArr.front());
            m_pReqArr.pop_front();
            m_nQueuedBytes -= HeldBytes(*request);
        }
        // Written outside the lock: a receive thread queueing an acknowledgement must never wait
        // on a write that is itself waiting for the peer. One writer keeps the order.
        SendPacket(*m_pTCPServer, *request);
    }
    DropQueue();
}

void TCPConnection::ReceiveThread() {
    if (!m_pTCPServer)
        return;
    while (m_bConnect.load()) {
        auto record = std::make_shared<SReceiveData>();
        ReceivePacket(*m_pTCPServer, *record, m_buffers);
        if (record->nStatus == -1)
            break;
        ReceiveCallBack(std::move(record));
    }
    {
        std::lock_guard lock(m_queueMutex);
        m_bConnect.store(false);
    }
    m_queueCond.notify_all();
    if (PostsDisconnect())
        center().post(kReadMsgDisconnect, this);
}

void TCPConnection::ThreadEnded() {
    std::lock_guard lock(m_queueMutex);
    if (--m_nThreadsRunning == 0 && m_pTCPServer && (!m_bConnect.load() || m_bClosing.load()))
        m_pTCPServer->m_socket.Close();
}

void TCPConnection::DropQueue() {
    std::deque<std::unique_ptr<SRequestData>> dropped;
    {
        std::lock_guard lock(m_queueMutex);
        dropped.swap(m_pReqArr);
        m_nQueuedBytes = 0;
    }
    // Freed outside the lock; these requests were never sent.
}

} // namespace transport
