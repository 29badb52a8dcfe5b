#include "DataSource.h"

#include "IBQuery.h"

#include <algorithm>

namespace ibx {

TDataSource::~TDataSource() {
    if (dataSet_ && dataSet_->DataSource() == this)
        dataSet_->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TIBQuery* query) {
    if (query == dataSet_)
        return;
    if (dataSet_ && dataSet_->DataSource() == this)
        dataSet_->SetDataSource(nullptr);
    dataSet_ = query;
    if (dataSet_)
        dataSet_->SetDataSource(this);
}

int TDataSource::Subscribe(Listener listener) {
    const int token = nextToken_++;
    listeners_.emplace_back(token, std::move(listener));
    return token;
}

void TDataSource::Unsubscribe(int token) {
    std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
}

void TDataSource::Notify(TDataEvent event) {
    // A copy, so a listener may subscribe or unsubscribe while it is told.
    const auto listeners = listeners_;
    for (const auto& entry : listeners)
        if (entry.second)
            entry.second(event);
}

void TDataSource::DataSetDestroyed(TIBQuery* query) noexcept {
    if (dataSet_ == query)
        dataSet_ = nullptr;
}

} // namespace ibx
