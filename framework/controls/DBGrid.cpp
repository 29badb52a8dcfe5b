#include "DBGrid.h"

#include "db/FieldText.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace vcl {
namespace {

constexpr int kMaxDisplayChars = 60; // a wide VARCHAR should not push every other column away
constexpr const char* kKindProperty = "tavolixFieldKind";

// The vertical header as a row indicator: no numbers, a mark on the current row.
class RowIndicator : public QHeaderView {
public:
    explicit RowIndicator(QTableView* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {}

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (logicalIndex != grid_->currentIndex().row())
            return;
        const int s = std::max(3, std::min(rect.width(), rect.height()) / 4);
        const QPoint c = rect.center();
        const QPoint mark[] = {
            {c.x() - s / 2, c.y() - s}, {c.x() - s / 2, c.y() + s}, {c.x() + s / 2 + 1, c.y()}};
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().color(QPalette::WindowText));
        painter->drawPolygon(mark, 3);
        painter->restore();
    }
    QSize sectionSizeFromContents(int logicalIndex) const override {
        QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
        size.setWidth(std::max(size.width(), fontMetrics().height()));
        return size;
    }

private:
    QTableView* grid_;
};

// The in-place editor shows the cell's text and takes no character; one the column could never
// hold also beeps.
class ReadOnlyDelegate : public QStyledItemDelegate {
public:
    explicit ReadOnlyDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* editor = new QLineEdit(parent);
        editor->setReadOnly(true);
        editor->setFrame(false);
        if (const ibx::TFieldDef* f = grid_->ResultModel()->Field(index.column()))
            editor->setProperty(kKindProperty, int(f->Kind));
        return editor;
    }
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            const bool typed = !text.isEmpty() && text.front().isPrint() &&
                               !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
            if (typed) {
                const QVariant kind = object->property(kKindProperty);
                if (kind.isValid()) {
                    for (char32_t ch : text.toUcs4())
                        if (!ibx::IsValidChar(ibx::TFieldKind(kind.toInt()), ch)) {
                            grid_->Beep();
                            break;
                        }
                }
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TDBGrid* grid_;
};

} // namespace

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(new TResultModel(this)) {
    setVerticalHeader(new RowIndicator(this));
    setModel(model_);
    setItemDelegate(new ReadOnlyDelegate(this));
    model_->SetRowsWanted([this] { return RowsWanted(); });

    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Fixed row heights: the rows the viewport needs follow from its height alone.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setHighlightSections(false);

    connect(model_, &QAbstractItemModel::modelReset, this, &TDBGrid::ApplyColumnWidths);
    // Qt asks for more only when the scroll bar reaches its end; a scroll that uncovers
    // rows not yet fetched must fetch them too.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { FillViewport(); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, verticalHeader()->viewport(),
            [this] { verticalHeader()->viewport()->update(); });
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::SetDataSource(ibx::TDataSource* source) {
    source_ = source;
    model_->SetDataSource(source);
}

std::size_t TDBGrid::RowsWanted() const {
    const int rowHeight = verticalHeader()->defaultSectionSize();
    const int height = viewport()->height();
    if (rowHeight <= 0 || height <= 0)
        return 1;
    const long long lastVisible =
        (static_cast<long long>(verticalHeader()->offset()) + height - 1) / rowHeight;
    return static_cast<std::size_t>(lastVisible) + 2;
}

void TDBGrid::FillViewport() {
    if (!model_->canFetchMore(QModelIndex()))
        return;
    const std::size_t wanted = RowsWanted();
    if (wanted > std::size_t(model_->rowCount()))
        model_->FetchTo(wanted);
}

void TDBGrid::Beep() const {
    if (beep_)
        beep_();
    else
        QApplication::beep();
}

int TDBGrid::DisplayChars(const ibx::TFieldDef& field) {
    using K = ibx::TFieldKind;
    const int type = field.SqlType & ~1;
    switch (field.Kind) {
    case K::Text:
        return std::clamp<int>(field.SqlLen, 1, kMaxDisplayChars);
    case K::Integer:
        return type == SQL_SHORT ? 6 : type == SQL_LONG ? 11 : 20;
    case K::FixedPoint:
        return type == SQL_SHORT ? 7 : type == SQL_LONG ? 12 : 21;
    case K::Float:
        return 16;
    case K::Date:
        return 10;
    case K::Time:
        return 8;
    case K::DateTime:
        return 19;
    case K::Memo:
    case K::Blob:
        return 6;
    }
    return 10;
}

void TDBGrid::ApplyColumnWidths() {
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QFontMetrics titleMetrics = horizontalHeader()->fontMetrics();
    for (int c = 0; c < model_->columnCount(); ++c) {
        const ibx::TFieldDef* f = model_->Field(c);
        if (!f)
            continue;
        const int data = DisplayChars(*f) * digit + 8;
        const int title = titleMetrics.horizontalAdvance(QString::fromLocal8Bit(f->Name)) + 16;
        setColumnWidth(c, std::max(data, title));
    }
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Insert:
        event->accept(); // the result takes no new row
        return;
    case Qt::Key_Delete:
        if (mods & Qt::ControlModifier) {
            event->accept(); // nor deletes one, and asks nothing
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (state() != QAbstractItemView::EditingState && currentIndex().isValid()) {
            edit(currentIndex());
            event->accept();
            return;
        }
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!(mods & (Qt::ControlModifier | Qt::AltModifier))) {
            QTableView::keyPressEvent(event);
            event->accept(); // Tab moves between cells and never leaves the grid
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    const int last = model_->rowCount() - 1;
    switch (action) {
    case MoveEnd:
        if (modifiers & Qt::ControlModifier)
            model_->FetchAll();
        break;
    case MoveDown:
        if (row >= last)
            model_->FetchTo(std::size_t(row) + 2);
        break;
    case MovePageDown: {
        const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
        const int page = std::max(1, viewport()->height() / rowHeight);
        model_->FetchTo(std::size_t(row) + std::size_t(page) + 2);
        break;
    }
    default:
        break;
    }
    return QTableView::moveCursor(action, modifiers);
}

} // namespace vcl
