#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

class TagHighlighter;

// The prompt editor: tags in square brackets restyled on every keystroke, the text handed to the
// owner 300 ms after the last change (at once on Return, on leaving the editor and on `flush()`),
// never more than the prompt limit of it, and Return without Shift turned into the owner's action.
class SyntaxHighlightedTextEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int debounceMilliseconds = 300;

    explicit SyntaxHighlightedTextEditor(QWidget* parent = nullptr);

    // The size of all text, in device-independent pixels.
    void setFontSize(qreal size);
    // Run (queued) when Return is pressed without Shift; none lets Return insert a line break.
    void setOnEnter(std::function<void()> action) { onEnter_ = std::move(action); }

    // The owner's text changed. While the user is editing here the view keeps what was typed;
    // otherwise a different text replaces the view's, styled, with the caret at the end.
    void updateFromOwner(const QString& text);
    // The owner replaced the prompt: the pending write is dropped and the text set whatever the focus.
    void reset(const QString& text);
    // Writes the pending text now (cut to the limit) and cancels the deferred write.
    void flush();

    TagHighlighter* highlighter() const { return highlighter_; }
    const QTimer& debounceTimer() const { return debounce_; }

signals:
    // The binding towards the owner: the editor's text, cut to the prompt limit.
    void textCommitted(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The text as typed, line breaks as "\n" (no-break spaces stay what they are).
    QString typedText() const;
    void onContentsChange(int position, int removed, int added);
    void replaceText(const QString& text);

    TagHighlighter* highlighter_ = nullptr;
    QTimer debounce_;
    std::function<void()> onEnter_;
    bool settingText_ = false;
};
