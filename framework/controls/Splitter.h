#pragma once
// The splitter bar between the statement editor and the grid: a fixed-height bar that resizes the
// control directly above it by dragging, and collapses or restores it by a click on its grip.

#include <QWidget>

namespace vcl {

class TcxSplitter : public QWidget {
    Q_OBJECT
public:
    explicit TcxSplitter(QWidget* parent = nullptr);

    /// The control above the bar whose height the bar sets (with setFixedHeight).
    void SetResizeControl(QWidget* control);
    QWidget* ResizeControl() const { return control_; }

    /// The look of the grip (kept as a setting; only one look is drawn).
    QString HotZoneClassName = QStringLiteral("TcxXPTaskBarStyle");

    /// Whether the control is collapsed to height 0 by a click on the grip.
    bool IsCollapsed() const { return collapsed_; }
    /// The grip's rectangle in the bar's coordinates.
    QRect GripRect() const;

private:
    QWidget* control_ = nullptr;
    bool collapsed_ = false;
};

} // namespace vcl
