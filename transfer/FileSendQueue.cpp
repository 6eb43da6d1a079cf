#include "transfer/FileSendQueue.h"

namespace transfer {

bool FileSendQueue::push(platform::Bytes archive) {
    std::unique_lock lock(m_lock);
    m_space.wait(lock, [this] { return m_cancelled || m_pieces.size() < m_capacity; });
    if (m_cancelled)
        return false;
    m_pieces.push_back(std::move(archive));
    return true;
}

std::optional<platform::Bytes> FileSendQueue::tryPop() {
    std::lock_guard lock(m_lock);
    if (m_pieces.empty())
        return std::nullopt;
    platform::Bytes piece = std::move(m_pieces.front());
    m_pieces.pop_front();
    m_space.notify_one();
    return piece;
}

void FileSendQueue::finish() {
    std::lock_guard lock(m_lock);
    m_finished = true;
}

void FileSendQueue::cancel() {
    std::lock_guard lock(m_lock);
    m_cancelled = true;
    m_pieces.clear();
    m_space.notify_all();
}

bool FileSendQueue::finished() const {
    std::lock_guard lock(m_lock);
    return m_finished;
}

bool FileSendQueue::cancelled() const {
    std::lock_guard lock(m_lock);
    return m_cancelled;
}

std::size_t FileSendQueue::size() const {
    std::lock_guard lock(m_lock);
    return m_pieces.size();
}

} // namespace transfer
