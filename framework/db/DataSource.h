#pragma once
// Links a query to the controls that show it: they subscribe and are told when the query opens,
// closes or caches more rows.

#include <functional>
#include <vector>

namespace ibx {

class TIBQuery;

enum class TDataEvent {
    StateChanged, ///< opened (columns known, no rows yet) or closed
    RowsAppended, ///< more rows are in the query's cache
};

class TDataSource {
public:
    using Listener = std::function<void(TDataEvent)>;

    TDataSource() = default;
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;
    ~TDataSource();

    TIBQuery* DataSet() const noexcept { return dataSet_; }
    void SetDataSet(TIBQuery* query);

    /// Returns a token for Unsubscribe.
    int Subscribe(Listener listener);
    void Unsubscribe(int token);

    /// Called by the query.
    void Notify(TDataEvent event);
    /// Called by a query that is being destroyed, so no dangling link is left.
    void DataSetDestroyed(TIBQuery* query) noexcept;

private:
    TIBQuery* dataSet_ = nullptr;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextToken_ = 1;
};

} // namespace ibx
