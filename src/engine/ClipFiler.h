#pragma once

#include "GenerationTask.h"
#include "ModelContext.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <memory>
#include <optional>

class CopyFaults;
class QEventLoop;

// Files finished clips: each is copied into the video folder, recorded in the store and announced by the completion
// sound. A clip the folder cannot take is kept in Orvane's Unfiled folder, or among the downloads, until it can.
class ClipFiler : public QObject {
    Q_OBJECT
public:
    explicit ClipFiler(QObject* parent = nullptr);
    ~ClipFiler() override;

    ModelContext* modelContext() const { return modelContext_; }
    void setModelContext(ModelContext* context) { modelContext_ = context; }

    // Copy into the video folder, record, completion sound.
    void saveVideoToFolder(const GenerationTask& task);
    static QString makeVideoFileName(const QString& prompt);
    QCoro::Task<> saveVideoMetadata(GenerationTask task, QString fileName);
    static std::optional<QByteArray> jpegData(const QImage& image);
    // Moves the clips kept in Orvane's Unfiled folder (because the video folder could not take them) into the
    // video folder, and clips waiting among the downloads (no folder had room) into it or into Unfiled; a clip
    // that has to take another name takes its record along. A clip that cannot be moved is passed over.
    QCoro::Task<> fileUnfiledClips();

    // Whether finished clips are being filed (copied, kept, recorded) right now.
    bool isFiling() const { return filingsInFlight_ > 0; }
    // For the quit: runs the event loop until the clips being filed are in place with their records, for at most
    // `maxMs` (and a moment for a clip that has just taken its name). A copy still going then stops short of its
    // name: its download waits under the clip's name with its record saved, and the next start files it. With
    // `maxMs` 0 nothing is waited for (no event loop runs). True when all were filed.
    bool finishBeforeQuit(int maxMs);

    // Tests: each copy into `folder` fails after its first block with `error`, as on a full disk. An empty
    // folder ends it.
    void failCopiesIntoForTesting(const QString& folder, const QString& error);
    // Tests: each copy into `folder` waits after its first block until the hold ends (an empty folder, or the end
    // of the filer).
    void holdCopiesIntoForTesting(const QString& folder);

private:
    // `folder` is none when the chosen folder cannot be used; `problem` then says why.
    QCoro::Task<> fileVideo(GenerationTask task, std::optional<QString> folder, QString fileName, QString problem);
    // The record of a clip filed as `fileName`; renamed to it when the quit saved it already.
    QCoro::Task<> recordFiledClip(quint64 filing, GenerationTask task, QString fileName);
    // For the copies the quit leaves: each download under its clip's name where the next start files it, with its
    // record saved.
    void keepCopiesLeftByTheQuit();
    void renameClipRecord(const QString& from, const QString& to);
    bool waitForFilings(int maxMs);

    QPointer<ModelContext> modelContext_;
    // Stems of clip names being put into Unfiled whose records are not written yet: not moved on meanwhile.
    QSet<QString> unfiledInFlight_;
    // Kept clips found unreadable this run: the user is told once about each.
    QSet<QString> unreadableNoticed_;
    // Downloads older than this come from an earlier run; filing may take them.
    QDateTime startedAt_ = QDateTime::currentDateTimeUtc();
    bool refiling_ = false;
    bool cutOffCopiesRemoved_ = false;
    bool refileAgain_ = false;
    int filingsInFlight_ = 0;
    // The filings under way, by number.
    struct Filing {
        GenerationTask task;
        QString source;          // where the clip lies now
        QString name;            // the name it is to have
        bool copying = false;    // being copied into the video folder
        bool keptByQuit = false; // moved and recorded by the quit under `name`
    };
    QHash<quint64, Filing> filings_;
    quint64 lastFiling_ = 0;
    // The quit's wait, ended by the last filing.
    QEventLoop* filingsDone_ = nullptr;
    // The copies on worker threads read these, and may outlive the filer.
    std::shared_ptr<CopyFaults> faults_;
    // Set when the quit stops waiting.
    std::shared_ptr<std::atomic<bool>> copiesAbandoned_ = std::make_shared<std::atomic<bool>>(false);
};
