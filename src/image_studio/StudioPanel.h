#pragma once

#include <QVBoxLayout>
#include <QWidget>

// Both halves of the studio lay out their parts alike: one column, 24 in from the panel's edges, 20 between parts.
inline QVBoxLayout* studioPanelColumn(QWidget* panel) {
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);
    return column;
}
