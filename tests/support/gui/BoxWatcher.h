#pragma once
// Message boxes in widget tests: a timer looks for the application-modal QMessageBox that is
// up (its own modal loop keeps the timer running), records it and presses its OK button (or
// its first button), so a test can check what the user would have read.

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

namespace testgui {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;    ///< button texts, in the box's order
    bool modal = false;     ///< application-modal
    int visibleWindows = 0; ///< other visible top-level windows while the box was up
};

class BoxWatcher : public QObject {
public:
    /// `onBox` runs while the box is still up, before it is answered.
    explicit BoxWatcher(std::function<void(const SeenBox&)> onBox = {}, QObject* parent = nullptr);

    const std::vector<SeenBox>& Boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); }
    /// Processes events until `count` boxes have been seen or `timeoutMs` passed.
    bool WaitFor(std::size_t count, int timeoutMs = 5000);

private:
    void Look();

    QTimer timer_;
    std::function<void(const SeenBox&)> onBox_;
    std::vector<SeenBox> boxes_;
};

/// A one-line picture of a box, for failure messages and for a child process's output.
QString Describe(const SeenBox& box);

} // namespace testgui
