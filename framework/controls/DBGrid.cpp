#include "DBGrid.h"

namespace vcl {

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {}
TDBGrid::~TDBGrid() = default;

void TDBGrid::SetDataSource(ibx::TDataSource* source) { source_ = source; }

} // namespace vcl
