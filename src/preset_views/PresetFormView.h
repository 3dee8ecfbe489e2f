#pragma once

#include "PresetFormModel.h"
#include "Theme.h"

#include <QAbstractButton>
#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QWidget>

class FormButtons;
class QFrame;
class QLabel;
class Spinner;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The picture slot of a preset form: the picture (click to replace), or a dashed drop zone with
// "Add preset cover" / "Loading...". Takes drops of pictures and opens the open panel on a click, or from the
// keyboard on Space or Return: a button to Tab and to assistive tools.
class PresetPictureZone final : public QAbstractButton {
    Q_OBJECT
public:
    // The largest frame a picture is shown in.
    static constexpr QSize coverRoom{320, 200};

    // The picture is fitted into its frame with its own proportions.
    PresetPictureZone(PresetFormModel* form, QColor accent, QWidget* parent);
    QSize sizeHint() const override;
    // Where the picture is drawn in `content`: its frame at most 320 × 200, centred.
    QRectF coverRect(const QRect& content) const;
    // What the zone shows in words: "Add preset cover", "Loading..." or "Reference image".
    QString caption() const;

    // Why a chosen or dropped picture was not taken, along the zone's foot; hidden while there is nothing to say.
    QLabel* message() const { return message_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refresh();
    // The zone less the message at its foot: where the picture, or the symbol and caption, are drawn.
    QRect contentRect() const;
    // The symbol, or the ring while loading, and the caption below it, centred together.
    QRectF symbolRect() const;
    QPointer<PresetFormModel> form_;
    QColor accent_;
    Spinner* ring_;
    QLabel* message_;
};

// The form shown as a sheet over a preset panel, for creating or editing a preset: title, optional picture,
// prompt. A window-modal dialog of the window its parent is in, centred over that window when it shows. It edits
// the panel's form state and reports save and cancel; the panel closes it.
class PresetFormView : public QDialog {
    Q_OBJECT
public:
    struct Style {
        QColor accent;        // drop zone colour
        ColorRole promptFill; // behind the prompt box
        // The prompt editor's minimum height, or with `promptFixedHeight` the whole box's height.
        int promptMinHeight;
        bool promptFixedHeight;
    };
    PresetFormView(PresetFormModel* form, Style style, QWidget* parent);

public slots:
    // Escape and the window's close: a cancel; the panel decides when the form goes.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void showPrompt();
    void restyle();

    QPointer<PresetFormModel> form_;
    QLabel* heading_;
    QLineEdit* title_;
    QPlainTextEdit* prompt_;
    QFrame* promptBox_;
    QPushButton* remove_;
    QPushButton* save_;
    FormButtons* buttons_;
    PresetPictureZone* zone_;
    Style style_;
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
