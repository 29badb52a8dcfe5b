#pragma once
// The splitter bar between the statement editor and the grid: a fixed-height bar that resizes the
// control directly above it by dragging, and collapses or restores it by a click on its grip.

#include <QPointer>
#include <QWidget>

namespace vcl {

class TcxSplitter : public QWidget {
    Q_OBJECT
public:
    /// Height of the bar in pixels.
    static constexpr int BarHeight = 8;
    /// Height of the grip in pixels.
    static constexpr int GripHeight = 7;
    /// Least height a drag leaves to the control, and least room a drag leaves below the bar.
    static constexpr int MinSize = 30;
    /// A press on the grip that moves this many pixels in either direction becomes a drag.
    static constexpr int DragThreshold = 3;

    explicit TcxSplitter(QWidget* parent = nullptr);
    ~TcxSplitter() override;

    /// The control above the bar whose height the bar sets (with setFixedHeight).
    void SetResizeControl(QWidget* control);
    QWidget* ResizeControl() const { return control_; }

    /// The look of the grip (kept as a setting; only one look is drawn).
    QString HotZoneClassName = QStringLiteral("TcxXPTaskBarStyle");

    /// Whether the control is collapsed to height 0 by a click on the grip.
    bool IsCollapsed() const { return collapsed_; }
    /// The grip's rectangle in the bar's coordinates.
    QRect GripRect() const;
    /// Whether a drag is in progress (the drag image is shown).
    bool IsDragging() const { return state_ == State::Dragging; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    enum class State { Idle, GripPressed, Dragging };

    int ControlTop() const;
    int ClampedHeight(int height) const;
    int DraggedHeight(const QPointF& globalPos) const;
    void StartDrag();
    void MoveDragImage(int height);
    void EndDrag();
    void ToggleCollapsed();
    void UpdateCursor(const QPoint& pos);

    QPointer<QWidget> control_;
    QPointer<QWidget> dragImage_;
    State state_ = State::Idle;
    QPointF pressGlobal_;
    int pressHeight_ = 0;
    bool collapsed_ = false;
    int heightBeforeCollapse_ = 0;
};

} // namespace vcl
