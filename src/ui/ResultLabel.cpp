#include "ResultLabel.h"

ResultLabel::ResultLabel(QWidget* parent) : QLabel(parent) {}

ResultLabel::ResultLabel(const QString& objectName, const QString& text, QWidget* parent) : QLabel(text, parent) {
    setObjectName(objectName);
}

void ResultLabel::setText(const QString& text) {
    if (text == QLabel::text())
        return;
    // Without an accessible name of its own a label is read by its text, and QLabel announces the change.
    const bool named = !accessibleName().isEmpty();
    QLabel::setText(text);
    if (named)
        setAccessibleName(QString()); // announces the new text once
}
