#pragma once

#include <QWidget>

class APIKeySlot;
class APISettingsViewModel;
class QLabel;
class ResultLabel;
class QLineEdit;
class QToolButton;
class Spinner;

// The rows of one key: heading with its status icon, caption, the key field with its show, test and clear
// buttons, and the last result.
class APIKeySection final : public QWidget {
    Q_OBJECT
public:
    APIKeySection(APIKeySlot& slot, QWidget* parent = nullptr);

private:
    void refreshKey();
    void refreshShow();
    void refreshTest();
    void showKeepingFocus(QWidget* control, bool shown, QWidget* standIn);

    APIKeySlot& slot_;
    bool showingStoredKey_ = false;
    // The test button lent the focus while it stands aside; it takes it back afterwards.
    bool focusLent_ = false;
    QLabel* status_;
    QLineEdit* field_;
    QToolButton* showButton_;
    QToolButton* testButton_;
    Spinner* progress_;
    QToolButton* clearButton_;
    QWidget* resultRow_;
    QLabel* resultIcon_;
    ResultLabel* resultText_;
};

// The "API" tab: the image key, the four video keys and where to get keys.
class APISettingsView final : public QWidget {
    Q_OBJECT
public:
    explicit APISettingsView(QWidget* parent = nullptr);

    APISettingsViewModel* model() const { return model_; }

private:
    APISettingsViewModel* model_;
};
