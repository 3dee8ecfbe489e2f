#pragma once

#include "VideoOptions.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

// The video service client of one key slot.
class MiniMaxAPIService : public QObject {
    Q_OBJECT
public:
    MiniMaxAPIService(const QString& apiKey, int keyNumber, QObject* parent = nullptr);

    // The shared client (key slot 1) that holds the video options the studio edits.
    static MiniMaxAPIService& shared();

    QString apiKey() const { return apiKey_; }
    int keyNumber() const { return keyNumber_; }
    bool isLoading() const { return isLoading_; }
    std::optional<QString> generatedVideoURL() const { return generatedVideoURL_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }
    std::optional<QDateTime> lastRequestTime() const { return lastRequestTime_; }

    VideoModel selectedModel() const { return selectedModel_; }
    bool fastPretreatment() const { return fastPretreatment_; }
    bool enablePromptOptimization() const { return enablePromptOptimization_; }
    void setSelectedModel(VideoModel model) { selectedModel_ = model; }
    void setFastPretreatment(bool on) { fastPretreatment_ = on; }
    void setEnablePromptOptimization(bool on) { enablePromptOptimization_ = on; }

signals:
    void stateChanged();

private:
    QString apiKey_;
    int keyNumber_;
    bool isLoading_ = false;
    std::optional<QString> generatedVideoURL_;
    std::optional<QString> errorMessage_;
    std::optional<QDateTime> lastRequestTime_;
    VideoModel selectedModel_ = VideoModel::hailuo02;
    bool fastPretreatment_ = false;
    bool enablePromptOptimization_ = true;
};
