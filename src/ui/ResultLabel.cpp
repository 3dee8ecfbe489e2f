#include "ResultLabel.h"

#include <QAccessible>
#include <QTextDocumentFragment>

ResultLabel::ResultLabel(QWidget* parent) : QLabel(parent) {}

ResultLabel::ResultLabel(const QString& objectName, const QString& text, QWidget* parent) : QLabel(parent) {
    setObjectName(objectName);
    setText(text);
}

void ResultLabel::setText(const QString& text) {
    const bool rich = textFormat() == Qt::RichText || (textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    const QString spoken = rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
    QLabel::setText(text);
    if (accessibleName() != spoken) {
        setAccessibleName(spoken); // QWidget announces the new name itself
        return;
    }
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
