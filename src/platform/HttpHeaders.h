#pragma once

#include <QByteArray>
#include <QStringView>

// Header values built from user text (API keys pasted with line breaks) must never carry CR, LF or NUL:
// they would split or corrupt the request. The stored text stays as typed; only the header is cleaned.
QByteArray headerValue(QStringView text);
QByteArray bearerHeaderValue(QStringView key);
