#include "StatusBar.h"

#include "core/Exceptions.h"

#include <QLabel>

namespace vcl {

TStatusBar::TStatusBar(QWidget* parent, const std::vector<int>& panelWidths) : QStatusBar(parent) {
    setSizeGripEnabled(true);
    for (std::size_t i = 0; i < panelWidths.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panel->setTextFormat(Qt::PlainText);
        const bool last = i + 1 == panelWidths.size();
        if (last) {
            // Ignored: a long text neither widens the bar nor makes the window scroll sideways.
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            addWidget(panel, 1);
        } else {
            panel->setFixedWidth(panelWidths[i]);
            addWidget(panel, 0);
        }
        panels_.push_back(panel);
    }
}

QLabel* TStatusBar::Panel(int index) const {
    if (index < 0 || index >= PanelCount())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return panels_[static_cast<std::size_t>(index)];
}

} // namespace vcl
