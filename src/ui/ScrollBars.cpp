#include "ScrollBars.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QString>

void nameScrollBars(QAbstractScrollArea* area, const QString& name) {
    area->verticalScrollBar()->setObjectName(area->objectName() + QStringLiteral("VerticalScrollBar"));
    area->verticalScrollBar()->setAccessibleName(name + QStringLiteral(" vertical scroll bar"));
    area->horizontalScrollBar()->setObjectName(area->objectName() + QStringLiteral("HorizontalScrollBar"));
    area->horizontalScrollBar()->setAccessibleName(name + QStringLiteral(" horizontal scroll bar"));
}
