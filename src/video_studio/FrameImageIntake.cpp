#include "FrameImageIntake.h"

#include "Clock.h"
#include "Dialogs.h"
#include "DownloadSettings.h"
#include "FolderBookmark.h"
#include "FrameImageSaver.h"
#include "Log.h"

#include <QFutureWatcher>
#include <QImageReader>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

FrameImageIntake::FrameImageIntake(QObject* parent) : QObject(parent) {}

FrameImageIntake::~FrameImageIntake() {
    // Decodes still running finish on their worker; their results are simply dropped.
    for (Pending& pending : pending_)
        pending.future.cancel();
}

QImage FrameImageIntake::readImage(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // The reader keeps Qt's default allocation limit: a bigger picture fails to read and is skipped.
    QImage image = reader.read();
    return image;
}

void FrameImageIntake::loadFiles(ImageType slot, const QStringList& paths) {
    for (const QString& path : paths)
        enqueue(slot, QtConcurrent::run(&FrameImageIntake::readImage, path));
}

void FrameImageIntake::deliverImage(ImageType slot, const QImage& image) {
    if (image.isNull())
        return;
    enqueue(slot, QtFuture::makeReadyFuture(image));
}

void FrameImageIntake::enqueue(ImageType slot, QFuture<QImage> future) {
    pending_.append({slot, future});
    auto* watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher] {
        watcher->deleteLater();
        drain();
    });
    watcher->setFuture(future);
}

void FrameImageIntake::drain() {
    while (!pending_.isEmpty() && pending_.first().future.isFinished()) {
        const Pending head = pending_.takeFirst();
        if (head.future.isCanceled() || head.future.resultCount() == 0)
            continue;
        const QImage image = head.future.result();
        if (!image.isNull())
            emit imageLoaded(head.slot, image);
    }
}

void FrameImageIntake::saveFrameImage(const QImage& image, DownloadSettings* downloadSettings) {
    if (image.isNull())
        return;
    const QString name =
        FrameImageSaver::timestampedFileName(QStringLiteral("REF"), QStringLiteral("png"), Clock::current().now());
    const std::optional<QString> folder =
        downloadSettings ? downloadSettings->resolveFolderURL() : std::optional<QString>();
    if (folder) {
        startSave(image, name, true, *folder);
        return;
    }
    Dialogs::SaveRequest request;
    request.suggestedName = name;
    request.nameFilters = {QStringLiteral("PNG image (*.png)"), QStringLiteral("JPEG image (*.jpg *.jpeg)")};
    // Non-modal: the answer is dropped if this object is gone by then.
    Dialogs::current().saveFileAsync(request, this, [this, image](const std::optional<QString>& path) {
        if (path && !path->isEmpty())
            startSave(image, *path, false, QString());
    });
}

void FrameImageIntake::startSave(const QImage& image, const QString& target, bool intoFolder, const QString& folder) {
    ++pendingSaves_;
    QFuture<FrameImageSaver::Outcome> future =
        intoFolder ? QtConcurrent::run(&FrameImageSaver::saveIntoFolder, image, folder, target)
                   : QtConcurrent::run(&FrameImageSaver::saveToPath, image, target);
    auto* watcher = new QFutureWatcher<FrameImageSaver::Outcome>(this);
    connect(watcher, &QFutureWatcher<FrameImageSaver::Outcome>::finished, this, [this, watcher, intoFolder, folder] {
        watcher->deleteLater();
        --pendingSaves_;
        if (intoFolder)
            FolderBookmark::stopAccessing(folder);
        const FrameImageSaver::Outcome outcome = watcher->result();
        if (!outcome.ok())
            Log::line(QStringLiteral("❌ Failed to save frame image: ") + outcome.error);
        emit saveFinished(outcome.path, outcome.error);
    });
    watcher->setFuture(future);
}
