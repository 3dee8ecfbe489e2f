#pragma once

#include "VideoOptions.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

enum class GenerationTaskStatus { pending, active, completed, failed };

// The outcome of a job: a photo (optional image, optional text reply) or a video (the downloaded file).
struct GenerationResult {
    struct Photo {
        std::optional<QImage> image;
        std::optional<QString> textResponse;
    };
    struct Video {
        QString fileURL; // a local file path
    };
    std::variant<Photo, Video> value;

    static GenerationResult photo(std::optional<QImage> image, std::optional<QString> textResponse) {
        return {Photo{std::move(image), std::move(textResponse)}};
    }
    static GenerationResult video(const QString& fileURL) { return {Video{fileURL}}; }
    bool isVideo() const { return std::holds_alternative<Video>(value); }
    const Video* videoValue() const { return std::get_if<Video>(&value); }
};

// One generation job. Two tasks are the same job exactly when their ids are equal.
struct GenerationTask {
    enum class TaskType { photo, video };

    QUuid id = QUuid::createUuid();
    TaskType type = TaskType::video;
    QString prompt;
    QList<QImage> referenceImages;
    std::optional<QSizeF> targetSize;
    std::optional<VideoQuality> quality;
    std::optional<VideoDuration> duration;
    std::optional<bool> promptOptimization;
    std::optional<VideoModel> model;
    std::optional<bool> fastPretreatment;
    QDateTime createdAt;
    GenerationTaskStatus status = GenerationTaskStatus::pending;
    double progress = 0.0;
    std::optional<GenerationResult> result;
    std::optional<QString> error;

    friend bool operator==(const GenerationTask& a, const GenerationTask& b) { return a.id == b.id; }
};
