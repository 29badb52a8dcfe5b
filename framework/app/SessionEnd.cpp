#include "SessionEnd.h"

#include "db/ClientLibrary.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vcl {
namespace {

#ifndef _WIN32
// Opened once and never closed: a handler may still be writing while an instance goes away.
int wakePipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[std::size(kSignals)];
bool taken[std::size(kSignals)] = {};
std::atomic<bool> listening{false};

void Drain() {
    char buf[256];
    while (::read(wakePipe[0], buf, sizeof buf) > 0) {
    }
}

// Only async-signal-safe work here: one byte into the non-blocking pipe (a full pipe already
// holds a wake-up), errno kept for the code the signal interrupted.
void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    errno = saved;
}

// The client library calls this from its own shutdown thread when its signal handler fired.
// Agreeing would cut every connection before the final commit; refusing keeps them, and the
// byte ends our loop instead, even when the library's handler had replaced ours.
int OnClientShutdown(const int reason, const int, void*) {
    if (reason != fb_shutrsn_signal || !listening.load())
        return 0;
    OnSignal(0);
    return 1;
}
#endif

} // namespace

TSessionEnd::TSessionEnd(std::function<void()> terminate, QObject* parent)
    : QObject(parent), terminate_(std::move(terminate)) {
#ifndef _WIN32
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
    if (wakePipe[0] >= 0) {
        // Bytes from an earlier instance's time are not a request to this one.
        Drain();
        notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &TSessionEnd::OnWake);
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        // Interrupted calls are restarted, so a signal during a blocking database call ends the
        // loop only once that call has returned.
        sa.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            struct sigaction old {};
            // Ignored at start (nohup, a background job): the starter wants it so.
            if (::sigaction(kSignals[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
                continue;
            taken[i] = ::sigaction(kSignals[i], &sa, &previous[i]) == 0;
        }
        listening.store(true);
    }
#endif
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session is ending: agree (nothing is cancelled) and end the loop.
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { End(); });
    }
}

TSessionEnd::~TSessionEnd() {
#ifndef _WIN32
    listening.store(false);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (taken[i]) {
            ::sigaction(kSignals[i], &previous[i], nullptr);
            taken[i] = false;
        }
#endif
}

void TSessionEnd::RefuseClientShutdown(const ibx::ClientApi& api) noexcept {
#ifndef _WIN32
    // The library keeps every callback it is given; one is enough for the process.
    static std::atomic<bool> registered{false};
    if (registered.exchange(true))
        return;
    try {
        ISC_STATUS_ARRAY status{};
        api.fb_shutdown_callback(status, OnClientShutdown, fb_shut_confirmation, nullptr);
    } catch (...) {
        // An older client library without the call has no shutdown of its own to refuse.
    }
#else
    (void)api;
#endif
}

void TSessionEnd::OnWake() {
#ifndef _WIN32
    Drain();
#endif
    End();
}

void TSessionEnd::End() {
    if (requested_)
        return;
    requested_ = true;
    if (terminate_)
        terminate_();
}

} // namespace vcl
