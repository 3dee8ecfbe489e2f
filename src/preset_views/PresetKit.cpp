#include "PresetKit.h"

#include "PresetLook.h"

#include <QPushButton>
#include <QToolButton>

namespace PresetKit {

QAbstractButton* tabButton(const QString& symbol, const QString& title, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setIcon(QIcon(PresetLook::symbol(symbol, 14, PresetLook::primary(parent))));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setAccessibleName(title);
    return button;
}

void setTabSelected(QAbstractButton* button, bool selected) {
    button->setChecked(selected);
}

QAbstractButton* addPresetTile(QWidget* parent) {
    auto* tile = new QPushButton(parent);
    tile->setAccessibleName(QStringLiteral("Add New Preset"));
    tile->setFlat(true);
    setPresetsCount(tile, 0);
    return tile;
}

void setPresetsCount(QAbstractButton* tile, qint64 count) {
    tile->setText(QStringLiteral("Add New Preset    %1 presets").arg(count));
}

QAbstractButton* closeButton(int side, int symbolSize, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("✕"));
    button->setFixedSize(side, side);
    button->setAutoRaise(true);
    button->setAccessibleName(QStringLiteral("Close"));
    button->setToolTip(QStringLiteral("Close"));
    (void)symbolSize;
    return button;
}

QWidget* panelBackground(int radius, QWidget* parent) {
    (void)radius;
    auto* panel = new QWidget(parent);
    panel->setAutoFillBackground(true);
    return panel;
}

} // namespace PresetKit
