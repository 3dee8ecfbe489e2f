#include "HeldThumbnailMaker.h"

#include "ClipFileInfo.h"
#include "ClipMetadataLoader.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "MediaProbe.h"
#include "ThumbnailCache.h"
#include "WhenReady.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

#include <unistd.h>

namespace {
// The hidden grid asks for its rows a few at a time: they are gathered into one helper.
constexpr int kGatherMs = 300;
// The top of the list is what the gallery shows first, in any grid mode (three columns of four rows at most at
// the window's usual size), whether or not the hidden grid has asked for it yet.
constexpr int kFirstScreen = 12;

// Both sizes a card may show: the grid's and the one-column one.
constexpr int kSides[] = {ClipMetadataLoader::kThumbnailSide, GalleryClip::kSoloSide};

QByteArray line(int side, const QString& path) {
    return QByteArray::number(side) + ' ' + QFile::encodeName(path) + '\n';
}
} // namespace

HeldThumbnailMaker::HeldThumbnailMaker(GalleryClipModel* clips, QString program, QStringList arguments, QObject* parent)
    : QObject(parent), clips_(clips), program_(std::move(program)), arguments_(std::move(arguments)),
      gather_(new QTimer(this)) {
    gather_->setSingleShot(true);
    gather_->setInterval(kGatherMs);
    connect(gather_, &QTimer::timeout, this, &HeldThumbnailMaker::start);
    connect(clips_, &GalleryClipModel::metadataHeldChanged, gather_, qOverload<>(&QTimer::start));
    connect(clips_, &QAbstractItemModel::modelReset, gather_, qOverload<>(&QTimer::start));
}

HeldThumbnailMaker::~HeldThumbnailMaker() {
    *gone_ = true;
    if (helper_ && helper_->state() != QProcess::NotRunning) {
        helper_->kill();
        helper_->waitForFinished(1000);
    }
}

QByteArray HeldThumbnailMaker::requestFor(const QStringList& paths) {
    QByteArray lines;
    for (const QString& path : paths) {
        for (const int side : kSides)
            lines += line(side, path);
    }
    return lines;
}

QByteArray HeldThumbnailMaker::missingFrom(const QStringList& paths, const std::atomic<bool>* cancelled) {
    QByteArray lines;
    for (const QString& path : paths) {
        if (cancelled && *cancelled)
            break;
        const ClipFileInfo info = ClipFileInfo::of(path);
        for (const int side : kSides) {
            // The helper's own first step: what the cache has of this size, it would only read.
            if (!ThumbnailCache::has(path, info, ClipMetadataLoader::flavorFor(side)))
                lines += line(side, path);
        }
    }
    return lines;
}

void HeldThumbnailMaker::start() {
    if (!clips_->isMetadataHeld() || checking_ || (helper_ && helper_->state() != QProcess::NotRunning))
        return;
    QStringList wanted;
    for (qsizetype row = 0; row < clips_->clips().size() && row < kFirstScreen; ++row)
        wanted << clips_->clips().at(row)->path();
    wanted += clips_->heldPaths();
    QStringList paths;
    for (const QString& path : std::as_const(wanted)) {
        if (!sent_.contains(path) && !paths.contains(path))
            paths << path;
    }
    if (paths.isEmpty())
        return;
    sent_ += paths;
    checking_ = true;
    // The cache is files: looked at on a worker, so the window never waits for the disk.
    whenReady(this,
              QtConcurrent::run(&MediaProbe::pool(), [paths, gone = gone_] { return missingFrom(paths, gone.get()); }),
              [this](const QByteArray& request) {
                  checking_ = false;
                  emit cacheChecked(request);
                  if (!request.isEmpty() && clips_->isMetadataHeld())
                      launch(request);
                  else
                      start(); // rows asked for meanwhile
              });
}

void HeldThumbnailMaker::launch(const QByteArray& request) {
    if (!helper_) {
        helper_ = new QProcess(this);
        helper_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper_->setStandardOutputFile(QProcess::nullDevice());
        // Behind whatever the user does meanwhile.
        helper_->setChildProcessModifier([] { (void)::nice(10); });
        connect(helper_, &QProcess::finished, this, [this] {
            // What it made is in the cache now.
            if (clips_->isMetadataHeld())
                clips_->readHeldFromCache();
            emit helperFinished();
            // Rows asked for while it ran go in the next one.
            start();
        });
        connect(helper_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                emit helperFinished();
        });
    }
    helper_->start(program_, arguments_);
    helper_->write(request);
    helper_->closeWriteChannel();
}

int HeldThumbnailMaker::run(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 1;
    const QList<QByteArray> lines = input.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype space = line.indexOf(' ');
        bool ok = false;
        const int side = line.left(space).toInt(&ok);
        if (space < 0 || !ok || side <= 0)
            continue;
        // Read from the cache when it is there already, else decoded and written to it.
        ClipMetadataLoader::load(QFile::decodeName(line.mid(space + 1)), side);
    }
    ClipMetadataLoader::waitForCacheWrites();
    return 0;
}
