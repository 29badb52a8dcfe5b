#include "Form.h"

#include "Application.h"

#include <QCloseEvent>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vcl {

TForm::TForm(TComponent* owner)
    : QWidget(nullptr), owner_(owner), scroll_(new QScrollArea(this)), client_(new QWidget) {
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->addWidget(scroll_);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFocusPolicy(Qt::NoFocus);
    // Every control spans the full width, so only the height ever needs scrolling.
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setWidgetResizable(true);
    scroll_->setWidget(client_);
    client_->setObjectName(QStringLiteral("ClientArea"));
}

TForm::~TForm() = default;

void TForm::DoCreate() {
    if (OnCreate)
        OnCreate();
}

void TForm::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Application && Application->MainForm() == this)
        Application->Terminate();
}

} // namespace vcl
