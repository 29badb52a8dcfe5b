#include "Splitter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vcl {

namespace {

// The bar-shaped image that follows the mouse during a drag; it lives on the bar's parent so it can
// be drawn anywhere between the control's top and the bottom of the parent.
class DragImage : public QWidget {
public:
    explicit DragImage(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("SplitterDragImage"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        p.fillRect(rect(), QBrush(palette().color(QPalette::WindowText), Qt::Dense4Pattern));
    }
};

// A fixed height set by setFixedHeight is authoritative even before the layout has run.
int HeightOf(const QWidget* w) {
    return w->minimumHeight() == w->maximumHeight() ? w->maximumHeight() : w->height();
}

} // namespace

TcxSplitter::TcxSplitter(QWidget* parent) : QWidget(parent) {
    setFixedHeight(BarHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setCursor(Qt::SplitVCursor);
    setAccessibleName(QStringLiteral("Splitter"));
}

TcxSplitter::~TcxSplitter() {
    if (state_ == State::Dragging)
        releaseKeyboard();
    delete dragImage_; // lives on the parent, which may outlive the bar
}

void TcxSplitter::SetResizeControl(QWidget* control) {
    if (state_ == State::Dragging)
        EndDrag();
    state_ = State::Idle;
    control_ = control;
    collapsed_ = false;
}

QRect TcxSplitter::GripRect() const {
    const int w = width() * 30 / 100;
    return QRect((width() - w) / 2, (height() - GripHeight) / 2, w, GripHeight);
}

void TcxSplitter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));

    // Two staggered rows of raised dots, in the manner of a task bar's gripper.
    const QRect grip = GripRect();
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    for (int row = 0; row < 2; ++row) {
        const int y = grip.top() + 1 + row * 3;
        for (int x = grip.left() + row * 2; x + 3 <= grip.right() + 1; x += 4) {
            p.fillRect(x + 1, y + 1, 2, 2, light);
            p.fillRect(x, y, 2, 2, dark);
        }
    }
}

int TcxSplitter::ControlTop() const {
    if (control_->parentWidget() == parentWidget())
        return control_->y();
    return parentWidget()->mapFromGlobal(control_->mapToGlobal(QPoint(0, 0))).y();
}

int TcxSplitter::ClampedHeight(int h) const {
    // Keep MinSize pixels below the bar; in a parent too low for both limits the lower one wins.
    const int maxHeight = parentWidget()->height() - height() - ControlTop() - MinSize;
    return std::max(MinSize, std::min(h, maxHeight));
}

int TcxSplitter::DraggedHeight(const QPointF& globalPos) const {
    const int dy = static_cast<int>(std::lround(globalPos.y() - pressGlobal_.y()));
    return ClampedHeight(pressHeight_ + dy);
}

void TcxSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !control_ || !parentWidget() ||
        state_ != State::Idle) {
        event->ignore();
        return;
    }
    pressGlobal_ = event->globalPosition();
    pressHeight_ = HeightOf(control_);
    if (GripRect().contains(event->position().toPoint())) {
        state_ = State::GripPressed;
    } else {
        StartDrag();
    }
    event->accept();
}

void TcxSplitter::mouseMoveEvent(QMouseEvent* event) {
    switch (state_) {
    case State::Idle:
        UpdateCursor(event->position().toPoint());
        break;
    case State::GripPressed: {
        const QPointF d = event->globalPosition() - pressGlobal_;
        if (std::abs(d.x()) >= DragThreshold || std::abs(d.y()) >= DragThreshold) {
            StartDrag();
            MoveDragImage(DraggedHeight(event->globalPosition()));
        }
        break;
    }
    case State::Dragging:
        MoveDragImage(DraggedHeight(event->globalPosition()));
        break;
    }
}

void TcxSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const State was = state_;
    state_ = State::Idle;
    if (was == State::GripPressed && control_) {
        ToggleCollapsed();
    } else if (was == State::Dragging) {
        const int h = DraggedHeight(event->globalPosition());
        EndDrag();
        if (control_) {
            control_->setFixedHeight(h);
            collapsed_ = false;
        }
    }
    UpdateCursor(event->position().toPoint());
}

void TcxSplitter::keyPressEvent(QKeyEvent* event) {
    if (state_ == State::Dragging && event->key() == Qt::Key_Escape) {
        // The button is still down: swallow the rest of the gesture without resizing.
        EndDrag();
        state_ = State::Idle;
        return;
    }
    QWidget::keyPressEvent(event);
}

void TcxSplitter::hideEvent(QHideEvent* event) {
    if (state_ == State::Dragging)
        EndDrag();
    state_ = State::Idle;
    QWidget::hideEvent(event);
}

void TcxSplitter::StartDrag() {
    state_ = State::Dragging;
    setCursor(Qt::SplitVCursor);
    if (!dragImage_)
        dragImage_ = new DragImage(parentWidget());
    MoveDragImage(ClampedHeight(pressHeight_));
    dragImage_->show();
    dragImage_->raise();
    // The bar never has the focus, so Esc reaches it only through a keyboard grab.
    grabKeyboard();
}

void TcxSplitter::MoveDragImage(int h) {
    if (dragImage_ && control_)
        dragImage_->setGeometry(x(), ControlTop() + h, width(), height());
}

void TcxSplitter::EndDrag() {
    releaseKeyboard();
    if (dragImage_)
        dragImage_->hide();
}

void TcxSplitter::ToggleCollapsed() {
    if (collapsed_) {
        control_->setFixedHeight(std::max(MinSize, heightBeforeCollapse_));
        collapsed_ = false;
    } else {
        heightBeforeCollapse_ = HeightOf(control_);
        control_->setFixedHeight(0);
        collapsed_ = true;
    }
}

void TcxSplitter::UpdateCursor(const QPoint& pos) {
    setCursor(GripRect().contains(pos) ? Qt::ArrowCursor : Qt::SplitVCursor);
}

} // namespace vcl
