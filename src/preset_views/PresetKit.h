#pragma once

#include <QString>
#include <QWidget>

class QAbstractButton;
class QPushButton;

// The kit controls the preset panels are built from, in one place.
namespace PresetKit {

// A tab of a preset panel (icon and title; selected look).
QAbstractButton* tabButton(const QString& symbol, const QString& title, QWidget* parent);
void setTabSelected(QAbstractButton* button, bool selected);
// The "Add New Preset" tile with its "N presets" count.
QAbstractButton* addPresetTile(QWidget* parent);
void setPresetsCount(QAbstractButton* tile, qint64 count);
// The round "xmark" close button of a panel header; `side` is its frame.
QAbstractButton* closeButton(int side, int symbolSize, QWidget* parent);
// The rounded glass background of a whole panel.
QWidget* panelBackground(int radius, QWidget* parent);

} // namespace PresetKit
