#pragma once

#include <QString>

// A number as the shortest decimal text that reads back to the same value, with ".0" on whole numbers
// ("0.7", "4.0", "1.5"): the form the log lines and messages show.
QString decimalText(double value);
QString decimalText(float value);
