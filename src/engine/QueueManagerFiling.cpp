// Filing of finished clips: the copy into the video folder, the record and the completion sound.
#include "QueueManager.h"

#include "Clock.h"
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
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

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

// Copies under a hidden temporary name first, so the folder never shows a half-written clip, then
// claims the final name without replacing: a name already taken gets "_2", "_3", ... before the
// extension. Clips filed at the same moment race for one name; the claim is atomic, so each gets its own.
CopyOutcome copyIntoFolder(const QString& source, const QString& folder, const QString& fileName) {
    const QDir dir(folder);
    const QString temporary =
        dir.filePath(QStringLiteral(".orvane-copy-%1.part").arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    CopyOutcome outcome;
    QFile original(source);
    if (!original.copy(temporary)) {
        outcome.error = original.errorString();
        QFile::remove(temporary);
        return outcome;
    }
    const QString stem = fileName.chopped(QStringLiteral(".mp4").size());
    for (int n = 1; n <= kMaxNameSuffix; ++n) {
        const QString candidate = n == 1 ? fileName : QStringLiteral("%1_%2.mp4").arg(stem).arg(n);
        const auto moved = NoReplaceMove::move(temporary, dir.filePath(candidate));
        if (moved.outcome == NoReplaceMove::Outcome::moved) {
            outcome.fileName = candidate;
            return outcome;
        }
        if (moved.outcome == NoReplaceMove::Outcome::failed) {
            outcome.error = moved.error;
            break;
        }
        outcome.error = QStringLiteral("Every name for “%1” is taken.").arg(fileName);
    }
    QFile::remove(temporary);
    return outcome;
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
    const auto folder = settings.resolveVideoDirectoryURL();
    if (!folder)
        return;
    fileVideo(task, *folder, makeVideoFileName(task.prompt));
}

QCoro::Task<> QueueManager::fileVideo(GenerationTask task, QString folder, QString fileName) {
    QPointer<QueueManager> self(this);
    const QString source = task.result->videoValue()->fileURL;
    // g++ 12 miscompiles a lambda temporary inside a co_await expression: each closure is named first.
    const auto copy = [source, folder, fileName] { return copyIntoFolder(source, folder, fileName); };
    QFuture<CopyOutcome> copying = QtConcurrent::run(copy);
    const CopyOutcome copied = co_await copying;
    if (!copied.fileName) {
        Log::line(QStringLiteral("❌ Failed to copy video into the video folder: ") + copied.error);
        FolderBookmark::stopAccessing(folder);
        co_return;
    }
    if (self)
        co_await saveVideoMetadata(task, *copied.fileName);
    FolderBookmark::stopAccessing(folder);
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
