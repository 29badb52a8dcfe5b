#pragma once
// The result grid: a read-only table view of what a data source's query holds, asking the query
// for rows only as the view needs them. Fetch failures go to the sink of ResultModel.h
// (vcl::SetFetchErrorSink), which the application points at its default error display.

#include "ResultModel.h"

#include <QTableView>

#include <cstddef>
#include <functional>

namespace ibx {
class TDataSource;
}

namespace vcl {

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    /// Binds the grid to the query of `source`, which must outlive the binding; null unbinds.
    void SetDataSource(ibx::TDataSource* source);
    ibx::TDataSource* DataSource() const { return source_; }

    /// The model the grid shows.
    TResultModel* ResultModel() const noexcept { return model_; }

    /// Rows the view needs cached to fill the viewport at its scroll position, plus one.
    std::size_t RowsWanted() const;

    /// What sounds the beep for a character a column could never hold (QApplication::beep).
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }
    void Beep() const;

    /// Initial width of a column in average characters, by its kind and size.
    static int DisplayChars(const ibx::TFieldDef& field);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void ApplyColumnWidths();
    void FillViewport();

    ibx::TDataSource* source_ = nullptr;
    TResultModel* model_ = nullptr;
    std::function<void()> beep_;
};

} // namespace vcl
