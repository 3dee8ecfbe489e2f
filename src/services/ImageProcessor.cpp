#include "ImageProcessor.h"

#include "BackgroundPool.h"
#include "DecimalText.h"
#include "ImageCoding.h"
#include "Log.h"

#include <QThreadPool>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>

namespace {

using ImageCoding::hasArea;

bool isUsableBound(const QSizeF& size) {
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 && size.height() > 0;
}

// The whole image drawn into `factor` times its size (at least one pixel each way).
QImage scaledBy(const QImage& image, double factor) {
    const int width = std::max(1, int(std::lround(image.width() * factor)));
    const int height = std::max(1, int(std::lround(image.height() * factor)));
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString megabytes(qint64 bytes) {
    return QString::asprintf("%.2f", double(bytes) / 1048576.0);
}

std::atomic<qint64> compressedPixels{0};

// A JPEG of the picture, with the rows it went through counted; stops as `progress` says or past `maxBytes`.
std::optional<QByteArray> counted(const QImage& image, double quality, qint64 maxBytes,
                                  const std::function<bool(double, qint64)>& progress = {}) {
    double reached = 0;
    const auto jpeg = ImageCoding::jpegData(image, quality, maxBytes, [&](double rowsDone, qint64 bytes) {
        reached = rowsDone;
        return !progress || progress(rowsDone, bytes);
    });
    // Stopped past the limit, the band it stopped in was compressed too.
    const double rows = jpeg ? image.height() : std::min<double>(image.height(), reached * image.height() + 16);
    compressedPixels += qint64(rows) * image.width();
    return jpeg;
}

// Where the compressed picture data starts: after the markers and tables, which do not grow with the picture.
qsizetype scanStart(const QByteArray& jpeg) {
    qsizetype at = 2; // past the start of image
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar marker = uchar(jpeg[at + 1]);
        const qsizetype length = (qsizetype(uchar(jpeg[at + 2])) << 8) | uchar(jpeg[at + 3]);
        at += 2 + length;
        if (marker == 0xDA) // start of scan
            return std::min(at, jpeg.size());
    }
    return jpeg.size();
}

// The lengths a picture's JPEGs will have, told from a sample of it: one band of 16 rows (one row of 4:2:0
// blocks, compressed as in the whole picture) out of every eight, at a different place in each eight so that
// no regular pattern of the picture lines up with the sampling. JPEG codes each row of blocks on its own, so
// the sample's compressed data grows in proportion to the picture's.
class SizeEstimate {
public:
    static constexpr int band = 16;
    static constexpr int stride = 8;

    // None for a picture too small to be worth a sample: its first JPEG costs little more.
    static std::optional<SizeEstimate> of(const QImage& source, qint64 maxBytes) {
        const int groups = source.height() / (band * stride);
        if (groups < 4 || qint64(source.width()) * source.height() * 3 <= maxBytes)
            return std::nullopt;
        SizeEstimate estimate;
        estimate.sample_ = QImage(source.width(), groups * band, QImage::Format_RGB32);
        if (estimate.sample_.isNull())
            return std::nullopt;
        const auto rowBytes = size_t(source.width()) * 4;
        for (int group = 0; group < groups; ++group) {
            const int first = (group * stride + (group * 5) % stride) * band;
            for (int row = 0; row < band; ++row)
                std::memcpy(estimate.sample_.scanLine(group * band + row), source.constScanLine(first + row), rowBytes);
        }
        estimate.scale_ = double(source.height()) / estimate.sample_.height();
        return estimate;
    }

    // Whether the whole picture's JPEG at `quality` is expected to be longer than `bytes`. A sample that is
    // surely past stops there.
    bool longerThan(double quality, double bytes) const {
        constexpr qint64 tablesAtMost = 4096; // the markers and tables before the data, several times over
        const auto sampleLimit = qint64(std::ceil(bytes / scale_)) + tablesAtMost;
        const std::optional<QByteArray> jpeg = counted(sample_, quality, sampleLimit);
        if (!jpeg)
            return true;
        const qsizetype tables = scanStart(*jpeg);
        return double(tables) + double(jpeg->size() - tables) * scale_ > bytes;
    }

private:
    QImage sample_;
    double scale_ = 1;
};

// One picture's way down the quality ladder. Rungs run as tasks (on a pool, or one after another on the calling
// thread), possibly two at once; the outcome is decided in ladder order, so it is what trying them one by one
// would give.
class Ladder final : public std::enable_shared_from_this<Ladder> {
public:
    using Prepared = ImageProcessor::Prepared;

    Ladder(QThreadPool* pool, std::optional<QSizeF> maxSize, float maxSizeMB, ImageProcessor::LogSink log,
           std::function<void(Prepared)> done)
        : pool_(pool), maxSize_(maxSize), maxSizeMB_(maxSizeMB), log_(log ? std::move(log) : &Log::line),
          done_(std::move(done)) {
        const float limit = maxSizeMB * 1024.0f * 1024.0f;
        if (std::isfinite(limit) && limit > 0)
            maxBytes_ =
                limit >= float(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max() : qint64(limit);
    }

    void start(const QImage& image) {
        log_(QStringLiteral("🖼️ Processing image for API: %1x%2").arg(image.width()).arg(image.height()));
        // Flattened once, not again for every rung.
        source_ = ImageCoding::opaqueRgb32(image);
        std::optional<Prepared> result;
        {
            const std::lock_guard lock(mutex_);
            // A picture without pixels has no JPEG and cannot be scaled to any bound.
            if (!hasArea(source_)) {
                result = failure();
            } else {
                presumeLocked();
                result = resolveLocked();
            }
        }
        if (result)
            done_(std::move(*result));
        while (!waiting_.empty()) {
            const std::function<void()> next = std::move(waiting_.front());
            waiting_.pop_front();
            next();
        }
    }

private:
    enum class State { untried, queued, running, fits, tooLong, presumedTooLong };
    struct Rung {
        State state = State::untried;
        bool speculative = false; // queued at idle priority
        QByteArray jpeg;
    };
    static constexpr int rungCount = int(ImageProcessor::qualityLadder.size());
    // What runs on a pool's threads only when nothing else waits there.
    static constexpr int idlePriority = INT_MIN / 2;
    // A rung whose JPEG is headed for this many times the limit: the next rung is almost surely needed too.
    static constexpr double farPastTheLimit = 1.3;
    // A rung whose sample foretells this many times the limit is taken as too long without compressing the whole
    // picture; nearer the limit, the picture itself decides. Well past what a sample of an eighth misjudges.
    static constexpr double surelyPastTheLimit = 1.15;

    Prepared failure() const {
        return ImageProcessorError::compressionFailed("Unable to compress image below " + decimalText(maxSizeMB_) +
                                                      " MB limit");
    }

    // Each rung tried waits behind the ones tried before it, of this picture and of the others.
    int deeper() { return -++tried_; }

    void schedule(int rung, int priority) {
        // The shared background pool's threads run below the GUI thread, as its other work does.
        auto task = [self = shared_from_this(), rung, series = series_.load(),
                     lower = pool_ == &BackgroundPool::shared()] {
            if (lower)
                BackgroundPool::lowerThisThread();
            self->run(rung, series);
        };
        if (pool_)
            pool_->start(std::move(task), priority);
        else
            waiting_.push_back(std::move(task)); // run by start(), one after another
    }

    void run(int rung, int series) {
        QImage source;
        {
            const std::lock_guard lock(mutex_);
            if (finished_ || series != series_ || rungs_[rung].state != State::queued)
                return; // taken already, or no longer wanted
            rungs_[rung].state = State::running;
            source = source_;
        }
        bool spoke = false, spokeFar = false;
        const auto progress = [&](double rowsDone, qint64 bytes) {
            if (fitting_.load() < rung || series_.load() != series)
                return false; // a better rung fits, or the picture was resized meanwhile
            // Long enough already that the whole would not fit: the next rung need not wait for this one. It waits
            // for an idle thread, unless this rung is headed far past the limit and the next one almost surely
            // needed.
            if (!pool_ || rowsDone <= 0.05)
                return true;
            const double projected = double(bytes) / rowsDone;
            if (!spokeFar && projected > farPastTheLimit * double(maxBytes_)) {
                spoke = spokeFar = true;
                speculate(rung + 1, series, true);
            } else if (!spoke && projected > double(maxBytes_)) {
                spoke = true;
                speculate(rung + 1, series, false);
            }
            return true;
        };
        const auto jpeg = counted(source, ImageProcessor::qualityLadder[size_t(rung)], maxBytes_, progress);
        std::optional<Prepared> result;
        {
            const std::lock_guard lock(mutex_);
            if (finished_ || series != series_)
                return;
            Rung& done = rungs_[rung];
            if (jpeg && jpeg->size() <= maxBytes_) {
                done.state = State::fits;
                done.jpeg = *jpeg;
                fitting_ = std::min(fitting_.load(), rung);
            } else {
                done.state = State::tooLong;
            }
            result = resolveLocked();
        }
        if (result)
            done_(std::move(*result));
    }

    void speculate(int rung, int series, bool likelyNeeded) {
        const std::lock_guard lock(mutex_);
        if (finished_ || series != series_ || rung >= rungCount)
            return;
        Rung& next = rungs_[rung];
        if (next.state == State::untried) {
            next.state = State::queued;
            next.speculative = !likelyNeeded;
            schedule(rung, likelyNeeded ? deeper() : idlePriority);
        } else if (next.state == State::queued && next.speculative && likelyNeeded) {
            next.speculative = false; // waiting at idle priority no longer
            schedule(rung, deeper());
        }
    }

    // The rungs a sample shows to be far too long, from the best down, are not tried on the whole picture: the
    // ladder goes straight to the first rung that may fit.
    void presumeLocked() {
        const std::optional<SizeEstimate> estimate = SizeEstimate::of(source_, maxBytes_);
        if (!estimate)
            return;
        for (int index = 0; index < rungCount; ++index) {
            if (!estimate->longerThan(ImageProcessor::qualityLadder[size_t(index)],
                                      surelyPastTheLimit * double(maxBytes_)))
                return;
            rungs_[index].state = State::presumedTooLong;
        }
    }

    // The first rung not known to be too long decides; a result once the ladder is decided.
    std::optional<Prepared> resolveLocked() {
        for (int index = 0; index < rungCount; ++index) {
            Rung& rung = rungs_[index];
            switch (rung.state) {
            case State::tooLong:
            case State::presumedTooLong:
                continue;
            case State::fits: {
                finished_ = true;
                const double quality = ImageProcessor::qualityLadder[size_t(index)];
                log_((resized_ ? QStringLiteral("📦 Resized JPEG quality ") : QStringLiteral("📦 Using JPEG quality ")) +
                     decimalText(quality) + ": " + megabytes(rung.jpeg.size()) + " MB");
                return Prepared(rung.jpeg.toBase64());
            }
            case State::untried:
                rung.state = State::queued;
                schedule(index, deeper());
                return std::nullopt;
            case State::queued:
                // Waiting at idle priority is no longer good enough: it is the one that decides now.
                if (rung.speculative) {
                    rung.speculative = false;
                    schedule(index, deeper());
                }
                return std::nullopt;
            case State::running:
                return std::nullopt;
            }
        }
        // Every rung too long.
        if (!resized_ && maxSize_ && isUsableBound(*maxSize_)) {
            log_(QStringLiteral("🔄 Resizing to %1x%2...")
                     .arg(qint64(maxSize_->width()))
                     .arg(qint64(maxSize_->height())));
            const double factor = std::min(maxSize_->width() / source_.width(), maxSize_->height() / source_.height());
            source_ = scaledBy(source_, factor);
            resized_ = true;
            ++series_;
            rungs_ = {};
            fitting_ = rungCount;
            presumeLocked();
            return resolveLocked();
        }
        finished_ = true;
        return failure();
    }

    QThreadPool* const pool_;
    const std::optional<QSizeF> maxSize_;
    const float maxSizeMB_;
    qint64 maxBytes_ = 0;
    const ImageProcessor::LogSink log_;
    const std::function<void(Prepared)> done_;

    std::mutex mutex_;
    QImage source_; // opaque, 32 bits a pixel
    bool resized_ = false;
    std::atomic<int> series_{0}; // the ladder again after resizing
    std::array<Rung, rungCount> rungs_{};
    std::atomic<int> fitting_{rungCount}; // the best rung known to fit: the rungs after it can stop
    int tried_ = 0;
    bool finished_ = false;
    std::deque<std::function<void()>> waiting_; // the rungs to run without a pool
};

} // namespace

QString ImageProcessorError::localizedDescription() const {
    switch (kind) {
    case Kind::compressionFailed:
        return message;
    case Kind::invalidImage:
        return QStringLiteral("Invalid image format");
    }
    return {};
}

std::optional<QByteArray> ImageProcessor::pngData(const QImage& image) {
    return ImageCoding::pngData(image);
}

QImage ImageProcessor::resizeForUI(const QImage& image, const QSizeF& maxSize) {
    if (!isUsableBound(maxSize) || (image.width() <= maxSize.width() && image.height() <= maxSize.height()))
        return image;
    Log::line(QStringLiteral("📱 Resizing for UI: %1x%2 → %3x%4")
                  .arg(image.width())
                  .arg(image.height())
                  .arg(qint64(maxSize.width()))
                  .arg(qint64(maxSize.height())));
    const double factor = std::min(maxSize.width() / image.width(), maxSize.height() / image.height());
    return scaledBy(image, factor);
}

std::variant<QByteArray, ImageProcessorError> ImageProcessor::processImageForAPI(const QImage& image,
                                                                                 std::optional<QSizeF> maxSize,
                                                                                 float maxSizeMB, const LogSink& log) {
    std::optional<Prepared> prepared;
    const auto ladder = std::make_shared<Ladder>(nullptr, maxSize, maxSizeMB, log,
                                                 [&prepared](Prepared result) { prepared = std::move(result); });
    ladder->start(image);
    return std::move(*prepared);
}

qint64 ImageProcessor::pixelsCompressed() {
    return compressedPixels.load();
}

void ImageProcessor::processImageForAPI(QThreadPool* pool, const QImage& image, std::optional<QSizeF> maxSize,
                                        float maxSizeMB, LogSink log, std::function<void(Prepared)> done) {
    std::make_shared<Ladder>(pool, maxSize, maxSizeMB, std::move(log), std::move(done))->start(image);
}
