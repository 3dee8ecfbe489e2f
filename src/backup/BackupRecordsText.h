#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <nlohmann/json.hpp>

#include <array>
#include <optional>

class ImagePreset;
class ModelContext;
class PromptPreset;
class VideoMetadata;
struct BackupRecords;

// The text of a backup's records file, kept entry by entry: the next backup writes again only the rows that
// changed and copies the text of the others. The text is what the JSON library writes for the same document
// (pretty-printed, two spaces a level), written straight away: ten thousand records cost a few milliseconds.
class BackupRecordsText {
public:
    using Json = nlohmann::ordered_json;

    // The record types in the order of the file: clips, prompt presets, image presets.
    static constexpr int kTables = 3;
    using Changes = std::array<QSet<QString>, kTables>; // rows by their stored id, table by table
    static int tableOf(const QString& table);           // -1 for a table that holds no record of a backup

    struct Entry {
        QString identity;     // the row's id as the store holds it
        qint64 rowid = -1;    // the store's order
        quint8 pictures = 0;  // bit i: the row holds a picture of BackupPictures::columns[i]
        qsizetype offset = 0; // the entry's text in the file
        qsizetype length = 0; // 0: the row has no entry (a built-in prompt preset)
    };

    // The members of one entry as JSON values.
    static Json encodeVideoMetadata(const VideoMetadata& video);
    static Json encodePromptPreset(const PromptPreset& preset);
    static Json encodeImagePreset(const ImagePreset& preset);

    // The file for `records` as the store returned them, dated `date`. With every row's rowid (the records of
    // a store without unsaved changes), the text can be written again from the rows that change.
    static BackupRecordsText fromRecords(const BackupRecords& records, const QString& date,
                                         const std::optional<std::array<QHash<QString, qint64>, kTables>>& rowids);
    // The file for the store as it is now, dated `date`, when only the `changed` rows differ from this one's;
    // none when a changed row cannot be read. Needs a store without unsaved changes.
    std::optional<BackupRecordsText> withChanges(ModelContext& store, const Changes& changed,
                                                 const QString& date) const;
    // Every row's rowid, table by table, as the store holds them now.
    static std::optional<std::array<QHash<QString, qint64>, kTables>> rowids(ModelContext& store);

    const QByteArray& text() const { return text_; }
    // Whether withChanges() can be used: every row's rowid is known.
    bool isIndexed() const { return indexed_; }
    const std::array<QList<Entry>, kTables>& entries() const { return entries_; }

    // The entries, for a note kept between processes; read back with the file's text.
    void writeIndex(QDataStream& out) const;
    static std::optional<BackupRecordsText> readIndex(QDataStream& in, QByteArray text);

private:
    static BackupRecordsText assemble(const std::array<QList<Entry>, kTables>& entries,
                                      const std::array<QList<QByteArray>, kTables>& texts, const QString& date);

    QByteArray text_;
    std::array<QList<Entry>, kTables> entries_;
    bool indexed_ = false;
};
