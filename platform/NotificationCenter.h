// The process's notification bus. A post delivers synchronously, on the poster's thread, to every
// observer of that name (in the order they were added), optionally filtered by sender.
// Thread-safe: receive threads, capture threads and the main thread post at once.
//
// Payloads: "POST_MSG_" events carry a Dictionary (by value or shared); "READ_MSG_" packets carry a
// std::shared_ptr<SReceiveData>, so a record nobody observes is freed and none is freed twice.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

using Dictionary = std::map<std::string, std::string>;

// The one reading of a dictionary's texts. The text under key, or nullptr when the dictionary or
// the key is missing (for readers that tell a missing key from an empty text).
inline const std::string* dictionaryEntry(const Dictionary* d, const std::string& key) {
    if (d == nullptr)
        return nullptr;
    auto it = d->find(key);
    return it == d->end() ? nullptr : &it->second;
}
// The text under key; a missing key and a missing dictionary read as the empty text.
inline std::string dictionaryValue(const Dictionary* d, const std::string& key) {
    const std::string* text = dictionaryEntry(d, key);
    return text ? *text : std::string();
}

struct Notification {
    std::string name;
    const void* sender = nullptr; // identity only, never dereferenced by the centre
    std::any object;

    // The object as a dictionary, or nullptr when it is something else. A dictionary is posted by
    // value, or shared (std::shared_ptr<const Dictionary>) when an observer may keep a large value
    // without copying it.
    const Dictionary* dictionary() const {
        if (const auto* shared = std::any_cast<std::shared_ptr<const Dictionary>>(&object))
            return shared->get();
        return std::any_cast<Dictionary>(&object);
    }
    // The shared dictionary, or empty when the object is something else.
    std::shared_ptr<const Dictionary> sharedDictionary() const { return shared<const Dictionary>(); }
    // The text under key in the dictionary; empty when there is none (a missing key and a missing
    // dictionary read as the empty text, as observers compare texts).
    std::string value(const std::string& key) const { return dictionaryValue(dictionary(), key); }
    // The text under key, or nullptr when there is none.
    const std::string* entry(const std::string& key) const { return dictionaryEntry(dictionary(), key); }
    // The object as a shared pointer of type T, or empty when it is something else.
    template <typename T>
    std::shared_ptr<T> shared() const {
        if (auto* p = std::any_cast<std::shared_ptr<T>>(&object))
            return *p;
        return nullptr;
    }
};

using ObserverToken = std::uint64_t;
constexpr ObserverToken kNoObserver = 0;

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // sender == nullptr observes the name from every sender. An empty handler is refused
    // (kNoObserver). Any thread.
    ObserverToken addObserver(const std::string& name, const void* sender, Handler handler);

    // Returns once no delivery to this observer is still running on another thread (a removal from
    // inside its own delivery returns at once); after it returns the handler is never called again.
    // So a handler must not remove, from inside its delivery, an observer whose handler may at that
    // moment be removing it on another thread: the two would wait for each other.
    void removeObserver(ObserverToken token);

    void post(const std::string& name, const void* sender = nullptr, std::any object = {});

    // Number of observers currently registered for a name (for tests and diagnostics).
    std::size_t observerCount(const std::string& name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A group of observations removed together, at the latest when the set is destroyed.
class ObserverSet {
public:
    explicit ObserverSet(NotificationCenter& center = NotificationCenter::defaultCenter())
        : m_center(&center) {}
    ~ObserverSet() { removeAll(); }
    ObserverSet(const ObserverSet&) = delete;
    ObserverSet& operator=(const ObserverSet&) = delete;

    void add(const std::string& name, const void* sender, NotificationCenter::Handler handler);
    void removeAll();
    bool empty() const { return m_tokens.empty(); }

private:
    NotificationCenter* m_center;
    std::vector<ObserverToken> m_tokens;
};

} // namespace platform
