#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The two buttons of a form: a plain "xmark" cancel button (Escape) and a default confirm button
// (Ctrl+Return), enabled only while every required text, trimmed of white space and newlines, is non-empty
// and the extra condition, if any, holds. Views may move either button into their own layout; the shortcuts
// go with the buttons.
class FormButtons final : public QWidget {
    Q_OBJECT
public:
    explicit FormButtons(const QString& confirmTitle, QWidget* parent = nullptr);

    QAbstractButton* cancelButton() const { return cancel_; }
    QPushButton* confirmButton() const { return confirm_; }

    void addRequired(QLineEdit* field);
    void addRequired(QPlainTextEdit* field);
    void addRequired(QTextEdit* field);
    // For texts that do not live in an editor; call refresh() when they change.
    void addRequired(std::function<QString()> text);
    void setCondition(std::function<bool()> condition);
    void refresh();

    bool canConfirm() const;
    static bool hasContent(const QString& text);

signals:
    void confirmed();
    void cancelled();

private:
    void confirm();
    void stylePrimary();

    QAbstractButton* cancel_;
    QPushButton* confirm_;
    QList<std::function<QString()>> required_;
    std::function<bool()> condition_;
};
