#pragma once

#include "BackupContext.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <nlohmann/json.hpp>

#include <optional>

// Writes a backup: the settings file, the records file and the folder of the stored pictures.
//
// A backup is all or nothing as far as the file system allows: both JSON files are written and checked on disk
// under hidden names, and the pictures are put into a hidden staging folder that replaces "UserImages" only after
// every one is there and synced; only then do the JSON files take their names.
//
// Most of a backup is usually what the previous one already holds. Pictures that still hold their record's
// stored bytes (the context's ledger knows which) are carried over from the previous backup as hard links, or
// copies where the file system has no links; the links are made in the background after the first change that
// follows a backup, or else on threads of their own while the records are read. Only the other pictures are
// written, and those the backup folder no longer holds as they were written (changed, replaced, linked from
// outside). A file is never written again once it is in a backup, so a changed picture gets a new file and the
// backups that share a file cannot change under each other. When no picture changed at all, the pictures folder
// stays as it is. The records file is written again from the rows that changed when the store holds nothing
// unsaved, else from every record.
class BackupWriter {
public:
    using Json = nlohmann::ordered_json;

    explicit BackupWriter(BackupContext& context) : context_(context) {}

    // Writes the whole backup into the existing backup folder `folder` or throws BackupError; on failure the
    // previous backup stays as it was.
    void write(const QString& folder) const;
    // Keeps the backup in `folder` whole in a new folder of its own inside it, named after its date, and returns
    // that folder; none when there is no backup to keep. Throws BackupError when it could not be kept whole.
    std::optional<QString> keepPrevious(const QString& folder) const;

    static Json settingsDictionary();
    static QString uuidString(const QUuid& id);
    static QString iso8601(const QDateTime& date);

private:
    struct Picture;
    struct Plan;

    // What happens to each picture: from the records when they were read, else from the records file's entries.
    static Plan planPictures(const BackupRecords* records, const BackupRecordsText& text,
                             const BackupLedger::Entries& carried);
    BackupPictures::Written writePicture(const Picture& picture, const QByteArray& bytes, const QString& staging) const;
    // Writes the pictures into the staging folder; those whose bytes came from the store go into `fromStore`.
    void writePictures(const QList<const Picture*>& pictures, const QString& staging,
                       BackupLedger::Entries& fromStore) const;
    void swapInImages(const QString& staging, const QString& target) const;
    // Swaps two folders in one step; false with errno set when that failed.
    bool exchangeFolders(const QByteArray& from, const QByteArray& to) const;

    BackupContext& context_;
};
