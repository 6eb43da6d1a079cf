// Shared set-up of the capture-object suites: a virtual main clock, a private notification centre,
// clean settings and records, a 1440 x 900 screen, a log recorder, a counting process table and a
// synthetic 30-per-second source whose frames record which ticks had their pixels fetched.
#pragma once

#include "client/ClientEvents.h"
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "forbidden/ProcessTable.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/ProcessInfo.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "streaming/CaptureStartUp.h"
#include "streaming/SyntheticCaptureSource.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace streaming::test {

constexpr int kScreenWidth = 1440;
constexpr int kScreenHeight = 900;

// Lists no process; counts the passes that read the table.
class CountingProcessTable : public forbidden::ProcessTable {
public:
    explicit CountingProcessTable(std::shared_ptr<std::atomic<int>> listings)
        : m_listings(std::move(listings)) {}
    void getBSDProcessListAsMutable(std::vector<forbidden::ProcessEntry>& processes) override {
        ++*m_listings;
        processes.clear();
    }
    std::int32_t selfProcessID() const override { return 1; }
    bool killIfUnchanged(const forbidden::ProcessEntry&) override { return false; }

private:
    std::shared_ptr<std::atomic<int>> m_listings;
};

class CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the newer path (processor fed by a helper over the synthetic source) or the older
    // one (daemon over the synthetic source); the source stays reachable through m_source.
    void start(bool sharedMemory);
    void startProcessor();
    void startDaemon();
    ScreenCaptureCore& capture();

    // Points the settings at a console on 127.0.0.1:port (direct session).
    void useDirectConsole(std::uint16_t port);
    // Configures a relay session at 127.0.0.1:port.
    void useRelay(std::uint16_t port);
    // Posts the login notification on the main thread and runs what it armed.
    void login();
    // A client of this centre, not connected, installed as the session's client (no login).
    std::shared_ptr<client::StudentClient> installIdleClient();
    // Delivers a text command to the client as its direct link would.
    void deliverDirect(const std::string& name, const std::string& params);

    // Delivers ticks and waits until the capture queue handled them.
    void deliverTicks(int count);
    // Delivers ticks one at a time, each once the session's links have taken every packet queued
    // before it, and returns once they have taken what the last one queued. A screen's ticks come
    // 33 ms apart, time enough for a link's send thread to take what was queued before; here they
    // come back to back, and on a busy machine the send thread may not have run in between, so the
    // unsent-image gate (at most two images waiting) skips an image that a screen's pace lets
    // through. The gate counts images as waiting while other packets (a command's replies) are
    // queued behind them, so those count too. For cases that need a given image of a run.
    void deliverTicksAsTheLinksSend(int count);
    // Waits (bounded, real time) until predicate holds, running main-queue blocks meanwhile.
    bool eventually(const std::function<bool()>& predicate);

    std::vector<std::uint64_t> fetchedTicks() const;
    std::vector<std::string> logLines() const;
    std::size_t logCount(const std::string& line) const;
    std::size_t disconnects() const;
    std::vector<const void*> disconnectSenders() const;

    platform::ManualRunLoop m_loop;
    platform::NotificationCenter m_center;
    std::shared_ptr<platform::UserDefaults> m_settings;
    std::shared_ptr<std::atomic<int>> m_listings = std::make_shared<std::atomic<int>>(0);
    SyntheticCaptureSource* m_source = nullptr; // owned by the helper or the daemon
    ScreenCapture m_capture;
    std::shared_ptr<client::StudentClient> m_handedOver;
    std::vector<int> m_terminations;
    std::atomic<bool> m_noise{false}; // paint incompressible frames
    // Runs on the capture queue as a frame's pixels are fetched, before they are painted: a test
    // can hold a frame there while it drives the client. Set before the ticks it concerns.
    void setPaintHook(std::function<void(std::uint64_t tick)> hook);

private:
    std::unique_ptr<SyntheticCaptureSource> makeSource();

    mutable std::mutex m_lock;
    std::function<void(std::uint64_t)> m_paintHook;
    std::vector<std::uint64_t> m_fetched;
    std::vector<std::string> m_log;
    std::vector<const void*> m_disconnectSenders;
    platform::ObserverToken m_disconnectToken = platform::kNoObserver;
};

} // namespace streaming::test
