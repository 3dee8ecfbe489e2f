// Filing of finished clips: the copy into the video folder, the record and the completion sound.
#include "QueueManager.h"

#include "AppPaths.h"
#include "Clock.h"
#include "Dialogs.h"
#include "FolderBookmark.h"
#include "Log.h"
#include "NoReplaceMove.h"
#include "Sounds.h"
#include "StoredPicture.h"
#include "VideoMetadata.h"
#include "VideoModelLabel.h"
#include "VideoSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace {

constexpr int kMaxSlugLength = 25;
// Enough for any burst of same-named clips; beyond it the copy is reported as failed.
constexpr int kMaxNameSuffix = 999;

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
};

struct InjectedFailure {
    QString folder;
    QString error;
};

QMutex injectedFailureMutex;
InjectedFailure injectedFailure;

std::optional<QString> injectedFailureFor(const QString& folder) {
    const QMutexLocker lock(&injectedFailureMutex);
    if (injectedFailure.folder.isEmpty() || QDir::cleanPath(folder) != QDir::cleanPath(injectedFailure.folder))
        return std::nullopt;
    return injectedFailure.error;
}

// Writes a new file with the source's bytes; never over an existing file. On failure the error is the
// system's own words (a full disk says so) and the part written is left for the caller to remove.
QString copyBytes(const QString& source, const QString& target, std::optional<QFileDevice::Permissions> permissions) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    QFile out(target);
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    if (!(permissions ? out.open(mode, *permissions) : out.open(mode)))
        return out.errorString();
    const std::optional<QString> injected = injectedFailureFor(QFileInfo(target).absolutePath());
    constexpr qint64 kBlock = 1 << 20;
    for (;;) {
        const QByteArray block = in.read(kBlock);
        if (block.isEmpty())
            break;
        if (out.write(block) != block.size())
            return out.errorString();
        if (injected)
            return *injected;
    }
    if (in.error() != QFileDevice::NoError)
        return in.errorString();
    out.close();
    return out.error() == QFileDevice::NoError ? QString() : out.errorString();
}

// The names tried for a clip: its own, then "_2", "_3", ... before the extension.
QString candidateName(const QString& fileName, int n) {
    if (n == 1)
        return fileName;
    const QString stem = fileName.endsWith(QStringLiteral(".mp4")) ? fileName.chopped(4) : fileName;
    return QStringLiteral("%1_%2.mp4").arg(stem).arg(n);
}

// Copies under a hidden temporary name first, so the folder never shows a half-written clip, then
// claims the final name without replacing: a name already taken gets "_2", "_3", ... before the
// extension. Clips filed at the same moment race for one name; the claim is atomic, so each gets its own.
// Names present in `alsoTakenIn` are passed over too.
CopyOutcome copyIntoFolder(const QString& source, const QString& folder, const QString& fileName,
                           std::optional<QFileDevice::Permissions> permissions = std::nullopt,
                           const QString& alsoTakenIn = {}) {
    const QDir dir(folder);
    const QString temporary =
        dir.filePath(QStringLiteral(".orvane-copy-%1.part").arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    CopyOutcome outcome;
    outcome.error = copyBytes(source, temporary, permissions);
    if (!outcome.error.isEmpty()) {
        QFile::remove(temporary);
        return outcome;
    }
    for (int n = 1; n <= kMaxNameSuffix; ++n) {
        const QString candidate = candidateName(fileName, n);
        outcome.error = QStringLiteral("Every name for “%1” is taken.").arg(fileName);
        if (!alsoTakenIn.isEmpty() && QFileInfo::exists(QDir(alsoTakenIn).filePath(candidate)))
            continue;
        const auto moved = NoReplaceMove::move(temporary, dir.filePath(candidate));
        if (moved.outcome == NoReplaceMove::Outcome::moved) {
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

// Puts the download into Orvane's own Unfiled folder, private to the user. A rename when both are on one
// file system (it needs no free space, which matters when the disk is full), else a copy; the download is
// gone afterwards either way.
CopyOutcome keepInUnfiled(const QString& source, const QString& fileName, const QString& videoFolder) {
    const QString unfiled = AppPaths::unfiledFolder();
    AppPaths::ensurePrivateFolder(unfiled);
    const QDir dir(unfiled);
    constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    for (int n = 1; n <= kMaxNameSuffix; ++n) {
        const QString candidate = candidateName(fileName, n);
        if (!videoFolder.isEmpty() && QFileInfo::exists(QDir(videoFolder).filePath(candidate)))
            continue;
        const auto moved = NoReplaceMove::move(source, dir.filePath(candidate));
        if (moved.outcome == NoReplaceMove::Outcome::moved) {
            QFile::setPermissions(dir.filePath(candidate), kPrivate);
            return {candidate, {}};
        }
        if (moved.outcome == NoReplaceMove::Outcome::failed)
            break;
    }
    CopyOutcome copied = copyIntoFolder(source, unfiled, fileName, kPrivate, videoFolder);
    if (copied.fileName)
        QFile::remove(source);
    return copied;
}

// Why a chosen folder that no longer resolves cannot take the clip, in words for the user.
QString unusableFolderReason(const QByteArray& bookmark) {
    QString error;
    const auto path = FolderBookmark::resolve(bookmark, &error);
    if (!path)
        return error;
    return QStringLiteral("The folder “%1” can’t be opened.").arg(*path);
}

} // namespace

QString QueueManager::makeVideoFileName(const QString& prompt) {
    const QString stamp = Clock::current().now().toUTC().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    return QStringLiteral("Orvane_") + stamp + '_' + slugOf(prompt) + QStringLiteral(".mp4");
}

std::optional<QByteArray> QueueManager::jpegData(const QImage& image) {
    return StoredPicture::encode(image);
}

void QueueManager::saveVideoToFolder(const GenerationTask& task) {
    if (!task.result || !task.result->isVideo())
        return;
    // A fresh settings object reads the folder straight from the stored bookmark.
    const VideoSettings settings;
    // No folder chosen: the clip stays where it was downloaded, unrecorded.
    if (!settings.hasVideoDirectory())
        return;
    const auto folder = settings.resolveVideoDirectoryURL();
    const QString problem = folder ? QString() : unusableFolderReason(*settings.videoDirectoryBookmark());
    fileVideo(task, folder, makeVideoFileName(task.prompt), problem);
}

QCoro::Task<> QueueManager::fileVideo(GenerationTask task, std::optional<QString> folder, QString fileName,
                                      QString problem) {
    QPointer<QueueManager> self(this);
    const QString source = task.result->videoValue()->fileURL;
    if (folder) {
        // g++ 12 miscompiles a lambda temporary inside a co_await expression: each closure is named first.
        const auto copy = [source, target = *folder, fileName] { return copyIntoFolder(source, target, fileName); };
        QFuture<CopyOutcome> copying = QtConcurrent::run(copy);
        const CopyOutcome copied = co_await copying;
        if (copied.fileName) {
            // The download has done its work once the clip is in the folder.
            QFile::remove(source);
            if (self)
                co_await saveVideoMetadata(task, *copied.fileName);
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
    const auto keep = [source, fileName, videoFolder = folder.value_or(QString())] {
        return keepInUnfiled(source, fileName, videoFolder);
    };
    QFuture<CopyOutcome> keeping = QtConcurrent::run(keep);
    const CopyOutcome kept = co_await keeping;
    if (!kept.fileName) {
        if (self)
            unfiledInFlight_.remove(stem);
        Log::line(QStringLiteral("❌ Failed to keep video in the Unfiled folder: ") + kept.error);
        const QString where =
            QFileInfo::exists(source)
                ? QStringLiteral("It is still at “%1”, in a temporary folder: move it to a safe place.")
                : QStringLiteral("Its downloaded file “%1” is gone.");
        Dialogs::current().notify(Dialogs::AlertStyle::warning, QStringLiteral("A finished clip could not be saved"),
                                  where.arg(source) + QStringLiteral("\n\nReason: %1\n%2").arg(problem, kept.error));
        co_return;
    }
    const QString path = QDir(AppPaths::unfiledFolder()).filePath(*kept.fileName);
    Log::line(QStringLiteral("📦 Kept the clip in the Unfiled folder: ") + path);
    Dialogs::current().notify(
        Dialogs::AlertStyle::warning, QStringLiteral("A finished clip could not be saved in your video folder"),
        QStringLiteral("It is kept at “%1” and moves into the video folder at the next start, or when you choose a "
                       "video folder.\n\nReason: %2")
            .arg(path, problem));
    if (!self)
        co_return;
    co_await saveVideoMetadata(task, *kept.fileName);
    if (self)
        unfiledInFlight_.remove(stem);
}

QCoro::Task<> QueueManager::fileUnfiledClips() {
    if (refiling_) {
        refileAgain_ = true;
        co_return;
    }
    // A clip that takes another name needs its record renamed: nothing moves before the store is there.
    if (!modelContext_)
        co_return;
    QPointer<QueueManager> self(this);
    refiling_ = true;
    do {
        refileAgain_ = false;
        const QString unfiled = AppPaths::unfiledFolder();
        const QStringList names =
            QDir(unfiled).entryList({QStringLiteral("*.mp4")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        if (names.isEmpty())
            break;
        const VideoSettings settings;
        const auto folder = settings.resolveVideoDirectoryURL();
        if (!folder)
            break;
        for (const QString& name : names) {
            const bool inFlight = std::any_of(unfiledInFlight_.cbegin(), unfiledInFlight_.cend(),
                                              [&name](const QString& stem) { return name.startsWith(stem); });
            if (inFlight)
                continue;
            const QString source = QDir(unfiled).filePath(name);
            const auto move = [source, target = *folder, name] {
                CopyOutcome copied = copyIntoFolder(source, target, name);
                if (copied.fileName)
                    QFile::remove(source);
                return copied;
            };
            QFuture<CopyOutcome> moving = QtConcurrent::run(move);
            const CopyOutcome moved = co_await moving;
            if (!self)
                co_return;
            if (!moved.fileName) {
                // The folder still cannot take clips; the rest wait for the next try.
                Log::line(QStringLiteral("❌ Failed to move an unfiled clip into the video folder: ") + moved.error);
                break;
            }
            Log::line(QStringLiteral("📦 Moved an unfiled clip into the video folder: ") + *moved.fileName);
            if (*moved.fileName != name)
                renameClipRecord(name, *moved.fileName);
        }
        FolderBookmark::stopAccessing(*folder);
    } while (refileAgain_);
    refiling_ = false;
}

void QueueManager::renameClipRecord(const QString& from, const QString& to) {
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

void QueueManager::failCopiesIntoForTesting(const QString& folder, const QString& error) {
    const QMutexLocker lock(&injectedFailureMutex);
    injectedFailure = {folder, error};
}

QCoro::Task<> QueueManager::saveVideoMetadata(GenerationTask task, QString fileName) {
    QPointer<ModelContext> context = modelContext_;
    if (!context)
        co_return;
    const QString quality = task.quality ? rawValue(*task.quality) : QStringLiteral("768P");
    const int duration = task.duration ? rawValue(*task.duration) : 6;
    const QString videoMode =
        task.referenceImages.size() < 2 ? QStringLiteral("image_to_video") : QStringLiteral("start_end_video");
    const std::optional<QString> model =
        task.model ? std::optional<QString>(videoModelLabel(*task.model)) : std::nullopt;
    auto record = VideoMetadata::make(fileName, task.prompt, quality, duration, videoMode,
                                      task.promptOptimization.value_or(false), model, task.fastPretreatment);

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
