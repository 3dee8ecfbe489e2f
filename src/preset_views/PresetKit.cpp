#include "PresetKit.h"

#include "Glass.h"
#include "GlassButtons.h"
#include "PresetLook.h"
#include "Theme.h"

#include <QLabel>
#include <QListView>

namespace PresetKit {

QAbstractButton* tabButton(const QString& symbol, const QString& title, QWidget* parent) {
    return new GlassTabButton(symbol, title, parent);
}

void setTabSelected(QAbstractButton* button, bool selected) {
    if (auto* tab = qobject_cast<GlassButton*>(button))
        tab->setSelected(selected);
}

QAbstractButton* addPresetTile(QWidget* parent) {
    auto* tile = new AddPresetTile(parent);
    tile->setAccessibleName(QStringLiteral("Add New Preset"));
    return tile;
}

void setPresetsCount(QAbstractButton* tile, qint64 count) {
    if (auto* add = qobject_cast<AddPresetTile*>(tile))
        add->setPresetsCount(count);
}

QAbstractButton* closeButton(int side, int symbolSize, QWidget* parent) {
    auto* button = new GlassIconButton(QStringLiteral("xmark"), QStringLiteral("Close"), side, symbolSize, parent);
    button->setFill(GlassButton::Fill::controlBackground);
    button->setSymbolColor(Theme::instance().color(ColorRole::secondary));
    return button;
}

QWidget* panelBackground(int radius, QWidget* parent) {
    auto* panel = new GlassPanel(parent);
    panel->setCornerRadius(radius);
    panel->setFill(GlassPanel::Fill::glass);
    return panel;
}

QVBoxLayout* panelColumn(QWidget* view, int radius) {
    auto* outer = new QVBoxLayout(view);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* panel = panelBackground(radius, view);
    outer->addWidget(panel);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    return column;
}

QAbstractButton* addHeader(QBoxLayout* column, const QString& title, const QFont& font, const QMargins& margins,
                           int closeSide, int closeSymbolSize, const QString& name, QWidget* parent) {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(margins);
    auto* label = new QLabel(title, parent);
    label->setObjectName(name + QStringLiteral("Title"));
    label->setFont(font);
    QAbstractButton* close = closeButton(closeSide, closeSymbolSize, parent);
    close->setObjectName(name + QStringLiteral("Close"));
    header->addStretch();
    header->addWidget(label);
    header->addStretch();
    header->addWidget(close);
    column->addLayout(header);
    return close;
}

void setUpCardList(QListView* list) {
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFrameShape(QFrame::NoFrame);
    list->viewport()->setAutoFillBackground(false);
}

} // namespace PresetKit
