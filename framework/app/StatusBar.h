#pragma once
// A status bar of fixed panels; the last panel takes the rest of the bar's width.

#include <QStatusBar>

#include <vector>

class QLabel;

namespace vcl {

class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    /// One lowered, left-aligned panel per width; the last width only counts as a minimum.
    TStatusBar(QWidget* parent, const std::vector<int>& panelWidths);

    /// The panel at `index`; throws vcl::Exception when there is none.
    QLabel* Panel(int index) const;
    int PanelCount() const noexcept { return static_cast<int>(panels_.size()); }

private:
    std::vector<QLabel*> panels_;
};

} // namespace vcl
