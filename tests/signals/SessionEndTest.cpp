// The bridge from the end of the session to the event loop, in this process: each way in ends
// the loop exactly once, the handlers never block, and the signals' earlier handling comes back.

#include "app/SessionEnd.h"
#include "db/ClientLibrary.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <ibase.h>

namespace {

using vcl::TSessionEnd;

/// Runs the event loop until `calls` changes or `timeoutMs` passes; true when it changed.
bool LoopEnded(const int& calls, int timeoutMs) {
    QEventLoop loop;
    const int before = calls;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (calls != before)
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return calls != before;
}

void Marker(int) {}

struct Disposition {
    int sig;
    struct sigaction saved {};
    explicit Disposition(int s, void (*handler)(int)) : sig(s) {
        struct sigaction sa {};
        sa.sa_handler = handler;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, &saved);
    }
    ~Disposition() { ::sigaction(sig, &saved, nullptr); }
    void (*Current() const)(int) {
        struct sigaction now {};
        ::sigaction(sig, nullptr, &now);
        return now.sa_handler;
    }
};

class SignalEnds : public testing::TestWithParam<int> {};

// Two of the same signal, as a session manager may send, end the loop once; afterwards the
// handling the process had before is back.
TEST_P(SignalEnds, TheLoopOnceAndGivesTheSignalBack) {
    const int sig = GetParam();
    Disposition before(sig, Marker);
    int calls = 0;
    {
        auto owner = std::make_unique<TSessionEnd>([&] { ++calls; });
        EXPECT_NE(before.Current(), &Marker);
        ASSERT_EQ(std::raise(sig), 0);
        ASSERT_EQ(std::raise(sig), 0);
        EXPECT_EQ(calls, 0) << "nothing runs inside the handler";
        EXPECT_TRUE(LoopEnded(calls, 5000));
        EXPECT_FALSE(LoopEnded(calls, 100)) << "the second signal ended it again";
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(owner->Requested());
    }
    EXPECT_EQ(before.Current(), &Marker);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalEnds, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(strsignal(info.param)); });

TEST(SessionEnd, TheSessionManagersRequestEndsTheLoopOnce) {
    int calls = 0;
    auto owner = std::make_unique<TSessionEnd>([&] { ++calls; });
    // QSessionManager cannot be made outside Qt; the slot agrees without touching it.
    alignas(QSessionManager) unsigned char storage[sizeof(QSessionManager)] = {};
    auto& manager = *reinterpret_cast<QSessionManager*>(storage);
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    QTimer::singleShot(0, app, [&] { emit app->commitDataRequest(manager); });
    EXPECT_TRUE(LoopEnded(calls, 5000));
    emit app->commitDataRequest(manager);
    EXPECT_EQ(calls, 1);
}

// A flood of signals while the loop is busy fills the pipe; the handler must not block on it,
// and the bytes left over must not end the next bridge's loop.
TEST(SessionEnd, AFullPipeNeverBlocksAndLeftoversDoNotEndTheNextLoop) {
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!done) {
            std::fputs("a signal handler blocked on the full pipe\n", stderr);
            std::abort();
        }
    });
    int calls = 0;
    {
        TSessionEnd bridge([&] { ++calls; });
        for (int i = 0; i < 100000; ++i)
            std::raise(SIGTERM);
    }
    done = true;
    watchdog.join();
    EXPECT_EQ(calls, 0);

    auto next = std::make_unique<TSessionEnd>([&] { ++calls; });
    EXPECT_FALSE(LoopEnded(calls, 300));
    std::raise(SIGTERM);
    EXPECT_TRUE(LoopEnded(calls, 5000));
    EXPECT_EQ(calls, 1);
}

TEST(SessionEnd, ASignalIgnoredAtStartStaysIgnored) {
    Disposition ignored(SIGHUP, SIG_IGN);
    int calls = 0;
    auto owner = std::make_unique<TSessionEnd>([&] { ++calls; });
    EXPECT_EQ(ignored.Current(), SIG_IGN);
    std::raise(SIGHUP);
    EXPECT_FALSE(LoopEnded(calls, 300));
    owner.reset();
    EXPECT_EQ(ignored.Current(), SIG_IGN);
}

// The client library's own reaction to SIGINT and SIGTERM is a shutdown of every connection;
// the bridge refuses it and takes the signal into the loop instead.
TEST(SessionEnd, TheClientLibrarysShutdownOnASignalIsRefusedAndEndsTheLoop) {
    ibx::LoadClientLibrary();
    ibx::SetClientLoadHook(&TSessionEnd::RefuseClientShutdown);
    int calls = 0;
    auto owner = std::make_unique<TSessionEnd>([&] { ++calls; });
    EXPECT_NE(fb_shutdown(0, fb_shutrsn_signal), 0) << "the shutdown went ahead";
    EXPECT_TRUE(LoopEnded(calls, 5000));
    EXPECT_EQ(calls, 1);
    ibx::SetClientLoadHook(nullptr);
}

} // namespace
