#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>

class QThreadPool;

#include <array>
#include <functional>
#include <optional>
#include <variant>

// Why a picture could not be prepared for the image service.
struct ImageProcessorError {
    enum class Kind { compressionFailed, invalidImage };

    static ImageProcessorError compressionFailed(const QString& message) { return {Kind::compressionFailed, message}; }
    static ImageProcessorError invalidImage() { return {Kind::invalidImage, {}}; }

    QString localizedDescription() const;
    bool operator==(const ImageProcessorError&) const = default;

    Kind kind = Kind::invalidImage;
    QString message;
};

// The image conversions the whole application shares. No state: safe on any thread.
class ImageProcessor {
public:
    ImageProcessor() = delete;

    // Where the console lines of one call go; none means Log::line. Worker threads pass a collector.
    using LogSink = std::function<void(const QString&)>;

    // The JPEG compression factors tried in turn, best first.
    static constexpr std::array<double, 7> qualityLadder{0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3};

    static std::optional<QByteArray> pngData(const QImage& image);
    // The image scaled down to fit `maxSize`, aspect kept; an image that already fits comes back as it is.
    static QImage resizeForUI(const QImage& image, const QSizeF& maxSize);
    // Standard base64 text of a JPEG of at most `maxSizeMB` megabytes: the best quality of the ladder that
    // fits; when none does and `maxSize` is given, the image is first scaled to touch that bound. A large picture
    // is sampled first, and the qualities its sample shows to be far too long are not tried on the whole of it.
    static std::variant<QByteArray, ImageProcessorError>
    processImageForAPI(const QImage& image, std::optional<QSizeF> maxSize, float maxSizeMB, const LogSink& log = {});

    using Prepared = std::variant<QByteArray, ImageProcessorError>;
    // The same on `pool`, with the same result and lines; `done` is called once, on one of its threads (or on the
    // caller's, for a picture without pixels). Each rung tried waits at a lower priority than the one before, so the
    // first rungs of pictures prepared together go before anybody's second. A rung whose length so far shows it
    // will not fit stops as soon as it is too long, and lets the next rung start early.
    static void processImageForAPI(QThreadPool* pool, const QImage& image, std::optional<QSizeF> maxSize,
                                   float maxSizeMB, LogSink log, std::function<void(Prepared)> done);
    // The pixels compressed to JPEG by the calls above so far in this process, samples and stopped tries included:
    // what preparing pictures cost.
    static qint64 pixelsCompressed();
};
