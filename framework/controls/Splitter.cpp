#include "Splitter.h"

namespace vcl {

TcxSplitter::TcxSplitter(QWidget* parent) : QWidget(parent) {
    setFixedHeight(8);
    setFocusPolicy(Qt::NoFocus);
}

void TcxSplitter::SetResizeControl(QWidget* control) { control_ = control; }

QRect TcxSplitter::GripRect() const {
    const int w = width() * 30 / 100;
    return QRect((width() - w) / 2, (height() - 7) / 2, w, 7);
}

} // namespace vcl
