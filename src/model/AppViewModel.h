#pragma once

#include "EnumTraits.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

enum class ViewMode { imageGeneration, videoGeneration };
enum class ImageType { first, last };
enum class VideoGenerationMode { imageToVideo, startEndVideo };

template <> struct EnumTraits<VideoGenerationMode> {
    static constexpr std::array<std::pair<VideoGenerationMode, const char*>, 2> cases{{
        {VideoGenerationMode::imageToVideo, "image_to_video"},
        {VideoGenerationMode::startEndVideo, "start_end_video"},
    }};
};

// How the two studios talk to each other: which one is shown, what is handed across, the video mode.
class AppViewModel : public QObject {
    Q_OBJECT
public:
    explicit AppViewModel(QObject* parent = nullptr);

    ViewMode currentView() const { return currentView_; }
    std::optional<QImage> sharedImage() const { return sharedImage_; }
    std::optional<ImageType> sharedImageType() const { return sharedImageType_; }
    std::optional<QImage> savedVideoReferenceImage() const { return savedVideoReferenceImage_; }
    std::optional<QImage> savedVideoLastFrameImage() const { return savedVideoLastFrameImage_; }
    QList<QImage> savedPhotoReferenceImages() const { return savedPhotoReferenceImages_; }
    QString savedPhotoPrompt() const { return savedPhotoPrompt_; }
    QString savedVideoPrompt() const { return savedVideoPrompt_; }
    std::optional<QString> textToInsertIntoPhotoPrompt() const { return textToInsertIntoPhotoPrompt_; }
    VideoGenerationMode videoMode() const { return videoMode_; }

    void setCurrentView(ViewMode v);
    void setSharedImage(const std::optional<QImage>& v);
    void setSharedImageType(const std::optional<ImageType>& v);
    void setSavedVideoReferenceImage(const std::optional<QImage>& v);
    void setSavedVideoLastFrameImage(const std::optional<QImage>& v);
    void setSavedPhotoReferenceImages(const QList<QImage>& v);
    void setSavedPhotoPrompt(const QString& v);
    void setSavedVideoPrompt(const QString& v);
    void setTextToInsertIntoPhotoPrompt(const std::optional<QString>& v);
    void setVideoMode(VideoGenerationMode v);

signals:
    void currentViewChanged();
    void sharedImageChanged();
    void sharedImageTypeChanged();
    void savedVideoReferenceImageChanged();
    void savedVideoLastFrameImageChanged();
    void savedPhotoReferenceImagesChanged();
    void savedPhotoPromptChanged();
    void savedVideoPromptChanged();
    void textToInsertIntoPhotoPromptChanged();
    void videoModeChanged();

private:
    ViewMode currentView_ = ViewMode::imageGeneration;
    std::optional<QImage> sharedImage_;
    std::optional<ImageType> sharedImageType_;
    std::optional<QImage> savedVideoReferenceImage_;
    std::optional<QImage> savedVideoLastFrameImage_;
    QList<QImage> savedPhotoReferenceImages_;
    QString savedPhotoPrompt_;
    QString savedVideoPrompt_;
    std::optional<QString> textToInsertIntoPhotoPrompt_;
    VideoGenerationMode videoMode_ = VideoGenerationMode::imageToVideo;
};
