#pragma once

#include "MiniMaxError.h"
#include "MiniMaxWire.h"
#include "RequestSpacing.h"
#include "VideoOptions.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>
#include <variant>

#include <QNetworkRequest>

class QNetworkReply;

// The video service client of one key slot. It runs one job at a time and reports only through its
// published state (announced by `stateChanged()`): loading flag, clip file, progress, error text.
class MiniMaxAPIService : public QObject {
    Q_OBJECT
public:
    MiniMaxAPIService(const QString& apiKey, int keyNumber, QObject* parent = nullptr);

    // The shared client (key slot 1) that holds the video options the studio edits.
    static MiniMaxAPIService& shared();

    bool isLoading() const { return isLoading_; }
    std::optional<QString> generatedVideoURL() const { return generatedVideoURL_; } // a local file path
    double generationProgress() const { return generationProgress_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }
    std::optional<QString> currentTaskId() const { return currentTaskId_; }

    bool enablePromptOptimization() const { return enablePromptOptimization_; }
    VideoModel selectedModel() const { return selectedModel_; }
    bool fastPretreatment() const { return fastPretreatment_; }
    void setEnablePromptOptimization(bool on);
    void setSelectedModel(VideoModel model);
    void setFastPretreatment(bool on);

    QString apiKey() const { return apiKey_; }
    // A key edited in the settings replaces this client's key; a refusal of the old key no longer counts.
    void setApiKey(const QString& key);
    int keyNumber() const { return keyNumber_; }
    QString groupId() const;
    QString baseURL() const;
    QString resultURL() const;
    QString fileRetrieveURL() const;
    // When the last generation request was about to be sent (wall time); none before the first.
    std::optional<QDateTime> lastRequestTime() const { return lastRequestTime_; }
    static constexpr double minimumRequestInterval = 12.1;
    // Time before this client may send its next generation request, on monotonic time.
    qint64 requestSpacingRemainingMs() const { return spacing_.remainingMs(); }
    // A clip larger than this is refused: no real clip comes near it, an endless body would fill the disk.
    static constexpr qint64 maximumClipBytes = qint64(2) << 30;
    static constexpr int maxRetries = 3;
    int retryCount() const { return retryCount_; }
    // True once the service has turned this client's key (or the group id) away.
    bool keyRejected() const { return keyRejected_; }

    // Checks the job, then sends it; returns once it is refused, has failed or has been accepted.
    // After acceptance, polling and the download go on by themselves while `isLoading` stays true.
    QCoro::Task<> generateVideo(std::optional<QString> prompt, std::optional<QImage> firstFrame,
                                std::optional<QImage> lastFrame, VideoQuality quality, VideoDuration duration);

    static QString buildPrompt(const QString& prompt);

signals:
    void stateChanged();

private:
    // A failure is either one of ours or a text from the network or decoding layer.
    struct Failure {
        std::optional<MiniMaxError> error;
        QString text;
        bool transient = false; // worth asking again: the service may simply not have answered well this time
        static Failure of(const MiniMaxError& error) { return {error, {}}; }
        static Failure withText(const QString& text) { return {std::nullopt, text}; }
        Failure asTransient() const {
            Failure copy = *this;
            copy.transient = true;
            return copy;
        }
        QString description() const { return error ? error->localizedDescription() : text; }
    };
    template <class T> using Outcome = std::variant<T, Failure>;
    struct PreparedRequest;
    struct Job;

    std::optional<QString> validate(const std::optional<QString>& prompt, bool hasFirstFrame, bool hasLastFrame,
                                    VideoQuality quality, VideoDuration duration) const;
    QCoro::Task<> sendGenerationRequest(Job job);
    QCoro::Task<Outcome<PreparedRequest>> makeGenerationRequest(Job job);
    QCoro::Task<> waitForRateLimit();
    // Asks until an answer comes: a transient failure is asked again after 2, 4 and 8 s, any other ends the job
    // with its text after `context`. None once the job has ended or been taken over, or this client is gone.
    template <class T>
    QCoro::Task<std::optional<T>> askUntilAnswered(QCoro::Task<Outcome<T>> (MiniMaxAPIService::*ask)(QString),
                                                   QString id, QString context, quint64 token);
    QCoro::Task<> startPolling(QString taskId, quint64 token);
    QCoro::Task<Outcome<TaskResultResponse>> checkTaskStatus(QString taskId);
    void handleTaskStatus(const TaskResultResponse& answer, bool& stop);
    QCoro::Task<> fetchVideo(QString fileId, quint64 token);
    QCoro::Task<Outcome<QUrl>> retrieveDownloadURL(QString fileId);
    // A request still open when this client goes is aborted, so the task awaiting it ends with the client.
    void abandonWithThis(QNetworkReply* reply) const;
    // GET of a status answer: HTTP 200 that decodes as T and whose status block, when present, is 0.
    // Touches nothing of this client after the request has gone out.
    template <class T>
    QCoro::Task<Outcome<T>> fetchStatusAnswer(QNetworkRequest request, Decoded<T> (*decode)(const QByteArray&));
    QCoro::Task<> downloadVideo(QUrl url, quint64 token);

    bool isCurrent(quint64 token) const { return token == jobToken_; }
    // Ends the job with a failure; the service's own key rejections keep their fixed texts.
    void endWithFailure(const QString& contextPrefix, const Failure& failure);
    void publishFailure(const QString& message);

    QString apiKey_;
    int keyNumber_;
    bool isLoading_ = false;
    std::optional<QString> generatedVideoURL_;
    double generationProgress_ = 0.0;
    std::optional<QString> errorMessage_;
    std::optional<QString> currentTaskId_;
    bool enablePromptOptimization_ = true;
    VideoModel selectedModel_ = VideoModel::hailuo02;
    bool fastPretreatment_ = false;
    std::optional<QDateTime> lastRequestTime_;
    RequestSpacing spacing_{minimumRequestInterval};
    int retryCount_ = 0;
    bool keyRejected_ = false;
    // Each job that passes its checks gets a new token; work of an older job sees the change and stops.
    quint64 jobToken_ = 0;
};
