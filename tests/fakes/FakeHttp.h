#pragma once

#include <QHttpServerRequest>
#include <QString>

// What the fake services record of an incoming request's method.
QString httpMethodName(QHttpServerRequest::Method method);
