#pragma once

#include <QLabel>

// A label that reports a result (a key test's outcome, a state, the queue's progress). Assistive tools read its
// text as its name and hear each new text: a different text sends one name change. An accessible name set on it
// is dropped at the next text, so the name never goes stale.
class ResultLabel : public QLabel {
    Q_OBJECT
public:
    explicit ResultLabel(QWidget* parent = nullptr);
    ResultLabel(const QString& objectName, const QString& text, QWidget* parent = nullptr);

    // Set the text through this, not through a QLabel pointer (QLabel::setText is not virtual).
    void setText(const QString& text);
};
