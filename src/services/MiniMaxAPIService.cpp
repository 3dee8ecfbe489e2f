#include "MiniMaxAPIService.h"

#include "APIManager.h"
#include "AppPaths.h"
#include "Clock.h"
#include "ImageCoding.h"
#include "Log.h"
#include "MiniMaxDownload.h"
#include "NetworkAccess.h"
#include "ServiceConfig.h"
#include "ServiceReply.h"
#include "TaskOwner.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The body of the paid request. It can be read once and never rewound, so the network layer cannot send
// the request a second time on its own when a connection drops after sending (it would otherwise do so).
class SendOnceBody final : public QIODevice {
public:
    SendOnceBody(QByteArray data, QObject* parent) : QIODevice(parent), data_(std::move(data)) {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return data_.size() - read_ + QIODevice::bytesAvailable(); }
    bool reset() override { return false; }

protected:
    qint64 readData(char* out, qint64 maxSize) override {
        if (read_ >= data_.size())
            return -1;
        const qint64 count = std::min(maxSize, qint64(data_.size()) - read_);
        std::memcpy(out, data_.constData() + read_, size_t(count));
        read_ += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
    qint64 read_ = 0;
};

constexpr double kPollInterval = 5.0;
// A finished clip is billed: a dropped download, status query or file record is tried again after 2, 4
// and 8 seconds.
constexpr int kTransientRetries = 3;
// Longest a download that makes no real progress may take, retries included.
constexpr double kDownloadLimitSeconds = 180;

const QString kInvalidKeyText = QStringLiteral("Invalid MiniMax API key or incorrect Group ID.");
const QString kMissingAuthorizationText =
    QStringLiteral("MiniMax requires API Key in Authorization: Bearer <API_KEY>.");

using ServiceReply::httpStatus;
using ServiceReply::isTransportFailure;

// Nothing of the request reached the service: no connection, no TLS session, or not a byte of it written.
bool neverReachedService(QNetworkReply::NetworkError error, qint64 bytesSent) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return true;
    default:
        return bytesSent == 0;
    }
}

const QString kMayStillBeMade = QStringLiteral(
    " The clip may still be made (and billed) at the service; check your MiniMax account before trying again.");

QString mayStillBeMadeText(QNetworkReply::NetworkError error) {
    return QStringLiteral("Video generation error: ") +
           (ServiceReply::timedOut(error)
                ? QStringLiteral("The service did not answer in time after the request was sent.")
                : QStringLiteral("The connection was lost after the request was sent.")) +
           kMayStillBeMade;
}

QString unreadableAnswerText(QString description) {
    if (description.endsWith('.'))
        description.chop(1);
    return QStringLiteral("Video generation error: The service's answer could not be read (%1).").arg(description) +
           kMayStillBeMade;
}

} // namespace

QString MiniMaxError::localizedDescription() const {
    switch (kind_) {
    case Kind::httpError:
        return QStringLiteral("HTTP Error: %1").arg(code_);
    case Kind::invalidURL:
        return QStringLiteral("Invalid API URL");
    case Kind::invalidResponse:
        return QStringLiteral("Invalid server response");
    case Kind::rateLimitExceeded:
        return QStringLiteral("Rate limit exceeded. Please try again later");
    case Kind::encodingError:
        return QStringLiteral("Request encoding error");
    case Kind::imageConversionFailed:
        return QStringLiteral("Failed to convert image");
    case Kind::statusCheckFailed:
        return QStringLiteral("Task status check failed");
    }
    return {};
}

struct MiniMaxAPIService::PreparedRequest {
    QNetworkRequest request;
    QByteArray body;
};

struct MiniMaxAPIService::Job {
    std::optional<QString> prompt;
    std::optional<QImage> firstFrame;
    std::optional<QImage> lastFrame;
    VideoQuality quality;
    VideoDuration duration;
    quint64 token;
};

MiniMaxAPIService::MiniMaxAPIService(const QString& apiKey, int keyNumber, QObject* parent)
    : QObject(parent), apiKey_(apiKey), keyNumber_(keyNumber) {}

void MiniMaxAPIService::setApiKey(const QString& key) {
    if (key == apiKey_)
        return;
    apiKey_ = key;
    keyRejected_ = false;
}

MiniMaxAPIService& MiniMaxAPIService::shared() {
    static MiniMaxAPIService* instance = new MiniMaxAPIService(APIManager::shared().miniMaxAPIKey(), 1);
    return *instance;
}

void MiniMaxAPIService::setEnablePromptOptimization(bool on) {
    enablePromptOptimization_ = on;
    emit stateChanged();
}

void MiniMaxAPIService::setSelectedModel(VideoModel model) {
    selectedModel_ = model;
    emit stateChanged();
}

void MiniMaxAPIService::setFastPretreatment(bool on) {
    fastPretreatment_ = on;
    emit stateChanged();
}

QString MiniMaxAPIService::groupId() const {
    return ServiceConfig::current().miniMaxGroupId;
}

QString MiniMaxAPIService::baseURL() const {
    return MiniMaxWire::endpoint(ServiceConfig::current().miniMaxBaseUrl, MiniMaxWire::generationPath);
}

QString MiniMaxAPIService::resultURL() const {
    return MiniMaxWire::endpoint(ServiceConfig::current().miniMaxBaseUrl, MiniMaxWire::resultPath);
}

QString MiniMaxAPIService::fileRetrieveURL() const {
    return MiniMaxWire::endpoint(ServiceConfig::current().miniMaxBaseUrl, MiniMaxWire::fileRetrievePath);
}

QString MiniMaxAPIService::buildPrompt(const QString& prompt) {
    return prompt.trimmed();
}

std::optional<QString> MiniMaxAPIService::validate(const std::optional<QString>& prompt, bool hasFirstFrame,
                                                   bool hasLastFrame, VideoQuality quality,
                                                   VideoDuration duration) const {
    if (apiKey_.trimmed().isEmpty())
        return QStringLiteral("MiniMax API key %1 not set. Please go to API settings.").arg(keyNumber_);
    if (!hasFirstFrame && !hasLastFrame && (!prompt || prompt->isEmpty()))
        return QStringLiteral("Требуется промпт или хотя бы одно изображение для генерации видео");
    if (hasLastFrame) {
        if (selectedModel_ != VideoModel::hailuo02)
            return QStringLiteral("Start→End режим поддерживается только моделью 2.0");
        if (quality == VideoQuality::p1080 && duration == VideoDuration::seconds10)
            return QStringLiteral("Start→End режим для 1080P поддерживает только 6 секунд");
        if (quality == VideoQuality::p512)
            return QStringLiteral("Start→End режим не поддерживается для 512P. Выберите 768P или 1080P");
        if (!hasFirstFrame)
            return QStringLiteral("Для Start→End режима требуется как первое, так и последнее изображение");
    }
    return std::nullopt;
}

QCoro::Task<> MiniMaxAPIService::generateVideo(std::optional<QString> prompt, std::optional<QImage> firstFrame,
                                               std::optional<QImage> lastFrame, VideoQuality quality,
                                               VideoDuration duration) {
    if (firstFrame && firstFrame->isNull())
        firstFrame.reset();
    if (lastFrame && lastFrame->isNull())
        lastFrame.reset();
    if (const auto refusal = validate(prompt, firstFrame.has_value(), lastFrame.has_value(), quality, duration)) {
        // A refused job must never look like it produced the previous job's clip.
        errorMessage_ = *refusal;
        generatedVideoURL_.reset();
        emit stateChanged();
        co_return;
    }
    isLoading_ = true;
    errorMessage_.reset();
    generatedVideoURL_.reset();
    generationProgress_ = 0.0;
    retryCount_ = 0;
    ++jobToken_;
    emit stateChanged();

    Job job;
    job.prompt = prompt ? std::optional<QString>(buildPrompt(*prompt)) : std::nullopt;
    job.firstFrame = std::move(firstFrame);
    job.lastFrame = std::move(lastFrame);
    job.quality = quality;
    job.duration = duration;
    job.token = jobToken_;
    co_await sendGenerationRequest(std::move(job));
}

QCoro::Task<> MiniMaxAPIService::waitForRateLimit() {
    QPointer<MiniMaxAPIService> self(this);
    if (const double wait = spacing_.remaining(); wait > 0)
        co_await Clock::current().sleep(wait, this);
    if (!self)
        co_return;
    spacing_.markSent();
    lastRequestTime_ = Clock::current().now();
}

QCoro::Task<MiniMaxAPIService::Outcome<MiniMaxAPIService::PreparedRequest>>
MiniMaxAPIService::makeGenerationRequest(Job job) {
    const auto request = MiniMaxWire::generationRequest(ServiceConfig::current(), apiKey_);
    if (!request)
        co_return Failure::of(MiniMaxError::invalidURL());
    // Everything read from this client is read now, before the first suspension.
    PreparedRequest prepared;
    prepared.request = *request;
    MiniMaxRequest body;
    body.model = rawValue(selectedModel_);
    body.prompt = job.prompt;
    body.promptOptimizer = enablePromptOptimization_;
    body.resolution = rawValue(job.quality);
    body.duration = rawValue(job.duration);
    if (selectedModel_ != VideoModel::hailuo02)
        body.fastPretreatment = fastPretreatment_;

    // Large frames take a while to encode as PNG: keep that off the GUI thread.
    for (int i = 0; i < 2; ++i) {
        const std::optional<QImage>& frame = i == 0 ? job.firstFrame : job.lastFrame;
        if (!frame)
            continue;
        const QImage image = *frame;
        // g++ 12 miscompiles a lambda temporary inside a co_await expression: name it first.
        const auto encode = [image] { return ImageCoding::pngData(image); };
        QFuture<std::optional<QByteArray>> encoding = QtConcurrent::run(encode);
        auto png = co_await encoding;
        if (!png)
            co_return Failure::of(MiniMaxError::imageConversionFailed());
        (i == 0 ? body.firstFrameImage : body.lastFrameImage) = MiniMaxWire::pngDataUrl(*png);
    }
    const auto encoded = body.encoded();
    if (!encoded)
        co_return Failure::of(MiniMaxError::encodingError());
    prepared.body = *encoded;
    co_return prepared;
}

QCoro::Task<> MiniMaxAPIService::sendGenerationRequest(Job job) {
    QPointer<MiniMaxAPIService> self(this);
    const quint64 token = job.token;
    for (;;) {
        co_await waitForRateLimit();
        if (!self || !isCurrent(token))
            co_return;
        auto prepared = co_await makeGenerationRequest(job);
        if (!self || !isCurrent(token))
            co_return;

        std::optional<Failure> failure;
        if (const auto* notBuilt = std::get_if<Failure>(&prepared)) {
            failure = *notBuilt;
        } else {
            const auto& request = std::get<PreparedRequest>(prepared);
            QNetworkRequest post = request.request;
            post.setHeader(QNetworkRequest::ContentLengthHeader, request.body.size());
            post.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
            // Like every request to the service it keeps no connection, so it goes out on one of its own:
            // a drop can never be an idle connection that the server had already let go.
            auto* body = new SendOnceBody(request.body, nullptr);
            const ServiceReply::Owned owned(NetworkAccess::shared()->post(post, body));
            QNetworkReply* reply = owned.get();
            body->setParent(reply);
            abandonWithThis(reply);
            auto bytesSent = std::make_shared<qint64>(0);
            connect(reply, &QNetworkReply::uploadProgress, reply,
                    [bytesSent](qint64 sent, qint64) { *bytesSent = std::max(*bytesSent, sent); });
            ServiceReply::Finished ended(reply);
            co_await ended;
            if (!self || !isCurrent(token))
                co_return;
            const auto status = httpStatus(reply);
            if (const auto refused = ServiceReply::refusedRedirect(reply)) {
                failure = Failure::withText(*refused);
            } else if (!status || isTransportFailure(reply->error())) {
                // The job is billed once the service has read it: only a request that never reached the
                // service is sent again. Anything else may already be made, so it ends here, and says so.
                if (!status && neverReachedService(reply->error(), *bytesSent)) {
                    failure = Failure::withText(reply->errorString());
                } else {
                    publishFailure(mayStillBeMadeText(reply->error()));
                    co_return;
                }
            } else if (*status == 429) {
                if (retryCount_ >= maxRetries) {
                    failure = Failure::of(MiniMaxError::rateLimitExceeded());
                } else {
                    ++retryCount_;
                    const double delay = RequestSpacing::retryDelay(reply->rawHeader("Retry-After"), retryCount_);
                    co_await Clock::current().sleep(delay, this);
                    if (!self || !isCurrent(token))
                        co_return;
                    continue;
                }
            } else if (*status == 200) {
                // A whole answer that carries a refusal code took nothing; one that cannot be read may
                // have accepted the job, so it is never sent again.
                const QByteArray answer = reply->readAll();
                const auto base = MiniMaxWire::decodeBaseOnly(answer);
                const auto accepted = MiniMaxWire::decodeGeneration(answer);
                if (const auto* bad = std::get_if<DecodingFailure>(&base)) {
                    publishFailure(unreadableAnswerText(bad->description));
                    co_return;
                } else if (const qint64 code = std::get<BaseOnlyResponse>(base).baseResp.statusCode;
                           code != MiniMaxStatus::accepted) {
                    failure = Failure::of(MiniMaxError::httpError(code));
                } else if (const auto* badTask = std::get_if<DecodingFailure>(&accepted)) {
                    publishFailure(unreadableAnswerText(badTask->description));
                    co_return;
                } else if (const auto& taskId = std::get<MiniMaxResponse>(accepted).taskId; !taskId) {
                    publishFailure(unreadableAnswerText(MiniMaxError::invalidResponse().localizedDescription()));
                    co_return;
                } else {
                    currentTaskId_ = *taskId;
                    emit stateChanged();
                    TaskOwner::own(this, startPolling(*taskId, token));
                    co_return;
                }
            } else {
                failure = Failure::of(MiniMaxError::httpError(*status));
            }
        }

        const bool keyTurnedAway = failure->error && failure->error->refusesKey();
        const bool rateLimited = failure->error && failure->error->kind() == MiniMaxError::Kind::rateLimitExceeded;
        if (!keyTurnedAway && !rateLimited && retryCount_ < maxRetries) {
            ++retryCount_;
            co_await Clock::current().sleep(RequestSpacing::backoff(retryCount_), this);
            if (!self || !isCurrent(token))
                co_return;
            continue;
        }
        endWithFailure({}, *failure);
        co_return;
    }
}

template <class T>
QCoro::Task<std::optional<T>>
MiniMaxAPIService::askUntilAnswered(QCoro::Task<Outcome<T>> (MiniMaxAPIService::*ask)(QString), QString id,
                                    QString context, quint64 token) {
    QPointer<MiniMaxAPIService> self(this);
    for (int retry = 1;; ++retry) {
        auto answer = co_await (this->*ask)(id);
        if (!self || !isCurrent(token))
            co_return std::optional<T>();
        if (auto* value = std::get_if<T>(&answer))
            co_return std::optional<T>(std::move(*value));
        const Failure& failure = std::get<Failure>(answer);
        if (!failure.transient || retry > kTransientRetries) {
            endWithFailure(context, failure);
            co_return std::optional<T>();
        }
        co_await Clock::current().sleep(RequestSpacing::backoff(retry), this);
        if (!self || !isCurrent(token))
            co_return std::optional<T>();
    }
}

QCoro::Task<> MiniMaxAPIService::startPolling(QString taskId, quint64 token) {
    QPointer<MiniMaxAPIService> self(this);
    for (;;) {
        co_await Clock::current().sleep(kPollInterval, this);
        // A newer job has taken over this client: this loop ends without a word.
        if (!self || !isCurrent(token))
            co_return;
        auto answer = co_await askUntilAnswered(&MiniMaxAPIService::checkTaskStatus, taskId,
                                                QStringLiteral("Status check error: "), token);
        if (!answer)
            co_return;
        bool stop = false;
        handleTaskStatus(*answer, stop);
        if (stop)
            co_return;
    }
}

void MiniMaxAPIService::abandonWithThis(QNetworkReply* reply) const {
    connect(this, &QObject::destroyed, reply, &QNetworkReply::abort);
}

template <class T>
QCoro::Task<MiniMaxAPIService::Outcome<T>>
MiniMaxAPIService::fetchStatusAnswer(QNetworkRequest request, Decoded<T> (*decode)(const QByteArray&)) {
    const ServiceReply::Owned owned(NetworkAccess::shared()->get(request));
    QNetworkReply* reply = owned.get();
    abandonWithThis(reply);
    ServiceReply::Finished ended(reply);
    co_await ended;
    if (const auto refused = ServiceReply::refusedRedirect(reply))
        co_return Failure::withText(*refused);
    const auto status = httpStatus(reply);
    if (!status)
        co_return Failure::withText(reply->errorString()).asTransient();
    if (*status != 200) {
        const Failure refused = Failure::of(MiniMaxError::statusCheckFailed());
        co_return RequestSpacing::isTransient(status) ? refused.asTransient() : refused;
    }
    // The status line came but the answer was cut off: a transport failure, not a malformed answer.
    if (reply->error() != QNetworkReply::NoError)
        co_return Failure::withText(reply->errorString()).asTransient();
    const QByteArray body = reply->readAll();
    if (ServiceReply::cutShort(reply, body.size()))
        co_return Failure::withText(ServiceReply::connectionClosedText()).asTransient();
    auto decoded = decode(body);
    if (const auto* bad = std::get_if<DecodingFailure>(&decoded))
        co_return Failure::withText(bad->description);
    const T& answer = std::get<T>(decoded);
    // A refusal here (a key turned away, an unknown task) would otherwise be waited on for ever.
    if (answer.baseResp && answer.baseResp->statusCode != MiniMaxStatus::accepted)
        co_return Failure::of(MiniMaxError::httpError(answer.baseResp->statusCode));
    co_return answer;
}

QCoro::Task<MiniMaxAPIService::Outcome<TaskResultResponse>> MiniMaxAPIService::checkTaskStatus(QString taskId) {
    const auto request = MiniMaxWire::taskQueryRequest(ServiceConfig::current(), apiKey_, taskId);
    if (!request)
        co_return Failure::of(MiniMaxError::invalidURL());
    auto answer = co_await fetchStatusAnswer(*request, &MiniMaxWire::decodeTaskResult);
    co_return answer;
}

void MiniMaxAPIService::handleTaskStatus(const TaskResultResponse& answer, bool& stop) {
    if (!answer.status)
        return;
    const QString& status = *answer.status;
    if (status == "Queueing") {
        generationProgress_ = 0.1;
    } else if (status == "Preparing") {
        generationProgress_ = 0.3;
    } else if (status == "Processing") {
        generationProgress_ = 0.6;
    } else if (status == "Success") {
        generationProgress_ = 1.0;
        stop = true;
        if (!answer.fileId) {
            errorMessage_ = QStringLiteral("File ID not found in response");
            isLoading_ = false;
        } else if (generatedVideoURL_) {
            isLoading_ = false;
        } else {
            emit stateChanged();
            TaskOwner::own(this, fetchVideo(*answer.fileId, jobToken_));
            return;
        }
    } else if (status == "Fail") {
        errorMessage_ = QStringLiteral("Video generation failed");
        isLoading_ = false;
        stop = true;
    } else {
        return;
    }
    emit stateChanged();
}

QCoro::Task<> MiniMaxAPIService::fetchVideo(QString fileId, quint64 token) {
    auto address = co_await askUntilAnswered(&MiniMaxAPIService::retrieveDownloadURL, fileId,
                                             QStringLiteral("Download URL error: "), token);
    if (address)
        co_await downloadVideo(*address, token);
}

QCoro::Task<MiniMaxAPIService::Outcome<QUrl>> MiniMaxAPIService::retrieveDownloadURL(QString fileId) {
    const auto request = MiniMaxWire::fileRecordRequest(ServiceConfig::current(), apiKey_, fileId);
    if (!request)
        co_return Failure::of(MiniMaxError::invalidURL());
    auto answer = co_await fetchStatusAnswer(*request, &MiniMaxWire::decodeFileRetrieve);
    if (const auto* failure = std::get_if<Failure>(&answer))
        co_return *failure;
    const FileRetrieveResponse& record = std::get<FileRetrieveResponse>(answer);
    // Only a web address is fetched: a "file:" or other local address in an answer is not.
    const QUrl address =
        record.file && record.file->downloadUrl ? QUrl(*record.file->downloadUrl, QUrl::StrictMode) : QUrl();
    if (!MiniMaxWire::isWebAddress(address))
        co_return Failure::of(MiniMaxError::invalidResponse());
    co_return address;
}

QCoro::Task<> MiniMaxAPIService::downloadVideo(QUrl url, quint64 token) {
    QPointer<MiniMaxAPIService> self(this);
    // A transfer that makes no real progress, retries included, ends within kDownloadLimitSeconds: the time
    // runs from the start, and again from each point where a transfer gets a stall window's worth of data
    // further than any before it.
    struct Budget {
        qint64 sinceMs;
        qint64 furthest = 0;
    };
    auto budget = std::make_shared<Budget>(Budget{Clock::current().monotonicMs()});
    QString folder = AppPaths::downloadsFolder();
    for (int attempt = 0;; ++attempt) {
        const QString path =
            folder + "/minimax_video_" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".mp4";
        MiniMaxDownload::Options options;
        options.maxBytes = maximumClipBytes;
        options.owner = this;
        options.progressed = [budget](qint64 received) {
            if (received >= budget->furthest + MiniMaxDownload::windowFloorBytes) {
                budget->furthest = received;
                budget->sinceMs = Clock::current().monotonicMs();
            }
        };
        const auto result = co_await MiniMaxDownload::toFile(NetworkAccess::shared(), url, path, std::move(options));
        if (!self || !isCurrent(token)) {
            if (result.ok)
                QFile::remove(path);
            co_return;
        }
        if (result.ok) {
            generatedVideoURL_ = path;
            isLoading_ = false;
            emit stateChanged();
            co_return;
        }
        // The runtime folder is often a small RAM disk: a clip it has no room for goes to the cache at once.
        if (result.writeFailed && folder != AppPaths::fallbackDownloadsFolder()) {
            Log::line(QStringLiteral("⚠️ The download folder could not take the clip (%1); trying %2")
                          .arg(result.error, AppPaths::fallbackDownloadsFolder()));
            folder = AppPaths::fallbackDownloadsFolder();
            --attempt;
            continue;
        }
        const double backoff = RequestSpacing::backoff(attempt + 1);
        const double spent = double(Clock::current().monotonicMs() - budget->sinceMs) / 1000.0;
        // Another try must be able to show a stall before the limit.
        if (result.retriable && attempt < kTransientRetries &&
            spent + backoff + MiniMaxDownload::stallWindowSeconds <= kDownloadLimitSeconds) {
            co_await Clock::current().sleep(backoff, this);
            if (!self || !isCurrent(token))
                co_return;
            continue;
        }
        publishFailure(QStringLiteral("Video download error: ") + result.error);
        co_return;
    }
}

void MiniMaxAPIService::endWithFailure(const QString& contextPrefix, const Failure& failure) {
    if (failure.error && failure.error->isHttpError(MiniMaxStatus::invalidKeyOrGroup)) {
        keyRejected_ = true;
        publishFailure(kInvalidKeyText);
    } else if (failure.error && failure.error->isHttpError(MiniMaxStatus::missingAuthorization)) {
        keyRejected_ = true;
        publishFailure(kMissingAuthorizationText);
    } else {
        publishFailure(contextPrefix + failure.description());
    }
}

void MiniMaxAPIService::publishFailure(const QString& message) {
    errorMessage_ = message;
    isLoading_ = false;
    emit stateChanged();
}
