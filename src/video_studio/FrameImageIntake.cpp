#include "FrameImageIntake.h"

#include "Clock.h"
#include "Dialogs.h"
#include "DownloadSettings.h"
#include "FolderBookmark.h"
#include "FrameImageSaver.h"
#include "Log.h"
#include "PhotoFiles.h"
#include "WhenReady.h"

#include <QFuture>
#include <QMimeData>
#include <QtConcurrent/QtConcurrentRun>

FrameImageIntake::FrameImageIntake(QObject* parent)
    : QObject(parent), loader_(new ReferenceLoader(this, ReferenceLoader::fullSize)) {}

// Decodes still running finish on their worker; their results are simply dropped with the loader.
FrameImageIntake::~FrameImageIntake() = default;

QImage FrameImageIntake::readImage(const QString& path) {
    return ReferenceLoader::decodeFull({path, {}, {}}, ReferenceLoader::fullSize).image;
}

bool FrameImageIntake::carriesPicture(const QMimeData& mime) {
    return PhotoFiles::carriesPicture(mime);
}

void FrameImageIntake::loadFiles(ImageType slot, const QStringList& paths) {
    for (const QString& path : paths)
        load(slot, {path, {}, {}});
}

void FrameImageIntake::deliverImage(ImageType slot, const QImage& image) {
    if (image.isNull())
        return;
    load(slot, {{}, {}, image});
}

void FrameImageIntake::loadDroppedData(ImageType slot, const QMimeData& mime) {
    // formats() builds a new list on every call: walk one of them.
    const QStringList formats = mime.formats();
    for (const QString& format : formats) {
        if (!format.startsWith(QLatin1String("image/")))
            continue;
        if (QByteArray bytes = mime.data(format); !bytes.isEmpty()) {
            load(slot, {{}, std::move(bytes), {}});
            return;
        }
    }
    if (mime.hasImage())
        deliverImage(slot, qvariant_cast<QImage>(mime.imageData()));
}

void FrameImageIntake::load(ImageType slot, ReferenceLoader::Source source) {
    loader_->load(std::move(source), [this, slot](const ReferenceLoader::Loaded& loaded) {
        if (!loaded.image.isNull())
            emit imageLoaded(slot, loaded.image);
    });
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
    // Every save reports back, in whatever order they finish; none does once this object is gone.
    whenReady(this, future, [this, intoFolder, folder](const FrameImageSaver::Outcome& outcome) {
        --pendingSaves_;
        if (intoFolder)
            FolderBookmark::stopAccessing(folder);
        if (!outcome.ok()) {
            Log::line(QStringLiteral("❌ Failed to save frame image: ") + outcome.error);
            Dialogs::current().notify(Dialogs::AlertStyle::warning,
                                      QStringLiteral("The frame image could not be saved"),
                                      QStringLiteral("Reason: %1").arg(outcome.error));
        }
        emit saveFinished(outcome.path, outcome.error);
    });
}
