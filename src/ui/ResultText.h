#pragma once

class QLabel;
class QString;

// Texts that report a result (a key test's verdict, a job's state) are heard by assistive tools when they arrive:
// shows `text` in `label`, keeps the label's accessible name equal to it and sends one name-change event, also
// when the same result arrives again. Call it when a result arrives, not to repaint one.
void showResultText(QLabel* label, const QString& text);
