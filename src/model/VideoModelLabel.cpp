#include "VideoModelLabel.h"

QString videoModelLabel(VideoModel model) {
    switch (model) {
    case VideoModel::hailuo02:
        return QStringLiteral("2.0");
    case VideoModel::hailuo23:
        return QStringLiteral("2.3");
    case VideoModel::hailuo23Fast:
        return QStringLiteral("2.3 Fast");
    }
    return {};
}
