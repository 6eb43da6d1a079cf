#include "platform/desktop/QtRunLoop.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace desktop {
namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Qt timers count whole milliseconds; a longer wait than the int range is re-armed on expiry.
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr double kLongestTimerMs = 24.0 * 3600.0 * 1000.0;

} // namespace

struct QtRunLoop::Impl {
    Clock clock;
    std::thread::id loopThread = std::this_thread::get_id();

    std::mutex mutex;
    // Keyed by (due time, posting sequence): equal due times run in posting order.
    std::map<std::pair<double, std::uint64_t>, platform::Block> blocks;
    std::uint64_t nextSequence = 0;
    std::atomic<bool> wakePending{false};

    // Other threads wake the loop through an eventfd watched on the main thread: nothing is
    // allocated by the poster and handed across, and the blocks themselves pass under the mutex.
    int wakeFd = -1;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    QTimer* timer = nullptr;             // child of context
    QSocketNotifier* notifier = nullptr; // child of context

    ~Impl() {
        context.reset();
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void wake() {
        if (wakePending.exchange(true) || wakeFd < 0)
            return;
        const std::uint64_t one = 1;
        // Fails only when the counter is saturated, and then a wake is pending anyway.
        static_cast<void>(::write(wakeFd, &one, sizeof one));
    }

    void drainWake() {
        std::uint64_t count = 0;
        static_cast<void>(::read(wakeFd, &count, sizeof count));
    }

    void pump();
    int runDue();
};

int QtRunLoop::Impl::runDue() {
    std::uint64_t lastSequence = 0;
    {
        std::lock_guard lock(mutex);
        lastSequence = nextSequence;
    }
    int ran = 0;
    for (;;) {
        platform::Block block;
        {
            std::lock_guard lock(mutex);
            const double current = clock();
            auto it = blocks.begin();
            while (it != blocks.end() && it->first.first <= current && it->first.second >= lastSequence)
                ++it;
            if (it == blocks.end() || it->first.first > current)
                break;
            block = std::move(it->second);
            blocks.erase(it);
        }
        if (block)
            block();
        ++ran;
    }
    return ran;
}

void QtRunLoop::Impl::pump() {
    wakePending.store(false);
    runDue();
    double wait = -1.0;
    {
        std::lock_guard lock(mutex);
        if (!blocks.empty())
            wait = std::max(0.0, blocks.begin()->first.first - clock());
    }
    if (wait < 0.0) {
        timer->stop();
        return;
    }
    const double ms = std::min(std::ceil(wait * kMillisecondsPerSecond), kLongestTimerMs);
    timer->start(static_cast<int>(ms));
}

QtRunLoop::QtRunLoop(Clock clock) : m_impl(std::make_shared<Impl>()) {
    m_impl->clock = clock ? std::move(clock) : Clock(steadySeconds);
    m_impl->timer = new QTimer(m_impl->context.get()); // owned by its Qt parent
    m_impl->timer->setSingleShot(true);
    m_impl->timer->setTimerType(Qt::PreciseTimer);
    Impl* impl = m_impl.get();
    QObject::connect(m_impl->timer, &QTimer::timeout, m_impl->context.get(), [impl] { impl->pump(); });
    m_impl->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_impl->wakeFd < 0) {
        platform::logf("[ZQ]Main queue cannot make its wake-up descriptor.");
        return;
    }
    m_impl->notifier = new QSocketNotifier(static_cast<qintptr>(m_impl->wakeFd), QSocketNotifier::Read,
                                           m_impl->context.get());
    QObject::connect(m_impl->notifier, &QSocketNotifier::activated, m_impl->context.get(), [impl] {
        impl->drainWake();
        impl->pump();
    });
}

QtRunLoop::~QtRunLoop() {
    if (m_installed && platform::mainQueueBackend() == this)
        platform::setMainQueueBackend(nullptr);
}

void QtRunLoop::post(platform::Block block, double delaySeconds) {
    if (!std::isfinite(delaySeconds) || delaySeconds < 0.0)
        delaySeconds = 0.0;
    {
        std::lock_guard lock(m_impl->mutex);
        const double due = m_impl->clock() + delaySeconds;
        m_impl->blocks.emplace(std::make_pair(due, m_impl->nextSequence++), std::move(block));
    }
    m_impl->wake();
}

bool QtRunLoop::isLoopThread() const {
    return std::this_thread::get_id() == m_impl->loopThread;
}

double QtRunLoop::now() const {
    return m_impl->clock();
}

void QtRunLoop::sleepFor(double seconds) {
    if (std::isfinite(seconds) && seconds > 0.0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

int QtRunLoop::runDue() {
    return m_impl->runDue();
}

void QtRunLoop::install() {
    platform::setMainQueueBackend(this);
    m_installed = true;
}

} // namespace desktop
