#pragma once

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QPair>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// A stand-in for the Gemini generative-language service on 127.0.0.1 (a free port), inside the test process.
// It serves POST /v1beta/models/{model}:generateContent and GET /v1beta/models, checks "X-goog-api-key"
// the way the real service does, records every request and answers generateContent from a script.
class FakeGeminiService : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Json = nlohmann::json;
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray method;
        QString path;
        Headers headers;
        QByteArray body;
        Json json;            // the parsed body; null when it is not JSON
        QDateTime receivedAt; // on the current clock
        QByteArray header(const QByteArray& name) const;
    };

    // One scripted answer.
    struct Reply {
        int status = 200;
        Headers headers;
        QByteArray body;
        int delayMs = 0;      // real milliseconds before the answer goes out
        bool drop = false;    // close the connection: at once, or after `body` when it is a cut-off answer
        bool hang = false;    // never answer
        bool notHttp = false; // send `body` alone, no status line or headers, then close

        static Reply json(const Json& body, int status = 200);
        static Reply raw(QByteArray body, int status = 200, QByteArray contentType = "application/json");
        static Reply failure(int status, std::optional<QByteArray> retryAfter = std::nullopt);
        static Reply dropped();
        // Headers promising a full picture answer, half of it, then the connection closes.
        static Reply cutOff();
        static Reply hanging();
        static Reply garbage(QByteArray bytes);
    };

    explicit FakeGeminiService(QString apiKey = QStringLiteral("test-api-key"), QObject* parent = nullptr);
    ~FakeGeminiService() override;

    QUrl baseUrl() const;
    // Points the application's service configuration at this fake.
    void install() const;

    QString apiKey;
    // Model ids the models list names and generateContent accepts.
    QStringList models{"gemini-3.1-flash-image-preview", "gemini-3-pro-image-preview"};
    // Answers for generateContent, used in order; when it runs out a picture answer goes out.
    QList<Reply> script;
    // Answers for the models list, used in order before the key check; when it runs out the list goes out.
    QList<Reply> modelsScript;
    QList<Request> requests;
    // Requests that reached generateContent (after the key check).
    QList<Request> generateRequests() const;

    // Body builders in the service's own shapes.
    static QImage samplePicture(int width = 64, int height = 36, QColor color = QColor(30, 120, 200));
    static Json pngPart(const QImage& picture);
    static Json inlinePart(const std::string& mimeType, const std::string& base64);
    static Json textPart(const std::string& text);
    static Json candidate(const Json& parts, const std::string& finishReason = "STOP",
                          const Json& safetyRatings = Json());
    static Json rating(const std::string& probability, const std::string& category = "HARM_CATEGORY_SEXUALLY_EXPLICIT");
    static Json response(const Json& candidates, std::optional<qint64> totalTokens = std::nullopt);
    static Json pictureResponse(const QImage& picture = samplePicture(), std::optional<qint64> totalTokens = 1290);
    static Json errorBody(int code, const std::string& message, const std::string& status);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void answer(QTcpSocket* socket, const Reply& reply);
    quint16 port_ = 0;
};
