#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

// Both halves of the studio lay out their parts alike: one column, 24 in from the panel's edges, 20 between parts.
inline QVBoxLayout* studioPanelColumn(QWidget* panel) {
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);
    return column;
}

// The orange symbol before a panel heading, at the default symbol size (it does not follow the scale). The owner
// repaints it through `paintHeadingSymbol` when the appearance changes.
QLabel* headingSymbol(const char* objectName, const QString& symbol, QWidget* parent);
void paintHeadingSymbol(QLabel* label);
