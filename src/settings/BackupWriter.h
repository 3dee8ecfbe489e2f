#pragma once

#include "BackupContext.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <nlohmann/json.hpp>

// Writes a backup: the settings file, the records file and the folder of the stored pictures.
//
// A backup is all or nothing as far as the file system allows: both JSON files go through QSaveFile and the
// pictures are written into a hidden staging folder that replaces "UserImages" only after every write succeeded.
class BackupWriter {
public:
    using Json = nlohmann::ordered_json;

    explicit BackupWriter(const BackupContext& context) : context_(context) {}

    // Writes the whole backup into the existing backup folder `folder` or throws BackupError; on failure the
    // previous backup stays as it was.
    void write(const QString& folder) const;

    static Json settingsDictionary();
    static Json encodeVideoMetadata(const VideoMetadata& video);
    static Json encodePromptPreset(const PromptPreset& preset);
    static Json encodeImagePreset(const ImagePreset& preset);
    static QString uuidString(const QUuid& id);
    static QString iso8601(const QDateTime& date);

private:
    static QByteArray recordsDocument(const BackupRecords& records);
    void writeImages(const BackupRecords& records, const QString& folder) const;
    void swapInImages(const QString& staging, const QString& target) const;
    // Swaps two folders in one step; false with errno set when that failed.
    bool exchangeFolders(const QByteArray& from, const QByteArray& to) const;

    const BackupContext& context_;
};
