// A named serial queue: one worker thread runs its blocks in order. Destroying the queue runs the
// blocks already queued, then joins the worker.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> block);
    // Waits until block has run on the worker; runs it inline when called from the worker itself.
    void sync(const std::function<void()>& block);
    bool isCurrent() const;
    const std::string& name() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
