#include "db/DataSource.h"
#include "db/IBQuery.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using ibx::TDataEvent;
using ibx::TDataSource;
using ibx::TIBQuery;

TEST(DataSource, LinksBothWaysAndTellsSubscribersUntilUnsubscribed) {
    TIBQuery query;
    TDataSource source;
    source.SetDataSet(&query);
    EXPECT_EQ(query.DataSource(), &source);
    EXPECT_EQ(source.DataSet(), &query);

    std::vector<TDataEvent> seen;
    const int a = source.Subscribe([&](TDataEvent e) { seen.push_back(e); });
    int b = 0;
    // A listener that unsubscribes itself while being told must not upset the others.
    b = source.Subscribe([&](TDataEvent) { source.Unsubscribe(b); });
    source.Notify(TDataEvent::RowsAppended);
    source.Notify(TDataEvent::StateChanged);
    source.Unsubscribe(a);
    source.Notify(TDataEvent::StateChanged);
    EXPECT_EQ(seen, (std::vector<TDataEvent>{TDataEvent::RowsAppended, TDataEvent::StateChanged}));

    TIBQuery other;
    source.SetDataSet(&other);
    EXPECT_EQ(query.DataSource(), nullptr);
    EXPECT_EQ(other.DataSource(), &source);
}

TEST(DataSource, EitherSideMayGoFirst) {
    TIBQuery query;
    {
        TDataSource source;
        source.SetDataSet(&query);
    }
    EXPECT_EQ(query.DataSource(), nullptr);

    TDataSource source;
    {
        TIBQuery shortLived;
        source.SetDataSet(&shortLived);
    }
    EXPECT_EQ(source.DataSet(), nullptr);
}

} // namespace
