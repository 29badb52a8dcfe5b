#include "BoxWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>

namespace testgui {

BoxWatcher::BoxWatcher(std::function<void(const SeenBox&)> onBox, QObject* parent)
    : QObject(parent), onBox_(std::move(onBox)) {
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, &BoxWatcher::Look);
    timer_.start();
}

void BoxWatcher::Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    SeenBox seen;
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons())
        seen.buttons << b->text().remove(QLatin1Char('&'));
    seen.modal = box->windowModality() == Qt::ApplicationModal;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != box && w->isVisible() && w->isWindow())
            ++seen.visibleWindows;
    boxes_.push_back(seen);
    if (onBox_)
        onBox_(seen);
    QAbstractButton* answer = box->button(QMessageBox::Ok);
    if (!answer && !box->buttons().isEmpty())
        answer = box->buttons().first();
    if (answer)
        answer->click();
    else
        box->reject();
}

bool BoxWatcher::WaitFor(std::size_t count, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (boxes_.size() < count && clock.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return boxes_.size() >= count;
}

QString Describe(const SeenBox& box) {
    QString text = box.text;
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QStringLiteral("BOX caption=[%1] text=[%2] icon=%3 buttons=[%4] modal=%5 windows=%6")
        .arg(box.caption, text)
        .arg(int(box.icon))
        .arg(box.buttons.join(QLatin1Char(',')))
        .arg(box.modal ? 1 : 0)
        .arg(box.visibleWindows);
}

} // namespace testgui
