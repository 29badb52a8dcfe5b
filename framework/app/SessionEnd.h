#pragma once
// Ending with the desktop session: SIGTERM, SIGINT and SIGHUP, and the session manager's
// end-of-session request, end the message loop the way closing the main window does, so the
// normal shutdown (window first, then the data module with its final commit) runs.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace ibx {
struct ClientApi;
}

namespace vcl {

class TSessionEnd : public QObject {
    Q_OBJECT
public:
    /// Takes the three signals (their handlers only write a byte to a pipe; a signal that was
    /// ignored when the process started stays ignored) and calls `terminate` from the event
    /// loop, once, however many signals arrive. One instance at a time.
    explicit TSessionEnd(std::function<void()> terminate, QObject* parent = nullptr);
    /// Gives the signals back their earlier handling; the pipe stays open, so a handler that
    /// is still running writes harmlessly.
    ~TSessionEnd() override;
    TSessionEnd(const TSessionEnd&) = delete;
    TSessionEnd& operator=(const TSessionEnd&) = delete;

    /// Tells the client library to refuse the shutdown it starts on a signal of its own, and
    /// routes that signal here instead; a load hook for ibx::SetClientLoadHook.
    static void RefuseClientShutdown(const ibx::ClientApi& api) noexcept;

    /// What a signal or the session manager's request does: calls `terminate` the first time.
    void End();
    /// Whether an end was requested.
    bool Requested() const noexcept { return requested_; }

private:
    void OnWake();

    std::function<void()> terminate_;
    QSocketNotifier* notifier_ = nullptr;
    bool requested_ = false;
};

} // namespace vcl
