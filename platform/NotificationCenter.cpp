#include "platform/NotificationCenter.h"

#include "platform/Log.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform {

namespace {

struct Observer {
    ObserverToken token = kNoObserver;
    std::string name;
    const void* sender = nullptr;
    NotificationCenter::Handler handler;
    // Guarded by Impl::mutex. One entry per delivery in progress; a thread appears more than once
    // when a handler posts a notification that reaches the same observer again.
    std::vector<std::thread::id> deliveringThreads;
    bool removed = false;
};

} // namespace

struct NotificationCenter::Impl {
    mutable std::mutex mutex;
    std::condition_variable deliveryEnded;
    ObserverToken nextToken = 1;
    // Per name, in the order the observers were added.
    std::unordered_map<std::string, std::vector<std::shared_ptr<Observer>>> byName;
    std::unordered_map<ObserverToken, std::shared_ptr<Observer>> byToken;

    // True while a thread other than the caller is inside a delivery to this observer.
    static bool deliveringElsewhere(const Observer& observer) {
        const auto self = std::this_thread::get_id();
        return std::any_of(observer.deliveringThreads.begin(), observer.deliveringThreads.end(),
                           [&](const std::thread::id& id) { return id != self; });
    }
};

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::NotificationCenter() : m_impl(std::make_unique<Impl>()) {}

NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(const std::string& name, const void* sender, Handler handler) {
    if (!handler) {
        logf("[ZQ]observer of %s without a handler not added", name.c_str());
        return kNoObserver;
    }
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->sender = sender;
    observer->handler = std::move(handler);
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    observer->token = m_impl->nextToken++;
    m_impl->byName[name].push_back(observer);
    m_impl->byToken.emplace(observer->token, observer);
    return observer->token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    auto found = m_impl->byToken.find(token);
    if (found == m_impl->byToken.end())
        return;
    std::shared_ptr<Observer> observer = found->second;
    m_impl->byToken.erase(found);
    observer->removed = true;
    auto named = m_impl->byName.find(observer->name);
    if (named != m_impl->byName.end()) {
        auto& list = named->second;
        list.erase(std::remove(list.begin(), list.end(), observer), list.end());
        if (list.empty())
            m_impl->byName.erase(named);
    }
    // A delivery already under way on another thread finishes first, so that the caller may free
    // what the handler uses once this returns. The caller's own delivery (a handler removing
    // itself) cannot be waited for.
    m_impl->deliveryEnded.wait(lock, [&] { return !Impl::deliveringElsewhere(*observer); });
}

void NotificationCenter::post(const std::string& name, const void* sender, std::any object) {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        auto named = m_impl->byName.find(name);
        if (named == m_impl->byName.end())
            return;
        for (const auto& observer : named->second) {
            if (observer->sender == nullptr || observer->sender == sender)
                targets.push_back(observer);
        }
    }
    const Notification notification{name, sender, std::move(object)};
    const auto self = std::this_thread::get_id();
    for (const auto& observer : targets) {
        {
            // Checked again per observer: an earlier handler may have removed a later observer.
            std::lock_guard<std::mutex> lock(m_impl->mutex);
            if (observer->removed)
                continue;
            observer->deliveringThreads.push_back(self);
        }
        // Handlers run without the registry lock: they post, add and remove observers.
        observer->handler(notification);
        {
            std::lock_guard<std::mutex> lock(m_impl->mutex);
            auto& threads = observer->deliveringThreads;
            threads.erase(std::find(threads.begin(), threads.end(), self));
            if (!observer->removed)
                continue;
        }
        m_impl->deliveryEnded.notify_all();
    }
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto named = m_impl->byName.find(name);
    return named == m_impl->byName.end() ? 0 : named->second.size();
}

void ObserverSet::add(const std::string& name, const void* sender, NotificationCenter::Handler handler) {
    m_tokens.push_back(m_center->addObserver(name, sender, std::move(handler)));
}

void ObserverSet::removeAll() {
    for (ObserverToken token : m_tokens)
        m_center->removeObserver(token);
    m_tokens.clear();
}

} // namespace platform
