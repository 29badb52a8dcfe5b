#pragma once
// The result grid: a read-only table view of what a data source's query holds, asking the query
// for rows only as the view needs them.

#include <QTableView>

namespace ibx {
class TDataSource;
}

namespace vcl {

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void SetDataSource(ibx::TDataSource* source);
    ibx::TDataSource* DataSource() const { return source_; }

private:
    ibx::TDataSource* source_ = nullptr;
};

} // namespace vcl
