#pragma once

#include "PresetPicture.h"

#include <QImage>
#include <QObject>
#include <QString>

class QMimeData;

// The state and rules of a preset form (image presets and prompt presets share them): title, prompt and an
// optional picture that the host reads when the user saves. Pictures are read and reduced off the GUI thread;
// loads are neither cancelled nor counted, so the last one to succeed sets the picture.
class PresetFormModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY titleChanged)
    Q_PROPERTY(QString prompt READ prompt WRITE setPrompt NOTIFY promptChanged)
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(bool isEditing READ isEditing WRITE setEditing NOTIFY editingChanged)
    Q_PROPERTY(bool isLoadingImage READ isLoadingImage NOTIFY isLoadingImageChanged)
    Q_PROPERTY(QString imageError READ imageError NOTIFY imageErrorChanged)
    Q_PROPERTY(bool isDragOver READ isDragOver WRITE setDragOver NOTIFY isDragOverChanged)
    Q_PROPERTY(bool canSave READ canSave NOTIFY canSaveChanged)
public:
    explicit PresetFormModel(QObject* parent = nullptr);

    QString title() const { return title_; }
    void setTitle(const QString& title);
    QString prompt() const { return prompt_; }
    void setPrompt(const QString& prompt);
    QImage image() const { return image_; }
    void setImage(const QImage& image);
    bool isEditing() const { return editing_; }
    void setEditing(bool editing);
    bool isLoadingImage() const { return loading_; }
    // Why the last picture asked for could not be read; empty once a picture is set or removed.
    QString imageError() const { return imageError_; }
    bool isDragOver() const { return dragOver_; }
    void setDragOver(bool over);

    // Both texts hold something besides white space and newlines.
    bool canSave() const;

    QString heading() const;
    QString saveButtonTitle() const;

    // Fills every field at once (the host does this before it shows the form).
    void reset(const QString& title, const QString& prompt, const QImage& image, bool editing);
    // Fixes the prompt the host saves: the prompt field shows it and cannot change it. Until the next reset.
    void holdPrompt(const QString& prompt);
    bool isPromptHeld() const { return promptHeld_; }

public slots:
    void removeImage() { setImage({}); }
    // Opens the open panel without blocking; cancelling changes nothing.
    void chooseImage();
    void loadImage(const QString& path);
    // Takes a drop; always accepted. With nothing that can give a picture the loading state ends at once.
    bool handleDrop(const QMimeData* mime);
    // Runs the save action only while the form may be saved (the button and Ctrl+Return both come here).
    void requestSave();
    void requestCancel() { emit cancelRequested(); }

signals:
    void titleChanged();
    void promptChanged();
    void imageChanged();
    void editingChanged();
    void isLoadingImageChanged();
    void imageErrorChanged();
    void isDragOverChanged();
    void canSaveChanged();
    void saveRequested();
    void cancelRequested();

private:
    void setLoading(bool loading);
    void setPromptHeld(bool held);
    void setImageError(const QString& error);
    void follow(QFuture<ImageCoding::ReadPicture> future);
    void updateCanSave();

    QString title_;
    QString prompt_;
    bool promptHeld_ = false;
    QImage image_;
    bool editing_ = false;
    bool loading_ = false;
    QString imageError_;
    bool dragOver_ = false;
    bool canSave_ = false;
};
