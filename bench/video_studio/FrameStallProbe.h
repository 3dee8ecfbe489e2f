#pragma once

// Drops a 24-megapixel photograph on the first frame slot of a live video studio and returns the
// longest gap (ms) between ticks of a GUI-thread timer until the tile shows it; -1 when it never does.
double longestStallDroppingLargeFrame();
