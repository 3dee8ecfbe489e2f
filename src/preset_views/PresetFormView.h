#pragma once

#include "PresetFormModel.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

class FormButtons;
class QAbstractButton;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The picture slot of a preset form: the picture (click to replace), or a dashed drop zone with
// "Add preset cover" / "Loading...". Takes drops of pictures and opens the open panel on a click.
class PresetPictureZone final : public QWidget {
    Q_OBJECT
public:
    PresetPictureZone(PresetFormModel* form, QColor accent, QWidget* parent);
    QSize sizeHint() const override;
    // What the zone shows in words: "Add preset cover", "Loading..." or "Reference image".
    QString caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refresh();
    QPointer<PresetFormModel> form_;
    QColor accent_;
};

// The form shown as a sheet over a preset panel, for creating or editing a preset: title, optional picture,
// prompt. It edits the panel's form state and reports save and cancel; the panel closes it.
class PresetFormView : public QWidget {
    Q_OBJECT
public:
    struct Style {
        QColor accent;       // drop zone colour
        int promptMinHeight; // the prompt box
        bool promptFixedHeight;
    };
    PresetFormView(PresetFormModel* form, Style style, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();

    QPointer<PresetFormModel> form_;
    QLabel* heading_;
    QLineEdit* title_;
    QPlainTextEdit* prompt_;
    QPushButton* remove_;
    QPushButton* save_;
    FormButtons* buttons_;
    PresetPictureZone* zone_;
};

// The image preset form (orange drop zone).
class CreateImagePresetView final : public PresetFormView {
    Q_OBJECT
public:
    CreateImagePresetView(PresetFormModel* form, QWidget* parent);
};

// The prompt preset form (blue drop zone).
class CreatePresetView final : public PresetFormView {
    Q_OBJECT
public:
    CreatePresetView(PresetFormModel* form, QWidget* parent);
};
