#include "ResultModel.h"

#include "db/FieldText.h"
#include "db/IBQuery.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <climits>
#include <stdexcept>

namespace vcl {
namespace {

TFetchErrorSink& Sink() {
    static TFetchErrorSink sink;
    return sink;
}

void Deliver(const std::exception_ptr& error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            if (Sink())
                Sink()(e);
            else
                qWarning("fetching rows failed: %s", e.what());
        }
    } catch (...) {
        // The sink itself failed; nothing is left to tell, and the event loop must go on.
    }
}

// Later, from the event loop: a message box must not open inside painting or layout.
void Report(std::exception_ptr error) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [error] { Deliver(error); }, Qt::QueuedConnection);
    else
        Deliver(error);
}

int ClampToInt(std::size_t n) {
    return n > std::size_t(INT_MAX) ? INT_MAX : int(n);
}

bool IsNumber(ibx::TFieldKind kind) {
    return kind == ibx::TFieldKind::Integer || kind == ibx::TFieldKind::FixedPoint ||
           kind == ibx::TFieldKind::Float;
}

} // namespace

void SetFetchErrorSink(TFetchErrorSink sink) {
    Sink() = std::move(sink);
}

TResultModel::TResultModel(QObject* parent) : QAbstractTableModel(parent) {}

TResultModel::~TResultModel() {
    if (source_)
        source_->Unsubscribe(token_);
}

void TResultModel::SetDataSource(ibx::TDataSource* source) {
    if (source == source_)
        return;
    if (source_)
        source_->Unsubscribe(token_);
    source_ = source;
    token_ = source_ ? source_->Subscribe([this](ibx::TDataEvent e) { OnDataEvent(e); }) : 0;
    Reset();
}

ibx::TIBQuery* TResultModel::Query() const noexcept {
    return source_ ? source_->DataSet() : nullptr;
}

bool TResultModel::HasResult() const noexcept {
    const ibx::TIBQuery* q = Query();
    return q && q->Active() && q->Rows();
}

void TResultModel::OnDataEvent(ibx::TDataEvent event) {
    if (event == ibx::TDataEvent::StateChanged)
        Reset();
    else if (!fetching_) // our own fetches announce their rows once, at the end
        SyncRows();
}

void TResultModel::Reset() {
    beginResetModel();
    fetchFailed_ = false;
    if (HasResult()) {
        const ibx::TIBQuery* q = Query();
        columns_ = ClampToInt(q->Fields().size());
        rows_ = ClampToInt(q->RecordCount());
    } else {
        columns_ = 0;
        rows_ = 0;
    }
    endResetModel();
}

void TResultModel::SyncRows() {
    const int cached = HasResult() ? ClampToInt(Query()->RecordCount()) : 0;
    if (cached < rows_ || (cached > 0 && columns_ == 0)) {
        Reset();
    } else if (cached > rows_) {
        beginInsertRows(QModelIndex(), rows_, cached - 1);
        rows_ = cached;
        endInsertRows();
    }
}

template <typename F> void TResultModel::Fetching(F&& fetch) {
    if (fetching_ || !HasResult() || fetchFailed_ || Query()->Eof())
        return;
    fetching_ = true;
    try {
        fetch(*Query());
    } catch (...) {
        // Keep the rows so far and ask no more for this result.
        fetchFailed_ = true;
        Report(std::current_exception());
    }
    fetching_ = false;
    SyncRows();
}

void TResultModel::FetchTo(std::size_t rows) {
    Fetching([rows](ibx::TIBQuery& q) { q.FetchTo(rows); });
}

void TResultModel::FetchAll() {
    Fetching([](ibx::TIBQuery& q) { q.FetchAll(); });
}

const ibx::TFieldDef* TResultModel::Field(int column) const {
    if (column < 0 || column >= columns_ || !HasResult())
        return nullptr;
    return &Query()->Fields()[std::size_t(column)];
}

int TResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

QVariant TResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columns_)
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const ibx::RowCache* rows = HasResult() ? Query()->Rows() : nullptr;
        if (!rows)
            return {};
        try {
            const auto column = std::size_t(index.column());
            const ibx::CellView cell = rows->Cell(std::size_t(index.row()), column);
            return QString::fromLocal8Bit(ibx::CellText(rows->Fields()[column], cell));
        } catch (const std::exception&) {
            return {}; // a view's question never unwinds through Qt
        }
    }
    if (role == Qt::TextAlignmentRole) {
        const ibx::TFieldDef* f = Field(index.column());
        if (f && IsNumber(f->Kind))
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    }
    return {};
}

QVariant TResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        const ibx::TFieldDef* f = Field(section);
        if (f && role == Qt::DisplayRole)
            return QString::fromLocal8Bit(f->Name);
        return {};
    }
    // The row indicator carries no text; the grid draws the current row's mark.
    if (role == Qt::DisplayRole)
        return QString();
    return {};
}

Qt::ItemFlags TResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Editable only so the in-place editor can open; it takes no character and writes nothing.
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool TResultModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !fetchFailed_ && HasResult() && !Query()->Eof();
}

void TResultModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid())
        return;
    std::size_t wanted = std::size_t(rows_) + 1;
    if (rowsWanted_) {
        const std::size_t view = rowsWanted_();
        if (view > wanted)
            wanted = view;
    }
    FetchTo(wanted);
}

} // namespace vcl
