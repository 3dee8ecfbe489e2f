#include "ResultText.h"

#include <QAccessible>
#include <QLabel>

void showResultText(QLabel* label, const QString& text) {
    // The name first: a label without one sends a name-change event of its own for its new text.
    if (label->accessibleName() != text) {
        // QWidget sends the name-change event itself.
        label->setAccessibleName(text);
        label->setText(text);
        return;
    }
    label->setText(text);
    QAccessibleEvent event(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
