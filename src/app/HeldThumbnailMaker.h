#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class GalleryClipModel;
class QProcess;
class QTimer;

// While the gallery is hidden its pictures are held (no decoder in this process), but the clips it would show
// first get their thumbnails made by a short-lived process of the program into the shared thumbnail cache, so the
// gallery finds them there when it is first shown. Only the thumbnails the cache lacks are asked for (the cache is
// looked at on a worker), and when it has them all no helper runs. The helper gets one "side path" line per
// thumbnail.
class HeldThumbnailMaker final : public QObject {
    Q_OBJECT
public:
    // The argument that makes the program a thumbnail maker.
    static constexpr const char* kArgument = "--make-held-thumbnails";

    HeldThumbnailMaker(GalleryClipModel* clips, QString program, QStringList arguments, QObject* parent = nullptr);
    ~HeldThumbnailMaker() override;

    // Runs the thumbnail maker: reads the lines on standard input and writes the thumbnails. Returns the exit code.
    static int run(int argc, char* argv[]);
    // The lines handed to the helper for these clips.
    static QByteArray requestFor(const QStringList& paths);
    // The lines of requestFor() whose thumbnails the cache does not have. Reads files: never on the GUI thread.
    // Stops early, with what it found so far, once `cancelled` is set.
    static QByteArray missingFrom(const QStringList& paths, const std::atomic<bool>* cancelled = nullptr);

signals:
    // A helper ended (for tests).
    void helperFinished();
    // The cache was looked at for more clips: `request` is what it lacks, empty when no helper is needed (for tests).
    void cacheChecked(const QByteArray& request);

private:
    void start();
    void launch(const QByteArray& request);

    GalleryClipModel* clips_;
    QString program_;
    QStringList arguments_;
    QTimer* gather_;
    QProcess* helper_ = nullptr;
    QStringList sent_;
    bool checking_ = false;
    // Set when this goes: a check still on its worker stops at the next clip.
    std::shared_ptr<std::atomic<bool>> gone_ = std::make_shared<std::atomic<bool>>(false);
};
