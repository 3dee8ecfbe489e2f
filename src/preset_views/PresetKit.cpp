#include "PresetKit.h"

#include "Glass.h"
#include "GlassButtons.h"
#include "PresetLook.h"
#include "Theme.h"

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

} // namespace PresetKit
