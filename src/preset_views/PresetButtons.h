#pragma once

#include "GlassButtons.h"

// The tab buttons and add tiles of the preset panels are the kit's glass controls; these are their names in
// the panels that use them.
using ImagePresetsTabButton = GlassTabButton;
using AddNewPresetButton = AddPresetTile;
using LiquidGlassTabButton = GlassTabButton;
using AddNewPresetButtonForPrompts = AddPresetTile;
