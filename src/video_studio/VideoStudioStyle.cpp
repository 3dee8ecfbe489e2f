#include "VideoStudioStyle.h"

#include "SymbolIcon.h"
#include "Theme.h"

#include <QLabel>

namespace VideoStudioStyle {

QColor cyan() {
    return QColor(0x32, 0xD2, 0xE6);
}

void setSecondary(QLabel* label) {
    setTextColor(label, secondaryColor(label));
    QObject::connect(&Theme::instance(), &Theme::changed, label,
                     [label] { setTextColor(label, secondaryColor(label)); });
}

QPixmap symbol(const QString& name, int pointSize, const QColor& color) {
    return symbolPixmap(name, pointSize, color, 2.0);
}

} // namespace VideoStudioStyle
