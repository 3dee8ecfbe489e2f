#include "ClipFiler.h"
#include "SystemError.h"

#include "AppPaths.h"
#include "CheckedWrite.h"
#include "Clock.h"
#include "Dialogs.h"
#include "FolderBookmark.h"
#include "Log.h"
#include "NoReplaceMove.h"
#include "Sounds.h"
#include "StoredPicture.h"
#include "TaskOwner.h"
#include "VideoMetadata.h"
#include "VideoModelLabel.h"
#include "VideoSettings.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>
#include <QUuid>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

// The faults a test sets on the copies into one folder. The copies on worker threads share it, and may outlive the
// filer.
class CopyFaults {
public:
    void failInto(const QString& folder, const QString& error) {
        const QMutexLocker lock(&mutex_);
        failedFolder_ = folder;
        error_ = error;
    }
    void holdInto(const QString& folder) {
        const QMutexLocker lock(&mutex_);
        heldFolder_ = folder;
        holdEnded_.wakeAll();
    }
    std::optional<QString> failureFor(const QString& folder) const {
        const QMutexLocker lock(&mutex_);
        if (failedFolder_.isEmpty() || QDir::cleanPath(folder) != QDir::cleanPath(failedFolder_))
            return std::nullopt;
        return error_;
    }
    void waitWhileHeld(const QString& folder) const {
        const QMutexLocker lock(&mutex_);
        while (!heldFolder_.isEmpty() && QDir::cleanPath(folder) == QDir::cleanPath(heldFolder_))
            holdEnded_.wait(&mutex_);
    }

private:
    mutable QMutex mutex_;
    mutable QWaitCondition holdEnded_;
    QString failedFolder_;
    QString error_;
    QString heldFolder_;
};

namespace {
const QString kCopyPrefix = QStringLiteral(".orvane-copy-");

constexpr int kMaxSlugLength = 25;
// Enough for any burst of same-named clips; beyond it the copy is reported as failed.
constexpr int kMaxNameSuffix = 999;
// After the quit's wait, for a clip that took its name just then to get its record.
constexpr int kAbandonGraceMs = 1000;

// Lower-cased; each run of white space and punctuation becomes "_" (a hyphen is punctuation, so none
// survives); anything else but ASCII letters and digits is dropped; "_" is trimmed from both ends; at
// most 25 characters, so a slug may end with "_".
QString slugOf(const QString& prompt) {
    QString slug;
    for (const char32_t c : prompt.trimmed().toLower().toUcs4()) {
        if (QChar::isSpace(c) || QChar::isPunct(c)) {
            // "_" is punctuation too, so runs, and runs split only by dropped letters, end up as one "_".
            if (!slug.endsWith('_'))
                slug += '_';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            slug += QChar(c);
        }
    }
    qsizetype start = 0;
    qsizetype end = slug.size();
    while (start < end && slug[start] == '_')
        ++start;
    while (end > start && slug[end - 1] == '_')
        --end;
    slug = slug.mid(start, end - start).left(kMaxSlugLength);
    return slug.isEmpty() ? QStringLiteral("video") : slug;
}

struct CopyOutcome {
    std::optional<QString> fileName; // the name actually written
    QString error;
    bool sourceFault = false; // the clip itself could not be read: another folder would fare no better
    bool abandoned = false;   // stopped by the quit
};

constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Writes `target` with the source's bytes, synced and checked at the source's full size before it takes its
// name. On failure the error is the system's own words (a full disk says so) and nothing is left under `target`.
// Setting `abandon` stops the copy at the next block.
CopyOutcome copyBytes(const CopyFaults& faults, const QString& source, const QString& target,
                      std::optional<QFileDevice::Permissions> permissions, const std::atomic<bool>* abandon) {
    CopyOutcome outcome;
    const auto sourceFault = [&outcome](const QString& error) {
        outcome.error = error;
        outcome.sourceFault = true;
        return outcome;
    };
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return sourceFault(in.errorString());
    const qint64 size = in.size();
    CheckedWrite::SaveFile out(target);
    if (!out.open(&outcome.error, permissions))
        return outcome;
    const std::optional<QString> injected = faults.failureFor(QFileInfo(target).absolutePath());
    constexpr qint64 kBlock = 1 << 20;
    for (;;) {
        const QByteArray block = in.read(kBlock);
        if (block.isEmpty())
            break;
        if (!out.write(block) || injected) {
            outcome.error = injected ? *injected : out.errorString();
            out.cancel();
            return outcome;
        }
        faults.waitWhileHeld(QFileInfo(target).absolutePath());
        if (abandon && *abandon) {
            out.cancel();
            outcome.abandoned = true;
            return outcome;
        }
    }
    if (in.error() != QFileDevice::NoError || out.written() != size) {
        out.cancel();
        return sourceFault(in.error() != QFileDevice::NoError
                               ? in.errorString()
                               : QStringLiteral("Only %1 of its %2 bytes could be read").arg(out.written()).arg(size));
    }
    if (!out.commit(&outcome.error))
        return outcome;
    outcome.fileName = target;
    return outcome;
}

// The names tried for a clip: its own, then "_2", "_3", ... before the extension.
QString candidateName(const QString& fileName, int n) {
    if (n == 1)
        return fileName;
    const QString stem = fileName.endsWith(QStringLiteral(".mp4")) ? fileName.chopped(4) : fileName;
    return QStringLiteral("%1_%2.mp4").arg(stem).arg(n);
}

bool takenIn(const QStringList& folders, const QString& name) {
    return std::any_of(folders.cbegin(), folders.cend(), [&name](const QString& folder) {
        return !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(name));
    });
}

// Makes a new name in a folder last across a crash; the data itself was synced before it took the name.
void syncFolder(const QString& folder) {
    QString error;
    if (!CheckedWrite::syncPath(folder, &error))
        Log::line(QStringLiteral("⚠️ Could not sync the folder %1: %2").arg(folder, error));
}

// Copies under a hidden temporary name first, so the folder never shows a half-written clip, then
// claims the final name without replacing: a name already taken gets "_2", "_3", ... before the
// extension. Clips filed at the same moment race for one name; the claim is atomic, so each gets its own.
// Names present in `alsoTakenIn` are passed over too.
CopyOutcome copyIntoFolder(const CopyFaults& faults, const QString& source, const QString& folder,
                           const QString& fileName, std::optional<QFileDevice::Permissions> permissions = std::nullopt,
                           const QStringList& alsoTakenIn = {}, const std::atomic<bool>* abandon = nullptr) {
    const QDir dir(folder);
    if (abandon && *abandon) {
        CopyOutcome outcome;
        outcome.abandoned = true;
        return outcome;
    }
    if (!dir.exists())
        return {std::nullopt, QStringLiteral("The folder “%1” doesn’t exist.").arg(folder)};
    const QString temporary = dir.filePath(kCopyPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".part");
    CopyOutcome outcome = copyBytes(faults, source, temporary, permissions, abandon);
    if (!outcome.fileName)
        return outcome;
    outcome.fileName.reset();
    if (abandon && *abandon) {
        QFile::remove(temporary);
        outcome.abandoned = true;
        return outcome;
    }
    for (int n = 1; n <= kMaxNameSuffix; ++n) {
        const QString candidate = candidateName(fileName, n);
        outcome.error = QStringLiteral("Every name for “%1” is taken.").arg(fileName);
        if (takenIn(alsoTakenIn, candidate))
            continue;
        const auto moved = NoReplaceMove::move(temporary, dir.filePath(candidate));
        if (moved.outcome == NoReplaceMove::Outcome::moved) {
            syncFolder(folder);
            outcome.fileName = candidate;
            outcome.error.clear();
            return outcome;
        }
        if (moved.outcome == NoReplaceMove::Outcome::failed) {
            outcome.error = moved.error;
            break;
        }
    }
    QFile::remove(temporary);
    return outcome;
}

// Moves a clip into `folder` under a free name: a rename when both are on one file system (it needs no free
// space, which matters when the disk is full; the clip is synced first, since a download is not), else a
// checked copy. The source is gone afterwards either way.
CopyOutcome moveIntoFolder(const CopyFaults& faults, const QString& source, const QString& folder,
                           const QString& fileName, std::optional<QFileDevice::Permissions> permissions,
                           const QStringList& alsoTakenIn) {
    const QDir dir(folder);
    QString syncError;
    if (CheckedWrite::syncPath(source, &syncError)) {
        for (int n = 1; n <= kMaxNameSuffix; ++n) {
            const QString candidate = candidateName(fileName, n);
            if (takenIn(alsoTakenIn, candidate))
                continue;
            const QString target = dir.filePath(candidate);
            const auto moved = NoReplaceMove::move(source, target);
            if (moved.outcome == NoReplaceMove::Outcome::moved) {
                if (permissions)
                    QFile::setPermissions(target, *permissions);
                syncFolder(folder);
                return {candidate, {}};
            }
            if (moved.outcome == NoReplaceMove::Outcome::failed)
                break;
        }
    }
    CopyOutcome copied = copyIntoFolder(faults, source, folder, fileName, permissions, alsoTakenIn);
    if (copied.fileName)
        QFile::remove(source);
    return copied;
}

// Puts the download into Orvane's own Unfiled folder, private to the user.
CopyOutcome keepInUnfiled(const CopyFaults& faults, const QString& source, const QString& fileName,
                          const QString& videoFolder) {
    const QString unfiled = AppPaths::unfiledFolder();
    if (!AppPaths::ensurePrivateFolder(unfiled) || !QFileInfo(unfiled).isDir()) {
        // The system's reason: what making the folder itself says.
        const int code = ::mkdir(QFile::encodeName(unfiled).constData(), S_IRWXU) == 0 ? 0 : errno;
        return {std::nullopt,
                QStringLiteral("The folder “%1” can’t be made: %2").arg(unfiled, systemReason(code ? code : ENOTDIR))};
    }
    return moveIntoFolder(faults, source, unfiled, fileName, kPrivate, {videoFolder});
}

struct Waiting {
    std::optional<QString> path;
    QString error;
};

// When neither the video folder nor Unfiled can take a clip, it waits among the downloads under its own name,
// where the clean-up leaves it and a later start files it. The runtime folder is emptied at logout, so the
// cache's downloads folder is tried first; else the clip is renamed where it lies, which needs no room.
Waiting keepWaiting(const CopyFaults& faults, const QString& source, const QString& fileName,
                    const QString& videoFolder) {
    const QStringList taken{videoFolder, AppPaths::unfiledFolder()};
    const QString sourceFolder = QFileInfo(source).absolutePath();
    const QString lasting = AppPaths::fallbackDownloadsFolder();
    if (QDir::cleanPath(sourceFolder) != QDir::cleanPath(lasting)) {
        const CopyOutcome moved = moveIntoFolder(faults, source, lasting, fileName, kPrivate, taken);
        if (moved.fileName)
            return {QDir(lasting).filePath(*moved.fileName), {}};
    }
    QString syncError;
    if (!CheckedWrite::syncPath(source, &syncError))
        return {std::nullopt, syncError};
    for (int n = 1; n <= kMaxNameSuffix; ++n) {
        const QString candidate = candidateName(fileName, n);
        if (takenIn(taken, candidate))
            continue;
        const QString target = QDir(sourceFolder).filePath(candidate);
        const auto moved = NoReplaceMove::move(source, target);
        if (moved.outcome == NoReplaceMove::Outcome::moved) {
            syncFolder(sourceFolder);
            return {target, {}};
        }
        if (moved.outcome == NoReplaceMove::Outcome::failed)
            return {std::nullopt, moved.error};
    }
    return {std::nullopt, QStringLiteral("Every name for “%1” is taken.").arg(fileName)};
}

// Why a chosen folder that no longer resolves cannot take the clip, in words for the user.
QString unusableFolderReason(const QByteArray& bookmark) {
    QString error;
    const auto path = FolderBookmark::resolve(bookmark, &error);
    if (!path)
        return error;
    return QStringLiteral("The folder “%1” can’t be opened.").arg(*path);
}

struct KeptClip {
    QString path;
    QString name;         // the name it is filed under
    bool recorded = true; // a record of that name belongs to it
};

// Copies an earlier run was stopped in the middle of (a process killed outright): hidden, never a clip. Those of
// this run are still being written.
void removeCutOffCopies(const QString& folder, const QDateTime& runStarted) {
    const QDir dir(folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (file.fileName().startsWith(kCopyPrefix) && file.fileName().endsWith(QLatin1String(".part")) &&
            file.lastModified() < runStarted && QFile::remove(file.filePath()))
            Log::line(QStringLiteral("🗑️ Removed a copy cut off by an earlier run: %1").arg(file.filePath()));
    }
}

// Clips kept for later: those in Unfiled, then those waiting among the downloads, then whole downloads an
// earlier run never filed (named after the time they arrived; their prompt is not known). Listed without name
// filters, whose compiled patterns trip valgrind.
QList<KeptClip> clipsToFile(const QDateTime& runStarted) {
    QList<KeptClip> clips;
    const QDir unfiled(AppPaths::unfiledFolder());
    for (const QString& name : unfiled.entryList(QDir::Files, QDir::Name)) {
        if (name.endsWith(QLatin1String(".mp4")))
            clips.append({unfiled.filePath(name), name});
    }
    for (const QString& folder : AppPaths::downloadFolders()) {
        const QDir downloads(folder);
        for (const QFileInfo& entry : downloads.entryInfoList(QDir::Files, QDir::Name)) {
            if (AppPaths::isWaitingClip(entry.fileName())) {
                clips.append({entry.absoluteFilePath(), entry.fileName()});
            } else if (entry.lastModified().toUTC() < runStarted &&
                       AppPaths::isUnfiledDownload(entry.absoluteFilePath())) {
                const QString stamp = entry.lastModified().toUTC().toString(QStringLiteral("yyyyMMdd_HHmmss"));
                clips.append({entry.absoluteFilePath(), QStringLiteral("Orvane_%1_video.mp4").arg(stamp), false});
            }
        }
    }
    return clips;
}

struct Refiled {
    CopyOutcome outcome;
    bool intoFolder = false;
};

// One kept clip into the video folder; a clip waiting among the downloads goes to Unfiled when the folder
// cannot take it (or there is none).
Refiled refileClip(const CopyFaults& faults, const QString& source, const QString& name,
                   const std::optional<QString>& folder, bool waiting) {
    Refiled refiled;
    if (folder) {
        refiled.outcome = copyIntoFolder(faults, source, *folder, name);
        if (refiled.outcome.fileName) {
            QFile::remove(source);
            refiled.intoFolder = true;
            return refiled;
        }
        if (!waiting || refiled.outcome.sourceFault)
            return refiled;
    }
    CopyOutcome kept = keepInUnfiled(faults, source, name, folder.value_or(QString()));
    if (kept.fileName || !folder)
        refiled.outcome = kept;
    return refiled;
}

// A clip's record without its frames.
std::shared_ptr<VideoMetadata> clipRecord(const GenerationTask& task, const QString& fileName) {
    const QString quality = task.quality ? rawValue(*task.quality) : QStringLiteral("768P");
    const int duration = task.duration ? rawValue(*task.duration) : 6;
    const QString videoMode =
        task.referenceImages.size() < 2 ? QStringLiteral("image_to_video") : QStringLiteral("start_end_video");
    const std::optional<QString> model =
        task.model ? std::optional<QString>(videoModelLabel(*task.model)) : std::nullopt;
    return VideoMetadata::make(fileName, task.prompt, quality, duration, videoMode,
                               task.promptOptimization.value_or(false), model, task.fastPretreatment);
}

} // namespace

ClipFiler::ClipFiler(QObject* parent) : QObject(parent), faults_(std::make_shared<CopyFaults>()) {}

// A copy a test holds goes on once the filer is gone, so that no worker waits for ever.
ClipFiler::~ClipFiler() {
    faults_->holdInto({});
}

QString ClipFiler::makeVideoFileName(const QString& prompt) {
    const QString stamp = Clock::current().now().toUTC().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    return QStringLiteral("Orvane_") + stamp + '_' + slugOf(prompt) + QStringLiteral(".mp4");
}

std::optional<QByteArray> ClipFiler::jpegData(const QImage& image) {
    return StoredPicture::encode(image);
}

void ClipFiler::saveVideoToFolder(const GenerationTask& task) {
    if (!task.result || !task.result->isVideo())
        return;
    // A fresh settings object reads the folder straight from the stored bookmark.
    const VideoSettings settings;
    const QString fileName = makeVideoFileName(task.prompt);
    // No folder chosen yet: the paid clip is kept like one the folder cannot take, and moves in once one is.
    if (!settings.hasVideoDirectory()) {
        TaskOwner::own(this,
                       fileVideo(task, std::nullopt, fileName, QStringLiteral("No video folder has been chosen yet.")));
        return;
    }
    const auto folder = settings.resolveVideoDirectoryURL();
    const QString problem = folder ? QString() : unusableFolderReason(*settings.videoDirectoryBookmark());
    TaskOwner::own(this, fileVideo(task, folder, fileName, problem));
}

QCoro::Task<> ClipFiler::fileVideo(GenerationTask task, std::optional<QString> folder, QString fileName,
                                   QString problem) {
    QPointer<ClipFiler> self(this);
    // The filer may be gone after any wait; its copies go on with these.
    const std::shared_ptr<const CopyFaults> faults = faults_;
    const std::shared_ptr<const std::atomic<bool>> abandon = copiesAbandoned_;
    ++filingsInFlight_;
    const quint64 filing = ++lastFiling_;
    QString source = task.result->videoValue()->fileURL;
    filings_.insert(filing, {task, source, fileName});
    const auto ended = qScopeGuard([self, filing] {
        if (!self)
            return;
        self->filings_.remove(filing);
        if (--self->filingsInFlight_ == 0 && self->filingsDone_)
            self->filingsDone_->quit();
    });
    if (folder) {
        filings_[filing].copying = true;
        // g++ 12 miscompiles a lambda temporary inside a co_await expression: each closure is named first.
        const auto copy = [faults, source, target = *folder, fileName, abandon] {
            return copyIntoFolder(*faults, source, target, fileName, std::nullopt, {}, abandon.get());
        };
        QFuture<CopyOutcome> copying = QtConcurrent::run(copy);
        const CopyOutcome copied = co_await copying;
        // The quit may have moved the clip meanwhile.
        if (self) {
            Filing& now = filings_[filing];
            now.copying = false;
            source = now.source;
            fileName = now.name;
        }
        if (copied.abandoned) {
            Log::line(QStringLiteral("⚠️ The quit cut off a clip's copy into the video folder; the next start "
                                     "files it from ") +
                      source);
            FolderBookmark::stopAccessing(*folder);
            co_return;
        }
        if (copied.fileName) {
            // The download has done its work once the clip is in the folder.
            QFile::remove(source);
            if (self)
                co_await recordFiledClip(filing, task, *copied.fileName);
            FolderBookmark::stopAccessing(*folder);
            co_return;
        }
        Log::line(QStringLiteral("❌ Failed to copy video into the video folder: ") + copied.error);
        FolderBookmark::stopAccessing(*folder);
        problem = copied.error;
    }

    // The clip is paid for: it is kept in Orvane's own folder until the video folder can take it.
    const QString stem = fileName.chopped(QStringLiteral(".mp4").size());
    if (self)
        unfiledInFlight_.insert(stem);
    const QString videoFolder = folder.value_or(QString());
    const auto keep = [faults, source, fileName, videoFolder] {
        return keepInUnfiled(*faults, source, fileName, videoFolder);
    };
    QFuture<CopyOutcome> keeping = QtConcurrent::run(keep);
    const CopyOutcome kept = co_await keeping;
    QString keptAt;
    QString keptName;
    if (kept.fileName) {
        keptName = *kept.fileName;
        keptAt = QDir(AppPaths::unfiledFolder()).filePath(keptName);
        Log::line(QStringLiteral("📦 Kept the clip in the Unfiled folder: ") + keptAt);
        Dialogs::current().notify(
            Dialogs::AlertStyle::warning, QStringLiteral("A finished clip could not be saved in your video folder"),
            QStringLiteral("It is kept at “%1” and moves into the video folder at the next start, or when you choose "
                           "a video folder.\n\nReason: %2")
                .arg(keptAt, problem));
    } else {
        Log::line(QStringLiteral("❌ Failed to keep video in the Unfiled folder: ") + kept.error);
        // Neither folder has room: the clip waits among the downloads, named and recorded, for a later start.
        const auto wait = [faults, source, fileName, videoFolder] {
            return keepWaiting(*faults, source, fileName, videoFolder);
        };
        QFuture<Waiting> waiting = QtConcurrent::run(wait);
        const Waiting waited = co_await waiting;
        if (!waited.path) {
            if (self)
                unfiledInFlight_.remove(stem);
            const QString where =
                QFileInfo::exists(source)
                    ? QStringLiteral("It is still at “%1”, in a temporary folder: move it to a safe place.")
                    : QStringLiteral("Its downloaded file “%1” is gone.");
            Dialogs::current().notify(
                Dialogs::AlertStyle::warning, QStringLiteral("A finished clip could not be saved"),
                where.arg(source) + QStringLiteral("\n\nReason: %1\n%2").arg(problem, kept.error));
            co_return;
        }
        keptAt = *waited.path;
        keptName = QFileInfo(keptAt).fileName();
        Log::line(QStringLiteral("📦 Kept the clip among the downloads until there is room: ") + keptAt);
        const bool temporary =
            QDir::cleanPath(QFileInfo(keptAt).absolutePath()) != QDir::cleanPath(AppPaths::fallbackDownloadsFolder());
        Dialogs::current().notify(
            Dialogs::AlertStyle::warning, QStringLiteral("A finished clip could not be saved"),
            QStringLiteral("It is kept at “%1” and moves into the video folder at a later start, once there is room.")
                    .arg(keptAt) +
                (temporary ? QStringLiteral(" That folder is emptied when you log out: move the clip to a safe place "
                                            "before then.")
                           : QString()) +
                QStringLiteral("\n\nReason: %1\n%2").arg(problem, kept.error));
    }
    if (!self)
        co_return;
    co_await recordFiledClip(filing, task, keptName);
    if (self)
        unfiledInFlight_.remove(stem);
}

QCoro::Task<> ClipFiler::recordFiledClip(quint64 filing, GenerationTask task, QString fileName) {
    const Filing kept = filings_.value(filing);
    if (kept.keptByQuit) {
        if (kept.name != fileName)
            renameClipRecord(kept.name, fileName);
        co_return;
    }
    co_await saveVideoMetadata(std::move(task), std::move(fileName));
}

void ClipFiler::keepCopiesLeftByTheQuit() {
    bool recorded = false;
    for (Filing& filing : filings_) {
        if (!filing.copying || filing.keptByQuit)
            continue;
        // Out of the runtime folder, which a logout empties, under the clip's name: the next start files it so.
        const Waiting waited = keepWaiting(*faults_, filing.source, filing.name, QString());
        if (!waited.path) {
            Log::line(QStringLiteral("❌ Failed to keep a clip the quit cut off: ") + waited.error);
            continue;
        }
        filing.source = *waited.path;
        filing.name = QFileInfo(filing.source).fileName();
        filing.keptByQuit = true;
        Log::line(QStringLiteral("📦 Kept the clip among the downloads until the next start: ") + filing.source);
        if (!modelContext_)
            continue;
        auto record = clipRecord(filing.task, filing.name);
        const QList<QImage>& frames = filing.task.referenceImages;
        if (!frames.isEmpty())
            record->setFirstFrameImageData(jpegData(frames[0]));
        if (frames.size() > 1)
            record->setLastFrameImageData(jpegData(frames[1]));
        modelContext_->insert(record);
        recorded = true;
    }
    QString error;
    if (recorded && !modelContext_->save(&error))
        Log::line(QStringLiteral("💾 ❌ Failed to save video metadata: ") + error);
}

QCoro::Task<> ClipFiler::fileUnfiledClips() {
    if (refiling_) {
        refileAgain_ = true;
        co_return;
    }
    // A clip that takes another name needs its record renamed: nothing moves before the store is there.
    if (!modelContext_)
        co_return;
    QPointer<ClipFiler> self(this);
    const std::shared_ptr<const CopyFaults> faults = faults_;
    refiling_ = true;
    if (!cutOffCopiesRemoved_) {
        cutOffCopiesRemoved_ = true;
        QStringList folders = {AppPaths::unfiledFolder()};
        if (const auto folder = VideoSettings().resolveVideoDirectoryURL())
            folders << *folder;
        const QDateTime runStarted = startedAt_;
        QFuture<void> removing = QtConcurrent::run([folders, runStarted] {
            for (const QString& folder : folders)
                removeCutOffCopies(folder, runStarted);
        });
        co_await removing;
        if (!self)
            co_return;
    }
    do {
        refileAgain_ = false;
        const QString unfiled = QDir::cleanPath(AppPaths::unfiledFolder());
        const QList<KeptClip> clips = clipsToFile(startedAt_);
        if (clips.isEmpty())
            break;
        const VideoSettings settings;
        const auto folder = settings.resolveVideoDirectoryURL();
        for (const KeptClip& clip : clips) {
            const QString& source = clip.path;
            const QString& name = clip.name;
            const bool waiting = QDir::cleanPath(QFileInfo(source).absolutePath()) != unfiled;
            // Without a folder only the clips among the downloads move, into Unfiled.
            if (!folder && !waiting)
                continue;
            const bool inFlight = std::any_of(unfiledInFlight_.cbegin(), unfiledInFlight_.cend(),
                                              [&name](const QString& stem) { return name.startsWith(stem); });
            if (inFlight)
                continue;
            const auto move = [faults, source, name, folder, waiting] {
                return refileClip(*faults, source, name, folder, waiting);
            };
            QFuture<Refiled> moving = QtConcurrent::run(move);
            const Refiled moved = co_await moving;
            if (!self)
                co_return;
            const CopyOutcome& outcome = moved.outcome;
            if (!outcome.fileName) {
                // This clip stays where it is; the others are tried all the same.
                Log::line((folder ? QStringLiteral("❌ Failed to move an unfiled clip into the video folder: ")
                                  : QStringLiteral("❌ Failed to move a waiting clip into the Unfiled folder: ")) +
                          outcome.error);
                // A folder without room was announced when the clip was kept; a clip that cannot be read is new.
                if (outcome.sourceFault && QFileInfo::exists(source) && !unreadableNoticed_.contains(source)) {
                    unreadableNoticed_.insert(source);
                    Dialogs::current().notify(
                        Dialogs::AlertStyle::warning, QStringLiteral("A kept clip could not be moved"),
                        QStringLiteral(
                            "“%1” could not be read, so it stays in “%2”; the other kept clips are moved as usual.\n\n"
                            "Reason: %3")
                            .arg(QFileInfo(source).fileName(), QFileInfo(source).absolutePath(), outcome.error));
                }
                continue;
            }
            Log::line(moved.intoFolder
                          ? QStringLiteral("📦 Moved an unfiled clip into the video folder: ") + *outcome.fileName
                          : QStringLiteral("📦 Kept the clip in the Unfiled folder: ") +
                                QDir(AppPaths::unfiledFolder()).filePath(*outcome.fileName));
            if (clip.recorded && *outcome.fileName != name)
                renameClipRecord(name, *outcome.fileName);
        }
        if (folder)
            FolderBookmark::stopAccessing(*folder);
    } while (refileAgain_);
    refiling_ = false;
}

void ClipFiler::renameClipRecord(const QString& from, const QString& to) {
    ModelContext* context = modelContext_;
    if (!context)
        return;
    FetchDescriptor<VideoMetadata> named;
    named.predicate = [&from](const VideoMetadata& record) { return record.fileName() == from; };
    named.sortedBefore = [](const VideoMetadata& a, const VideoMetadata& b) { return a.createdAt() > b.createdAt(); };
    QString error;
    const auto records = context->fetch<VideoMetadata>(named, &error);
    if (!records || records->isEmpty())
        return;
    records->first()->setFileName(to);
    if (!context->save(&error))
        Log::line(QStringLiteral("💾 ❌ Failed to save the new name of a clip's record: ") + error);
}

void ClipFiler::failCopiesIntoForTesting(const QString& folder, const QString& error) {
    faults_->failInto(folder, error);
}

void ClipFiler::holdCopiesIntoForTesting(const QString& folder) {
    faults_->holdInto(folder);
}

bool ClipFiler::waitForFilings(int maxMs) {
    if (filingsInFlight_ > 0) {
        QEventLoop loop;
        const QScopedValueRollback waiting(filingsDone_, &loop);
        QTimer::singleShot(maxMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return filingsInFlight_ == 0;
}

bool ClipFiler::finishBeforeQuit(int maxMs) {
    if (filingsInFlight_ == 0)
        return true;
    // No wait at all when the event loop cannot run any more (the display is gone).
    if (maxMs > 0) {
        Log::line(QStringLiteral("⏳ Quitting once %1 clip(s) being filed are in place").arg(filingsInFlight_));
        if (waitForFilings(maxMs))
            return true;
    }
    // Copies still going stop short of their names (set first, so that none starts reading its clip after it has
    // been moved); each clip waits under its name with its record instead.
    copiesAbandoned_->store(true);
    keepCopiesLeftByTheQuit();
    Log::line(
        QStringLiteral("⚠️ Quitting without waiting longer for %1 clip(s) being filed").arg(filingsInFlight_));
    return maxMs > 0 ? waitForFilings(kAbandonGraceMs) : filingsInFlight_ == 0;
}

QCoro::Task<> ClipFiler::saveVideoMetadata(GenerationTask task, QString fileName) {
    QPointer<ModelContext> context = modelContext_;
    if (!context)
        co_return;
    auto record = clipRecord(task, fileName);

    if (!task.referenceImages.isEmpty()) {
        const QImage first = task.referenceImages[0];
        const auto encode = [first] { return jpegData(first); };
        QFuture<std::optional<QByteArray>> encoding = QtConcurrent::run(encode);
        const auto data = co_await encoding;
        if (data)
            record->setFirstFrameImageData(data);
    }
    if (task.referenceImages.size() > 1) {
        const QImage last = task.referenceImages[1];
        const auto encode = [last] { return jpegData(last); };
        QFuture<std::optional<QByteArray>> encoding = QtConcurrent::run(encode);
        const auto data = co_await encoding;
        if (data)
            record->setLastFrameImageData(data);
    }
    if (!context)
        co_return;
    context->insert(record);
    QString error;
    if (!context->save(&error)) {
        // The record stays pending in the context, which keeps it for a later save and tells the user; the
        // sound waits for a save that really happened.
        Log::line(QStringLiteral("💾 ❌ Failed to save video metadata: ") + error);
        co_return;
    }
    Log::line(QStringLiteral("💾 ✅ Successfully saved video metadata to Swift Data: ") + fileName);
    const VideoSettings settings;
    if (settings.soundNotificationEnabled())
        SoundPlayer::current().play(settings.selectedSoundName());
}
