#include "PresetFormModel.h"

#include "Dialogs.h"
#include "WhenReady.h"

#include <QMimeData>

PresetFormModel::PresetFormModel(QObject* parent) : QObject(parent) {}

void PresetFormModel::setTitle(const QString& title) {
    if (title_ == title)
        return;
    title_ = title;
    emit titleChanged();
    updateCanSave();
}

void PresetFormModel::setPrompt(const QString& prompt) {
    if (promptHeld_ || prompt_ == prompt)
        return;
    prompt_ = prompt;
    emit promptChanged();
    updateCanSave();
}

void PresetFormModel::setImage(const QImage& image) {
    setImageError(QString());
    if (image_.isNull() && image.isNull())
        return;
    image_ = image;
    emit imageChanged();
}

void PresetFormModel::setEditing(bool editing) {
    if (editing_ == editing)
        return;
    editing_ = editing;
    emit editingChanged();
}

void PresetFormModel::setDragOver(bool over) {
    if (dragOver_ == over)
        return;
    dragOver_ = over;
    emit isDragOverChanged();
}

void PresetFormModel::setLoading(bool loading) {
    if (loading_ == loading)
        return;
    loading_ = loading;
    emit isLoadingImageChanged();
}

void PresetFormModel::setImageError(const QString& error) {
    if (imageError_ == error)
        return;
    imageError_ = error;
    emit imageErrorChanged();
}

bool PresetFormModel::canSave() const {
    return canSave_;
}

void PresetFormModel::updateCanSave() {
    const bool now = !title_.trimmed().isEmpty() && !prompt_.trimmed().isEmpty();
    if (now == canSave_)
        return;
    canSave_ = now;
    emit canSaveChanged();
}

QString PresetFormModel::heading() const {
    return editing_ ? QStringLiteral("Edit Preset") : QStringLiteral("Create New Preset");
}

QString PresetFormModel::saveButtonTitle() const {
    return editing_ ? QStringLiteral("Update") : QStringLiteral("Create");
}

void PresetFormModel::reset(const QString& title, const QString& prompt, const QImage& image, bool editing) {
    setPromptHeld(false);
    setTitle(title);
    setPrompt(prompt);
    setImage(image);
    setEditing(editing);
    setDragOver(false);
}

void PresetFormModel::holdPrompt(const QString& prompt) {
    promptHeld_ = false;
    setPrompt(prompt);
    setPromptHeld(true);
}

void PresetFormModel::setPromptHeld(bool held) {
    if (promptHeld_ == held)
        return;
    promptHeld_ = held;
    // Whether the prompt can be typed in is part of what the field shows.
    emit promptChanged();
}

void PresetFormModel::chooseImage() {
    Dialogs::OpenRequest request;
    request.message = QStringLiteral("Choose a reference image for your preset");
    request.nameFilters = {QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.tif *.tiff *.bmp)")};
    request.allowsMultipleSelection = false;
    // A form gone by the time the panel answers gets no answer.
    Dialogs::current().openFilesAsync(request, this, [this](const QStringList& files) {
        if (!files.isEmpty())
            loadImage(files.first());
    });
}

void PresetFormModel::loadImage(const QString& path) {
    setLoading(true);
    follow(PresetPicture::loadFileForPreset(path));
}

bool PresetFormModel::handleDrop(const QMimeData* mime) {
    setDragOver(false);
    setLoading(true);
    const auto sources = PresetPicture::dropSources(mime);
    if (sources.isEmpty()) {
        // Nothing will load, so nothing would ever end the loading state.
        setLoading(false);
        return true;
    }
    follow(PresetPicture::loadDropForPreset(sources));
    return true;
}

void PresetFormModel::follow(QFuture<ImageCoding::ReadPicture> future) {
    // Every load counts, not only the newest. Its picture is taken on a later turn of the event loop even when
    // the read has already ended, so the loading state is always seen; a form gone by then is not touched.
    whenReady(this, future, [this](const ImageCoding::ReadPicture& read) {
        QMetaObject::invokeMethod(
            this,
            [this, read] {
                if (!read.image.isNull()) {
                    setImage(read.image);
                } else {
                    // The picture held so far stays; the form says why this one was not taken.
                    QString reason = read.error.trimmed();
                    if (!reason.isEmpty() && !reason.endsWith('.'))
                        reason += '.';
                    setImageError(QStringLiteral("This picture could not be read. %1").arg(reason).trimmed());
                }
                setLoading(false);
            },
            Qt::QueuedConnection);
    });
}

void PresetFormModel::requestSave() {
    if (canSave())
        emit saveRequested();
}
