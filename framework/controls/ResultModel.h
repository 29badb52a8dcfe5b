#pragma once
// A table model over what a data source's query holds: one column per shown result column, one
// row per cached row, cell text formatted when asked. Rows are fetched only as the view needs
// them; a failure while fetching never unwinds through Qt but goes to the fetch error sink.

#include "db/DataSource.h"
#include "db/Fields.h"

#include <QAbstractTableModel>

#include <cstddef>
#include <exception>
#include <functional>

namespace ibx {
class TIBQuery;
}

namespace vcl {

/// Where a failure that happened while rows were fetched for a view is reported. The
/// application installs its default error display here; it is called from the event loop
/// (queued), never from inside painting or layout. Without one, the text goes to qWarning.
using TFetchErrorSink = std::function<void(const std::exception&)>;
/// Installs the process-wide fetch error sink (an empty function removes it).
void SetFetchErrorSink(TFetchErrorSink sink);

class TResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultModel(QObject* parent = nullptr);
    ~TResultModel() override;

    /// Binds to the query of `source` (which must outlive the binding); null unbinds.
    void SetDataSource(ibx::TDataSource* source);
    ibx::TDataSource* DataSource() const noexcept { return source_; }

    /// Tells the model how many rows the view needs cached; fetchMore fetches that far.
    void SetRowsWanted(std::function<std::size_t()> wanted) { rowsWanted_ = std::move(wanted); }

    /// Fetches until `rows` rows are cached or the result ends; a failure goes to the sink.
    void FetchTo(std::size_t rows);
    /// Fetches every remaining row; a failure goes to the sink.
    void FetchAll();

    /// The shown column, or null outside the columns.
    const ibx::TFieldDef* Field(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    ibx::TIBQuery* Query() const noexcept;
    bool HasResult() const noexcept;
    void OnDataEvent(ibx::TDataEvent event);
    void Reset();
    void SyncRows();
    template <typename F> void Fetching(F&& fetch);

    ibx::TDataSource* source_ = nullptr;
    int token_ = 0;
    std::function<std::size_t()> rowsWanted_;
    int rows_ = 0; ///< rows announced to the views
    int columns_ = 0;
    bool fetching_ = false;
    bool fetchFailed_ = false; ///< stop asking until the next open
};

} // namespace vcl
