#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class GalleryClipModel;
class QProcess;
class QTimer;

// While the gallery is hidden its pictures are held (no decoder in this process), but the clips it would show
// first get their thumbnails made by a short-lived process of the program into the shared thumbnail cache, so the
// gallery finds them there when it is first shown. The helper gets one "side path" line per thumbnail.
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

signals:
    // A helper ended (for tests).
    void helperFinished();

private:
    void start();

    GalleryClipModel* clips_;
    QString program_;
    QStringList arguments_;
    QTimer* gather_;
    QProcess* helper_ = nullptr;
    QStringList sent_;
};
