#include "HttpHeaders.h"

#include <QString>

QByteArray headerValue(QStringView text) {
    QByteArray bytes = text.toUtf8();
    bytes.removeIf([](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    return bytes;
}

QByteArray bearerHeaderValue(QStringView key) {
    return QByteArrayLiteral("Bearer ") + headerValue(key);
}
