#include "PresetFormModel.h"

#include "Dialogs.h"

#include <QFutureWatcher>
#include <QMimeData>
#include <QPointer>

PresetFormModel::PresetFormModel(QObject* parent) : QObject(parent) {}

void PresetFormModel::setTitle(const QString& title) {
    if (title_ == title)
        return;
    title_ = title;
    emit titleChanged();
    updateCanSave();
}

void PresetFormModel::setPrompt(const QString& prompt) {
    if (prompt_ == prompt)
        return;
    prompt_ = prompt;
    emit promptChanged();
    updateCanSave();
}

void PresetFormModel::setImage(const QImage& image) {
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

bool PresetFormModel::canSave(const QString& title, const QString& prompt) {
    return !title.trimmed().isEmpty() && !prompt.trimmed().isEmpty();
}

bool PresetFormModel::canSave() const {
    return canSave_;
}

void PresetFormModel::updateCanSave() {
    const bool now = canSave(title_, prompt_);
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

QStringList PresetFormModel::openPanelFilters() {
    return {QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.tif *.tiff *.bmp)")};
}

void PresetFormModel::reset(const QString& title, const QString& prompt, const QImage& image, bool editing) {
    setTitle(title);
    setPrompt(prompt);
    setImage(image);
    setEditing(editing);
    setDragOver(false);
}

void PresetFormModel::chooseImage() {
    Dialogs::OpenRequest request;
    request.message = QString::fromUtf8(kOpenPanelMessage);
    request.nameFilters = openPanelFilters();
    request.allowsMultipleSelection = false;
    // Modeless: the form stays usable while the panel is open; a form gone by then gets no answer.
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

void PresetFormModel::follow(QFuture<QImage> future) {
    // The watcher dies with the form, so a load that ends after the form closed touches nothing.
    auto* watcher = new QFutureWatcher<QImage>(this);
    QPointer<PresetFormModel> self(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [self, watcher] {
        watcher->deleteLater();
        if (!self)
            return;
        const QImage picture = watcher->future().result();
        if (!picture.isNull())
            self->setImage(picture);
        self->setLoading(false);
    });
    watcher->setFuture(future);
}

void PresetFormModel::requestSave() {
    if (canSave())
        emit saveRequested();
}
