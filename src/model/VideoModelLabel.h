#pragma once

#include "VideoOptions.h"

#include <QString>

// The short name of a clip model ("2.0", "2.3", "2.3 Fast"): the settings choice, the gallery badge and the
// stored record of a clip all read it from here.
QString videoModelLabel(VideoModel model);
