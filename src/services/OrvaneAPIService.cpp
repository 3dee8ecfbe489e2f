#include "OrvaneAPIService.h"

#include "WireDecoding.h"

#include "APIManager.h"
#include "BackgroundPool.h"
#include "Clock.h"
#include "ImageCoding.h"
#include "ImageProcessor.h"
#include "Log.h"
#include "NetworkAccess.h"
#include "PoolWork.h"
#include "ServiceConfig.h"
#include "ServiceReply.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPointer>
#include <QPromise>
#include <QScopedPointer>
#include <QThreadPool>
#include <QTimer>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

const QString noKeyMessage = QStringLiteral("Google API key not set. Please go to API settings.");
const QString blockedText = QStringLiteral("⚠️ Content blocked");
const QString corruptedDataMessage = WireDecoding::corruptedDataText();
const QString missingDataMessage = WireDecoding::missingDataText();
const QString unencodableMessage =
    QStringLiteral("The data couldn’t be written because it isn’t in the correct format.");

constexpr double referenceMaxWidth = 1920;
constexpr double referenceMaxHeight = 1080;
constexpr float referenceMaxMB = 4.0f;
// The largest picture taken from an answer: about 1.4 times the largest the models make (4K, 5504 x 3072 at
// 16:9). A small PNG declaring more is a decompression bomb, not a picture to show.
constexpr qint64 maxAnswerPixels = 24'000'000;
// Room set aside up front for an answer's body, whatever length it announces.
constexpr qint64 maxReservedBody = 128 * 1024 * 1024;

// Reads what has arrived (at most `most` bytes) straight onto the end of `body`: a read into a buffer of its own
// first would copy and fault in every page of a picture's tens of megabytes twice on the event loop.
void takeAvailable(QIODevice& device, QByteArray& body, qint64 most) {
    const qint64 available = std::min(device.bytesAvailable(), most);
    if (available <= 0)
        return;
    const qsizetype start = body.size();
    body.resize(start + qsizetype(available));
    const qint64 read = device.read(body.data() + start, available);
    body.resize(start + qsizetype(std::max<qint64>(read, 0)));
}

// Takes an answer's body as it arrives, a slice per turn of the event loop: several megabytes that came in at
// once are copied over a few turns, with the window's events in between.
struct BodyReader {
    static constexpr qint64 slice = 1 << 20;
    QNetworkReply* reply;
    std::shared_ptr<QByteArray> body;
    std::shared_ptr<bool> queued = std::make_shared<bool>(false);

    void operator()() const {
        // A slice already queued takes what has arrived on its turn.
        if (*queued)
            return;
        // Nothing left, e.g. the whole body was taken once the answer finished.
        if (reply->bytesAvailable() <= 0)
            return;
        if (body->isEmpty()) {
            const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            body->reserve(qsizetype(std::clamp<qint64>(announced, 0, maxReservedBody)));
        }
        takeAvailable(*reply, *body, slice);
        if (reply->bytesAvailable() > 0) {
            *queued = true;
            QTimer::singleShot(0, reply, [self = *this] {
                *self.queued = false;
                self();
            });
        }
    }
};

using ImageCoding::hasArea;

QImage decodePicture(std::string_view text) {
    const auto bytes = WireDecoding::decodeBase64(text.data(), qsizetype(text.size()));
    return bytes ? ImageCoding::decode(*bytes, maxAnswerPixels) : QImage();
}

bool isPortrait(double width, double height) {
    return width < height;
}

qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}

// The reference images of one request, prepared together.
struct ReferenceBatch {
    QPromise<PreparedReference> promise;
    std::atomic<int> remaining{0};

    void add(PreparedReference prepared, int index) {
        promise.addResult(std::move(prepared), index);
        if (--remaining == 0)
            promise.finish();
    }
};

void prepareReference(const std::shared_ptr<ReferenceBatch>& batch, int index, QImage image,
                      std::optional<QSizeF> targetSize) {
    if (targetSize && hasArea(image) &&
        isPortrait(image.width(), image.height()) != isPortrait(targetSize->width(), targetSize->height()))
        image = OrvaneAPIService::drawOnWhiteCanvas(image, targetSize->width() / targetSize->height());
    auto lines = std::make_shared<QStringList>();
    ImageProcessor::processImageForAPI(
        &BackgroundPool::shared(), image, QSizeF(referenceMaxWidth, referenceMaxHeight), referenceMaxMB,
        [lines](const QString& line) { lines->append(line); },
        [batch, index, image, lines](ImageProcessor::Prepared processed) {
            PreparedReference prepared;
            if (auto* base64 = std::get_if<QByteArray>(&processed)) {
                prepared.mimeType = QStringLiteral("image/jpeg");
                prepared.base64 = std::move(*base64);
            } else {
                lines->append("⚠️ Failed to compress image for Google API: " +
                              std::get<ImageProcessorError>(processed).localizedDescription());
                if (const auto png = ImageProcessor::pngData(image)) {
                    prepared.mimeType = QStringLiteral("image/png");
                    prepared.base64 = png->toBase64();
                }
            }
            prepared.logLines = *lines;
            batch->add(std::move(prepared), index);
        });
}

} // namespace

const QString OrvaneAPIService::landscapeInstruction = QStringLiteral(
    ". Generate image in landscape format with aspect ratio 16:9, fill entire frame without black bars or borders. "
    "If multiple people are in the scene, each person must have a unique and distinct face - never generate groups "
    "of people with identical faces. ");

QString OrvaneError::message() const {
    switch (kind) {
    case Kind::httpError:
        return QStringLiteral("HTTP Error: %1").arg(code);
    case Kind::invalidURL:
        return QStringLiteral("Invalid API URL");
    case Kind::invalidResponse:
        return QStringLiteral("Invalid server response");
    case Kind::noImageGenerated:
        return QStringLiteral("No image was generated");
    case Kind::contentBlocked:
        return blockedText;
    case Kind::rateLimitExceeded:
        return QStringLiteral("Rate limit exceeded. Please try again later");
    case Kind::encodingError:
        return QStringLiteral("Request encoding error");
    }
    return {};
}

OrvaneAPIService::OrvaneAPIService(QObject* parent) : ImageGenerationService(parent) {}

OrvaneAPIService::~OrvaneAPIService() = default;

OrvaneAPIService& OrvaneAPIService::shared() {
    static OrvaneAPIService* instance = new OrvaneAPIService;
    return *instance;
}

template <class T> void OrvaneAPIService::publish(T& field, T value) {
    field = std::move(value);
    emit stateChanged();
}

QCoro::Task<> OrvaneAPIService::generateImage(QString prompt, QList<QImage> images, std::optional<QSizeF> targetSize,
                                              ResizeMode resizeMode) {
    if (!APIManager::shared().hasGoogleAPIKey()) {
        publish(errorMessage_, std::optional<QString>(noKeyMessage));
        co_return;
    }
    publish(isLoading_, true);
    publish(errorMessage_, std::optional<QString>());
    publish(generatedImage_, QImage());
    publish(textResponse_, std::optional<QString>());
    publish(isContentBlocked_, false);

    retryCount_ = 0;
    const bool usableTarget = targetSize && std::isfinite(targetSize->width()) && std::isfinite(targetSize->height()) &&
                              targetSize->width() > 0 && targetSize->height() > 0;
    targetSize_ = usableTarget ? targetSize : std::nullopt;
    resizeMode_ = resizeMode;

    auto run = std::make_shared<Run>();
    run->chat = chat_;
    runs_.push_back(run);
    QPointer<OrvaneAPIService> self(this);
    co_await performRequestWithRetry(std::move(prompt), std::move(images), run);
    if (!self)
        co_return;
    std::erase(runs_, run);
    if (!run->ended)
        publish(isLoading_, false);
}

void OrvaneAPIService::setTemperature(double value) {
    if (std::isfinite(value))
        temperature_ = value;
}

void OrvaneAPIService::resetSession() {
    publish(totalTokensInSession_, qint64(0));
    publish(currentTokensUsed_, qint64(0));
    publish(generatedImage_, QImage());
    publish(errorMessage_, std::optional<QString>());
    publish(textResponse_, std::optional<QString>());
    publish(isContentBlocked_, false);
}

void OrvaneAPIService::endWaitingGenerations() {
    ++chat_;
    bool endedAny = false;
    for (const RunPtr& run : runs_) {
        if (run->waiting && !run->ended) {
            run->ended = true;
            endedAny = true;
        }
    }
    const bool othersGoOn = std::any_of(runs_.cbegin(), runs_.cend(), [](const RunPtr& run) { return !run->ended; });
    if (endedAny && !othersGoOn)
        publish(isLoading_, false);
}

void OrvaneAPIService::updateModel(ImageModel model) {
    const ImageModel previous = currentModel_;
    currentModel_ = model;
    publish(maxTokensLimit_, qint64(65536));
    if (model != previous) {
        publish(totalTokensInSession_, qint64(0));
        publish(currentTokensUsed_, qint64(0));
    }
    Log::line("✅ Updated Orvane model to: " + displayName(model) + " (" + rawValue(model) + ")");
    Log::line(QStringLiteral("✅ Context window for usage meter: %1 tokens").arg(maxTokensLimit_));
}

double OrvaneAPIService::contextUsagePercent() const {
    if (maxTokensLimit_ < 1)
        return 0;
    return double(totalTokensInSession_) / double(maxTokensLimit_) * 100.0;
}

QCoro::Task<> OrvaneAPIService::performRequestWithRetry(QString prompt, QList<QImage> images, RunPtr run) {
    QPointer<OrvaneAPIService> self(this);
    // Attempts follow one another in this loop; 429 answers and failures share the retry budget.
    for (;;) {
        const bool spaced = co_await waitForRateLimit(run);
        if (!self || !spaced)
            co_return;

        std::optional<Failure> failure;
        auto built = co_await makeRequest(prompt, images);
        if (!self)
            co_return;
        if (auto* buildFailure = std::get_if<Failure>(&built)) {
            failure = *buildFailure;
        } else {
            auto sent = co_await send(std::get<BuiltRequest>(std::move(built)));
            if (!self)
                co_return;
            if (auto* sendFailure = std::get_if<Failure>(&sent)) {
                failure = *sendFailure;
            } else {
                const Answer& answer = std::get<Answer>(sent);
                if (answer.status == 429) {
                    if (retryCount_ >= maxRetries_) {
                        failure = OrvaneError::of(OrvaneError::Kind::rateLimitExceeded);
                    } else {
                        ++retryCount_;
                        const double delay = RequestSpacing::retryDelay(answer.retryAfter, retryCount_);
                        const bool waited = co_await waitBetweenAttempts(run, delay);
                        if (!self || !waited)
                            co_return;
                        continue;
                    }
                } else if (answer.status != 200) {
                    failure = OrvaneError::httpError(answer.status);
                } else {
                    auto decoded = co_await decodeAnswer(answer.body);
                    if (!self)
                        co_return;
                    failure = handleResponse(std::move(decoded));
                    if (!failure)
                        co_return;
                }
            }
        }

        const auto* error = std::get_if<OrvaneError>(&*failure);
        const bool rateLimited = error && error->kind == OrvaneError::Kind::rateLimitExceeded;
        if (retryCount_ < maxRetries_ && !rateLimited) {
            ++retryCount_;
            const bool waited = co_await waitBetweenAttempts(run, RequestSpacing::backoff(retryCount_));
            if (!self || !waited)
                co_return;
            continue;
        }
        const QString text = error ? error->message() : std::get<QString>(*failure);
        publish(errorMessage_, std::optional<QString>(text));
        co_return;
    }
}

QCoro::Task<std::variant<OrvaneAPIService::BuiltRequest, OrvaneAPIService::Failure>>
OrvaneAPIService::makeRequest(QString prompt, QList<QImage> images) {
    using Result = std::variant<BuiltRequest, Failure>;
    // The model and the address are read at each attempt: a change applies from the next one.
    const auto url = GeminiWire::endpoint(ServiceConfig::current().geminiBaseUrl,
                                          "/v1beta/models/" + rawValue(currentModel_) + ":generateContent");
    if (!url)
        co_return Result(Failure(OrvaneError::of(OrvaneError::Kind::invalidURL)));

    GeminiWire::RequestPart textPart;
    textPart.text = (prompt + landscapeInstruction).toStdString();
    GeminiWire::Content content;
    content.role = "user";
    content.parts.push_back(std::move(textPart));

    if (!images.isEmpty()) {
        QPointer<OrvaneAPIService> self(this);
        QFuture<PreparedReference> preparing = prepareReferenceImages(images, targetSize_);
        co_await PoolWork::finished(preparing);
        if (!self)
            co_return Result(Failure(OrvaneError::of(OrvaneError::Kind::invalidResponse)));
        const QList<PreparedReference> prepared = preparing.results();
        preparing = {}; // the list shares the encoded bytes; drop the future's copy
        for (const PreparedReference& reference : prepared) {
            for (const QString& line : reference.logLines)
                Log::line(line);
            if (reference.mimeType.isEmpty())
                continue;
            GeminiWire::RequestPart imagePart;
            imagePart.inlineData =
                GeminiWire::InlineData{reference.mimeType.toStdString(), reference.base64.toStdString()};
            content.parts.push_back(std::move(imagePart));
        }
    }

    GeminiWire::GoogleRequest request;
    request.contents.push_back(std::move(content));
    request.generationConfig.temperature = temperature_;
    request.generationConfig.maxOutputTokens = 8192;
    request.generationConfig.responseModalities = std::vector<std::string>{"IMAGE"};
    request.generationConfig.imageConfig = GeminiWire::ImageConfig{rawValue(aspectRatio_).toStdString()};

    BuiltRequest built;
    built.url = *url;
    try {
        const std::string body = GeminiWire::encodeRequest(std::move(request));
        built.body = QByteArray(body.data(), qsizetype(body.size()));
    } catch (const GeminiWire::Json::exception&) {
        co_return Result(Failure(unencodableMessage));
    }
    co_return Result(std::move(built));
}

QCoro::Task<bool> OrvaneAPIService::waitForRateLimit(RunPtr run) {
    QPointer<OrvaneAPIService> self(this);
    const bool goOn = co_await waitBetweenAttempts(run, spacing_.remaining());
    if (!self || !goOn)
        co_return false;
    spacing_.markSent();
    co_return true;
}

QCoro::Task<bool> OrvaneAPIService::waitBetweenAttempts(RunPtr run, double seconds) {
    if (run->chat != chat_)
        co_return false;
    if (seconds <= 0)
        co_return true;
    QPointer<OrvaneAPIService> self(this);
    run->waiting = true;
    // The wait ends with the service: nothing of a gone service stays on the clock.
    co_await Clock::current().sleep(seconds, this);
    run->waiting = false;
    co_return self && !run->ended;
}

QCoro::Task<std::variant<OrvaneAPIService::Answer, OrvaneAPIService::Failure>>
OrvaneAPIService::send(BuiltRequest built) {
    using Result = std::variant<Answer, Failure>;
    // The request is handed to the network a turn later, and only while the service is there: a service whose owner
    // goes in the turn the request was made (no references, or references ready at once) sends nothing. Once
    // handed over, the network's own thread may write it out before an abort reaches it.
    QPointer<OrvaneAPIService> self(this);
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!self)
        co_return Result(Failure(OrvaneError::of(OrvaneError::Kind::invalidResponse)));
    const int timeoutMs = int(std::clamp(requestTimeout_ * 1000.0, 1.0, double(std::numeric_limits<int>::max())));
    QNetworkRequest request = GeminiWire::keyedRequest(built.url, APIManager::shared().googleAPIKey(), timeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));

    const ServiceReply::Owned reply(NetworkAccess::shared()->post(request, built.body));
    // A service that goes away gives up its request at once instead of waiting for the answer.
    QObject::connect(this, &QObject::destroyed, reply.get(), &QNetworkReply::abort);
    // The body is taken as it arrives: one read of a picture's tens of megabytes at the end would hold up
    // the event loop.
    auto body = std::make_shared<QByteArray>();
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), BodyReader{reply.get(), body});
    ServiceReply::Finished finished(reply.get());
    co_await finished;

    const ServiceReply::Ending ending = ServiceReply::ending(reply.get());
    if (ending.failure)
        co_return Result(Failure(*ending.failure));
    if (!ending.status)
        co_return Result(Failure(OrvaneError::of(OrvaneError::Kind::invalidResponse)));
    Answer answer;
    answer.status = *ending.status;
    // What is still waiting is taken a slice per turn as well.
    while (reply->bytesAvailable() > 0) {
        takeAvailable(*reply, *body, BodyReader::slice);
        if (reply->bytesAvailable() > 0)
            co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    }
    if (answer.status >= 200 && answer.status <= 299 && ServiceReply::cutShort(reply.get(), body->size()))
        co_return Result(Failure(ServiceReply::connectionClosedText()));
    answer.body = std::move(*body);
    answer.retryAfter = reply->rawHeader("Retry-After");
    co_return Result(std::move(answer));
}

QCoro::Task<OrvaneAPIService::DecodedAnswer> OrvaneAPIService::decodeAnswer(QByteArray data) {
    QFuture<ReadAnswer> reading = BackgroundPool::run([data = std::move(data)] { return readAnswer(data); });
    co_await PoolWork::finished(reading);
    ReadAnswer read = reading.takeResult();
    for (QFuture<QImage>& picture : read.pictures)
        co_await PoolWork::finished(picture);
    QFuture<DecodedAnswer> taking =
        BackgroundPool::run([read = std::move(read)]() mutable { return takePicture(std::move(read)); });
    co_await PoolWork::finished(taking);
    co_return taking.takeResult();
}

// A picture's text is found before the answer is read, and decoded while it is: the picture is used only when
// the strictly read answer holds that very text where a picture belongs.
OrvaneAPIService::ReadAnswer OrvaneAPIService::readAnswer(const QByteArray& data) {
    ReadAnswer answer;
    answer.data = data;
    answer.longTexts = GeminiWire::longBase64Values(data.constData(), size_t(data.size()));
    for (const std::string_view text : answer.longTexts)
        answer.pictures.append(BackgroundPool::run([data, text] { return decodePicture(text); }));
    answer.decoded = GeminiWire::decodeResponse(data.constData(), size_t(data.size()));
    return answer;
}

// Runs once every picture of `read` is done.
OrvaneAPIService::DecodedAnswer OrvaneAPIService::takePicture(ReadAnswer read) {
    DecodedAnswer answer;
    answer.decoded = std::move(read.decoded);
    if (!answer.decoded.response || !answer.decoded.response->candidates ||
        answer.decoded.response->candidates->empty())
        return answer;
    auto& content = answer.decoded.response->candidates->front().content;
    if (!content || !content->parts)
        return answer;
    for (auto& part : *content->parts) {
        if (!part.inlineData)
            continue;
        const std::string& text = part.inlineData->data;
        const auto found = std::find(read.longTexts.begin(), read.longTexts.end(), std::string_view(text));
        QImage picture = found == read.longTexts.end() ? decodePicture(text)
                                                       : read.pictures[found - read.longTexts.begin()].result();
        std::string().swap(part.inlineData->data); // the text is no longer needed: free it here
        if (hasArea(picture)) {
            answer.picture = std::move(picture);
            break;
        }
    }
    return answer;
}

std::optional<OrvaneAPIService::Failure> OrvaneAPIService::handleResponse(DecodedAnswer answer) {
    const GeminiWire::DecodeResult& decoded = answer.decoded;
    if (!decoded.response)
        return Failure(decoded.failure == GeminiWire::DecodeFailure::keyNotFound ? missingDataMessage
                                                                                 : corruptedDataMessage);
    const GeminiWire::GoogleResponse& response = *decoded.response;

    // Every answer that decodes is counted, also when it then fails or is blocked.
    if (response.usageMetadata && response.usageMetadata->totalTokenCount) {
        const qint64 tokens = *response.usageMetadata->totalTokenCount;
        publish(currentTokensUsed_, tokens);
        publish(totalTokensInSession_, saturatingAdd(totalTokensInSession_, tokens));
    }

    if (!response.candidates || response.candidates->empty())
        return Failure(OrvaneError::of(OrvaneError::Kind::invalidResponse));
    const GeminiWire::Candidate& candidate = response.candidates->front();
    const auto anyRating = [&candidate](const auto& matches) {
        if (!candidate.safetyRatings)
            return false;
        for (const auto& rating : *candidate.safetyRatings) {
            if (matches(rating.probability))
                return true;
        }
        return false;
    };

    if (candidate.finishReason == "SAFETY" || candidate.finishReason == "IMAGE_SAFETY") {
        publishBlock();
        return std::nullopt;
    }
    if (!candidate.content) {
        if (anyRating([](const std::string& p) { return p == "HIGH" || p == "MEDIUM"; })) {
            publishBlock();
            return std::nullopt;
        }
        return Failure(OrvaneError::of(OrvaneError::Kind::invalidResponse));
    }
    if (!candidate.content->parts)
        return Failure(OrvaneError::of(OrvaneError::Kind::invalidResponse));
    const auto& parts = *candidate.content->parts;

    const QImage picture = std::move(answer.picture);
    if (!picture.isNull())
        publish(generatedImage_, targetSize_ ? resizeImage(picture, *targetSize_, resizeMode_) : picture);
    if (!parts.empty() && parts.front().text)
        publish(textResponse_, std::optional<QString>(QString::fromStdString(*parts.front().text)));

    if (!picture.isNull() || textResponse_)
        return std::nullopt;
    if (anyRating([](const std::string& p) { return p != "NEGLIGIBLE" && p != "LOW"; })) {
        publishBlock();
        return std::nullopt;
    }
    return Failure(OrvaneError::of(OrvaneError::Kind::noImageGenerated));
}

void OrvaneAPIService::publishBlock() {
    publish(isContentBlocked_, true);
    publish(textResponse_, std::optional<QString>(blockedText));
}

QImage OrvaneAPIService::resizeImage(const QImage& image, const QSizeF& size, ResizeMode mode) {
    const auto pixels = [](double length) {
        return std::isfinite(length) && length >= 1 ? int(std::min(length, double(std::numeric_limits<int>::max())))
                                                    : 1;
    };
    const int width = pixels(size.width());
    const int height = pixels(size.height());
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return image; // no room for such a bitmap: keep the picture as received
    canvas.fill(Qt::transparent);
    if (!hasArea(image))
        return canvas;
    const double scaleX = double(width) / image.width();
    const double scaleY = double(height) / image.height();
    const double scale = mode == ResizeMode::fit ? std::min(scaleX, scaleY) : std::max(scaleX, scaleY);
    const double drawnWidth = image.width() * scale;
    const double drawnHeight = image.height() * scale;
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF((width - drawnWidth) / 2, (height - drawnHeight) / 2, drawnWidth, drawnHeight), image);
    return canvas;
}

QImage OrvaneAPIService::drawOnWhiteCanvas(const QImage& image, double aspectRatio) {
    if (!hasArea(image) || !std::isfinite(aspectRatio) || aspectRatio <= 0)
        return image;
    const int width = image.width();
    const int height = image.height();
    int canvasWidth = width;
    int canvasHeight = height;
    if (double(width) / height <= aspectRatio)
        canvasWidth = std::max(width, int(std::lround(aspectRatio * height)));
    else
        canvasHeight = std::max(height, int(std::lround(width / aspectRatio)));
    QImage canvas(canvasWidth, canvasHeight, QImage::Format_RGB32);
    if (canvas.isNull())
        return image;
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(QPoint((canvasWidth - width) / 2, (canvasHeight - height) / 2), image);
    return canvas;
}

QFuture<PreparedReference> OrvaneAPIService::prepareReferenceImages(const QList<QImage>& images,
                                                                    std::optional<QSizeF> targetSize) {
    auto batch = std::make_shared<ReferenceBatch>();
    batch->promise.start();
    QFuture<PreparedReference> future = batch->promise.future();
    if (images.isEmpty()) {
        batch->promise.finish();
        return future;
    }
    batch->remaining = int(images.size());
    for (int index = 0; index < images.size(); ++index) {
        BackgroundPool::shared().start([batch, index, image = images[index], targetSize] {
            BackgroundPool::lowerThisThread();
            prepareReference(batch, index, image, targetSize);
        });
    }
    return future;
}
