#include "StudioPanel.h"

#include "SymbolIcon.h"
#include "Theme.h"

namespace {
constexpr double defaultSymbolSize = 13;
}

QLabel* headingSymbol(const char* objectName, const QString& symbol, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setProperty("symbol", symbol);
    label->setFixedSize(int(defaultSymbolSize), int(defaultSymbolSize));
    paintHeadingSymbol(label);
    return label;
}

void paintHeadingSymbol(QLabel* label) {
    label->setPixmap(symbolPixmap(label->property("symbol").toString(), defaultSymbolSize,
                                  Theme::instance().color(ColorRole::orange), label->devicePixelRatioF()));
}
