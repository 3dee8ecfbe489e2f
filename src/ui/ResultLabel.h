#pragma once

#include <QLabel>

// A label that reports a result (a key test's outcome, a state, the queue's progress). Assistive tools read its
// text as its name and hear each result: every setText sends one name change, also when the same result
// arrives again (a second test of the same key). An accessible name set by hand is replaced at the next text.
class ResultLabel : public QLabel {
    Q_OBJECT
public:
    explicit ResultLabel(QWidget* parent = nullptr);
    ResultLabel(const QString& objectName, const QString& text, QWidget* parent = nullptr);

    // Set the text through this, not through a QLabel pointer (QLabel::setText is not virtual). Call it when a
    // result arrives, not to repaint one.
    void setText(const QString& text);
};
