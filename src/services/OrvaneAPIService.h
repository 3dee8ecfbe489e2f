#pragma once

#include "GeminiWire.h"
#include "ImageOptions.h"
#include "RequestSpacing.h"

#include <QDateTime>
#include <QFuture>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

// The service's failures, each with the text the user sees.
struct OrvaneError {
    enum class Kind {
        httpError,
        invalidURL,
        invalidResponse,
        noImageGenerated,
        contentBlocked,
        rateLimitExceeded,
        encodingError
    };

    static OrvaneError httpError(int code) { return {Kind::httpError, code}; }
    static OrvaneError of(Kind kind) { return {kind, 0}; }

    QString message() const;
    bool operator==(const OrvaneError&) const = default;

    Kind kind = Kind::invalidResponse;
    int code = 0; // the HTTP status of httpError
};

// One reference image made ready for a request, with the console lines its preparation printed.
struct PreparedReference {
    QString mimeType; // empty: the image could not be encoded at all
    QByteArray base64;
    QStringList logLines;
};

// The Gemini image service client: one generateContent request per attempt, at least 2 s apart, up to three
// retries, safety blocks published as results, and the running token count of the current chat.
class OrvaneAPIService final : public ImageGenerationService {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY stateChanged)
    Q_PROPERTY(QImage generatedImage READ generatedImage NOTIFY stateChanged)
    Q_PROPERTY(bool isContentBlocked READ isContentBlocked NOTIFY stateChanged)
    Q_PROPERTY(qint64 currentTokensUsed READ currentTokensUsed NOTIFY stateChanged)
    Q_PROPERTY(qint64 totalTokensInSession READ totalTokensInSession NOTIFY stateChanged)
    Q_PROPERTY(qint64 maxTokensLimit READ maxTokensLimit NOTIFY stateChanged)
public:
    enum class ResizeMode { fit, fill };

    // Appended to every prompt.
    static const QString landscapeInstruction;

    explicit OrvaneAPIService(QObject* parent = nullptr);
    ~OrvaneAPIService() override;

    // The process-wide instance, created on first use.
    static OrvaneAPIService& shared();

    bool isLoading() const override { return isLoading_; }
    QImage generatedImage() const override { return generatedImage_; }
    std::optional<QString> errorMessage() const override { return errorMessage_; }
    std::optional<QString> textResponse() const override { return textResponse_; }
    bool isContentBlocked() const override { return isContentBlocked_; }
    qint64 currentTokensUsed() const { return currentTokensUsed_; }
    qint64 totalTokensInSession() const { return totalTokensInSession_; }
    qint64 maxTokensLimit() const { return maxTokensLimit_; }

    ImageModel currentModel() const { return currentModel_; }
    double temperature() const { return temperature_; }
    // A value that is not finite is ignored: it would go out as null.
    void setTemperature(double value);
    AspectRatio aspectRatio() const { return aspectRatio_; }

    // The longest wait for data before a request fails (60 s).
    void setRequestTimeout(double seconds) { requestTimeout_ = seconds; }

    // Every outcome is published; the task never fails. A target size that is not finite and positive
    // counts as none.
    QCoro::Task<> generateImage(QString prompt, QList<QImage> images, std::optional<QSizeF> targetSize = std::nullopt,
                                ResizeMode resizeMode = ResizeMode::fill);
    // Starts a new chat: clears the token count and the published outputs.
    void resetSession();
    // Also for a new chat: a generation waiting between attempts (the spacing, a Retry-After, a back-off) ends
    // at once without a message, and one still waiting for its answer makes no further attempt after it.
    void endWaitingGenerations();
    void updateModel(ImageModel model);
    double contextUsagePercent() const;

    // The picture scaled to cover (fill) or lie inside (fit) `size`, centred on a transparent bitmap.
    static QImage resizeImage(const QImage& image, const QSizeF& size, ResizeMode mode);
    // The smallest white canvas of `aspectRatio` (width / height) that holds the image, image centred.
    static QImage drawOnWhiteCanvas(const QImage& image, double aspectRatio);
    // Prepares the reference images on the worker pool; the results keep the order of the images.
    static QFuture<PreparedReference> prepareReferenceImages(const QList<QImage>& images,
                                                             std::optional<QSizeF> targetSize);

private:
    using Failure = std::variant<OrvaneError, QString>; // a service error, or the platform's own description
    struct Answer {
        int status = 0;
        QByteArray body;
        QByteArray retryAfter;
    };
    struct BuiltRequest {
        QUrl url;
        QByteArray body;
    };

    // One generateImage call, from its start to its end.
    struct Run {
        quint64 chat = 0;     // the chat it was started in
        bool waiting = false; // in a wait between attempts
        bool ended = false;   // ended by a new chat while waiting
    };
    using RunPtr = std::shared_ptr<Run>;

    QCoro::Task<> performRequestWithRetry(QString prompt, QList<QImage> images, RunPtr run);
    QCoro::Task<std::variant<BuiltRequest, Failure>> makeRequest(QString prompt, QList<QImage> images);
    QCoro::Task<bool> waitForRateLimit(RunPtr run);
    // Sleeps unless a new chat began since the run started; false when the run is to end.
    QCoro::Task<bool> waitBetweenAttempts(RunPtr run, double seconds);
    QCoro::Task<std::variant<Answer, Failure>> send(BuiltRequest request);
    // An answer decoded on workers (a 4096-pixel picture takes longer than many frames): the wire record and
    // the first picture in it.
    struct DecodedAnswer {
        GeminiWire::DecodeResult decoded;
        QImage picture;
    };
    // No worker waits for another: the record is read while each long text of the body is decoded as a picture
    // by a task of its own; once those are done, the first picture part is taken, from them when it holds one of
    // those texts.
    struct ReadAnswer {
        QByteArray data; // the long texts point into it
        GeminiWire::DecodeResult decoded;
        std::vector<std::string_view> longTexts;
        QList<QFuture<QImage>> pictures;
    };
    static QCoro::Task<DecodedAnswer> decodeAnswer(QByteArray data);
    static ReadAnswer readAnswer(const QByteArray& data);
    static DecodedAnswer takePicture(ReadAnswer answer);
    std::optional<Failure> handleResponse(DecodedAnswer answer);

    void publishBlock();
    template <class T> void publish(T& field, T value);

    bool isLoading_ = false;
    QImage generatedImage_;
    std::optional<QString> errorMessage_;
    std::optional<QString> textResponse_;
    bool isContentBlocked_ = false;
    qint64 currentTokensUsed_ = 0;
    qint64 totalTokensInSession_ = 0;
    qint64 maxTokensLimit_ = 65536;

    ImageModel currentModel_ = ImageModel::flash;
    double temperature_ = 0.7;
    AspectRatio aspectRatio_ = AspectRatio::ratio16_9;
    RequestSpacing spacing_{2.0};
    int retryCount_ = 0;
    int maxRetries_ = 3;
    std::optional<QSizeF> targetSize_;
    ResizeMode resizeMode_ = ResizeMode::fill;
    double requestTimeout_ = 60.0;
    std::vector<RunPtr> runs_;
    quint64 chat_ = 0;
};
