#include "AppViewModel.h"

#include "Defaults.h"

AppViewModel::AppViewModel(QObject* parent) : QObject(parent) {
    // Read once; the video studio writes the key when the user changes the mode.
    const auto stored = Defaults::standard().string("videoGenerationMode");
    videoMode_ = stored ? fromRawValue<VideoGenerationMode>(*stored).value_or(VideoGenerationMode::imageToVideo)
                        : VideoGenerationMode::imageToVideo;
}

// Images carry no cheap equality, so every write notifies.
void AppViewModel::setCurrentView(ViewMode v) {
    if (currentView_ == v)
        return;
    currentView_ = v;
    emit currentViewChanged();
}
void AppViewModel::setSharedImage(const std::optional<QImage>& v) {
    sharedImage_ = v;
    emit sharedImageChanged();
}
void AppViewModel::setSharedImageType(const std::optional<ImageType>& v) {
    sharedImageType_ = v;
    emit sharedImageTypeChanged();
}
void AppViewModel::setSavedVideoReferenceImage(const std::optional<QImage>& v) {
    savedVideoReferenceImage_ = v;
    emit savedVideoReferenceImageChanged();
}
void AppViewModel::setSavedVideoLastFrameImage(const std::optional<QImage>& v) {
    savedVideoLastFrameImage_ = v;
    emit savedVideoLastFrameImageChanged();
}
void AppViewModel::setSavedPhotoReferenceImages(const QList<QImage>& v) {
    savedPhotoReferenceImages_ = v;
    emit savedPhotoReferenceImagesChanged();
}
void AppViewModel::setSavedPhotoPrompt(const QString& v) {
    savedPhotoPrompt_ = v;
    emit savedPhotoPromptChanged();
}
void AppViewModel::setSavedVideoPrompt(const QString& v) {
    savedVideoPrompt_ = v;
    emit savedVideoPromptChanged();
}
void AppViewModel::setTextToInsertIntoPhotoPrompt(const std::optional<QString>& v) {
    textToInsertIntoPhotoPrompt_ = v;
    emit textToInsertIntoPhotoPromptChanged();
}
void AppViewModel::setVideoMode(VideoGenerationMode v) {
    videoMode_ = v;
    emit videoModeChanged();
}
