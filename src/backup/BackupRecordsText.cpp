#include "BackupRecordsText.h"

#include "BackupContext.h"
#include "BackupManager.h"
#include "BackupWriter.h"
#include "ImagePreset.h"
#include "ModelContext.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kTableNames[BackupRecordsText::kTables] = {"VideoMetadata", "PromptPreset", "ImagePreset"};
constexpr const char* kMembers[BackupRecordsText::kTables] = {"videoMetadata", "promptPresets", "imagePresets"};

std::string utf8(const QString& text) {
    return text.toStdString();
}

// The members of each entry, in order. The same list makes the JSON values and the file's text.
template <class Sink> void videoMembers(const VideoMetadata& video, Sink& sink) {
    sink.text("id", BackupWriter::uuidString(video.id()));
    sink.text("fileName", video.fileName());
    sink.text("prompt", video.prompt());
    sink.text("quality", video.quality());
    sink.number("duration", video.duration());
    sink.text("videoMode", video.videoMode());
    sink.flag("promptOptimization", video.promptOptimization());
    sink.text("createdAt", BackupWriter::iso8601(video.createdAt()));
    sink.flag("hasFirstFrame", video.hasFirstFrameImageData());
    sink.flag("hasLastFrame", video.hasLastFrameImageData());
}

template <class Sink> void promptPresetMembers(const PromptPreset& preset, Sink& sink) {
    sink.text("id", BackupWriter::uuidString(preset.id()));
    sink.text("name", preset.name());
    sink.text("prompt", preset.prompt());
    sink.text("category", preset.category());
    sink.text("createdAt", BackupWriter::iso8601(preset.createdAt()));
    sink.flag("isBuiltIn", preset.isBuiltIn());
    sink.flag("hasUserImage", preset.hasUserImageData());
}

template <class Sink> void imagePresetMembers(const ImagePreset& preset, Sink& sink) {
    sink.text("id", BackupWriter::uuidString(preset.id()));
    sink.text("title", preset.title());
    sink.text("prompt", preset.prompt());
    sink.text("createdAt", BackupWriter::iso8601(preset.createdAt()));
    sink.flag("hasImage", preset.hasImageData());
}

struct JsonSink {
    BackupRecordsText::Json json = BackupRecordsText::Json::object();
    void text(const char* key, const QString& value) { json[key] = utf8(value); }
    void number(const char* key, qint64 value) { json[key] = value; }
    void flag(const char* key, bool value) { json[key] = value; }
};

// A JSON string as the JSON library writes it: UTF-8 kept, quotes, backslashes and control characters escaped.
void appendEscaped(QByteArray& out, const QByteArray& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (uchar(c) < 0x20) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", unsigned(uchar(c)));
                out += code;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// One entry as the JSON library pretty-prints it inside the file's arrays: its members six spaces in.
class TextSink {
public:
    explicit TextSink(QByteArray& out) : out_(out) {}
    void text(const char* key, const QString& value) {
        open(key);
        appendEscaped(out_, value.toUtf8());
    }
    void number(const char* key, qint64 value) {
        open(key);
        out_ += QByteArray::number(value);
    }
    void flag(const char* key, bool value) {
        open(key);
        out_ += value ? "true" : "false";
    }
    void close() { out_ += "\n    }"; }

private:
    void open(const char* key) {
        out_ += first_ ? "{\n      \"" : ",\n      \"";
        first_ = false;
        out_ += key;
        out_ += "\": ";
    }

    QByteArray& out_;
    bool first_ = true;
};

// One row's entry and its text, from the record.
template <class Record, class Members>
std::pair<BackupRecordsText::Entry, QByteArray> entryOf(const Record& record, quint8 pictures, bool listed,
                                                        const Members& members) {
    BackupRecordsText::Entry entry;
    entry.identity = record.identity();
    entry.pictures = pictures;
    QByteArray text;
    if (listed) {
        text.reserve(400);
        TextSink sink(text);
        members(record, sink);
        sink.close();
    }
    return {entry, text};
}

std::pair<BackupRecordsText::Entry, QByteArray> entryOf(const VideoMetadata& video) {
    const quint8 pictures = (video.hasFirstFrameImageData() ? 1 : 0) | (video.hasLastFrameImageData() ? 2 : 0);
    return entryOf(video, pictures, true, [](const auto& v, TextSink& sink) { videoMembers(v, sink); });
}

std::pair<BackupRecordsText::Entry, QByteArray> entryOf(const PromptPreset& preset) {
    // Built-in presets have no entry, but their pictures are backed up.
    return entryOf(preset, preset.hasUserImageData() ? 4 : 0, !preset.isBuiltIn(),
                   [](const auto& p, TextSink& sink) { promptPresetMembers(p, sink); });
}

std::pair<BackupRecordsText::Entry, QByteArray> entryOf(const ImagePreset& preset) {
    return entryOf(preset, preset.hasImageData() ? 8 : 0, true,
                   [](const auto& p, TextSink& sink) { imagePresetMembers(p, sink); });
}

// The entry of the row `identity` of table `table` as the store holds it now; none when it has gone.
std::optional<std::pair<BackupRecordsText::Entry, QByteArray>> storedEntry(ModelContext& store, int table,
                                                                           const QString& identity) {
    switch (table) {
    case 0:
        if (const auto record = store.object<VideoMetadata>(identity))
            return entryOf(*record);
        break;
    case 1:
        if (const auto record = store.object<PromptPreset>(identity))
            return entryOf(*record);
        break;
    default:
        if (const auto record = store.object<ImagePreset>(identity))
            return entryOf(*record);
    }
    return std::nullopt;
}

} // namespace

int BackupRecordsText::tableOf(const QString& table) {
    for (int i = 0; i < kTables; ++i) {
        if (table == QLatin1String(kTableNames[i]))
            return i;
    }
    return -1;
}

BackupRecordsText::Json BackupRecordsText::encodeVideoMetadata(const VideoMetadata& video) {
    JsonSink sink;
    videoMembers(video, sink);
    return std::move(sink.json);
}

BackupRecordsText::Json BackupRecordsText::encodePromptPreset(const PromptPreset& preset) {
    JsonSink sink;
    promptPresetMembers(preset, sink);
    return std::move(sink.json);
}

BackupRecordsText::Json BackupRecordsText::encodeImagePreset(const ImagePreset& preset) {
    JsonSink sink;
    imagePresetMembers(preset, sink);
    return std::move(sink.json);
}

BackupRecordsText
BackupRecordsText::fromRecords(const BackupRecords& records, const QString& date,
                               const std::optional<std::array<QHash<QString, qint64>, kTables>>& rowids) {
    std::array<QList<Entry>, kTables> entries;
    std::array<QList<QByteArray>, kTables> texts;
    const auto add = [&](int table, std::pair<Entry, QByteArray> row) {
        entries[table].append(std::move(row.first));
        texts[table].append(std::move(row.second));
    };
    for (const auto& video : records.videos)
        add(0, entryOf(*video));
    for (const auto& preset : records.promptPresets)
        add(1, entryOf(*preset));
    for (const auto& preset : records.imagePresets)
        add(2, entryOf(*preset));

    // In the store's order, every row known by its rowid: the text can be written again from changes.
    bool indexed = rowids.has_value();
    for (int table = 0; table < kTables && indexed; ++table) {
        qint64 previous = -1;
        for (Entry& entry : entries[table]) {
            entry.rowid = (*rowids)[table].value(entry.identity, -1);
            indexed = entry.rowid > previous;
            if (!indexed)
                break;
            previous = entry.rowid;
        }
    }
    BackupRecordsText result = assemble(entries, texts, date);
    result.indexed_ = indexed;
    return result;
}

std::optional<std::array<QHash<QString, qint64>, BackupRecordsText::kTables>>
BackupRecordsText::rowids(ModelContext& store) {
    std::array<QHash<QString, qint64>, kTables> rowids;
    for (int table = 0; table < kTables; ++table) {
        QSqlQuery query(store.database());
        query.setForwardOnly(true);
        // The id's own index holds both: the rows' pictures are not read.
        if (!query.exec(QStringLiteral("SELECT rowid, id FROM main.\"%1\"").arg(QLatin1String(kTableNames[table]))))
            return std::nullopt;
        while (query.next())
            rowids[table].insert(query.value(1).toString(), query.value(0).toLongLong());
    }
    return rowids;
}

std::optional<BackupRecordsText> BackupRecordsText::withChanges(ModelContext& store, const Changes& changed,
                                                                const QString& date) const {
    // Rows are read one by one here: when many changed, reading them all at once is quicker.
    qsizetype rows = 0, changes = 0;
    for (int table = 0; table < kTables; ++table) {
        rows += entries_[table].size();
        changes += changed[table].size();
    }
    if (!indexed_ || changes > std::max<qsizetype>(64, rows / 8))
        return std::nullopt;
    std::array<QList<Entry>, kTables> entries;
    std::array<QList<QByteArray>, kTables> texts;
    for (int table = 0; table < kTables; ++table) {
        QList<std::pair<Entry, QByteArray>> rows;
        for (const QString& identity : changed[table]) {
            auto row = storedEntry(store, table, identity);
            if (!row)
                continue; // deleted
            QSqlQuery query(store.database());
            query.prepare(
                QStringLiteral("SELECT rowid FROM main.\"%1\" WHERE id = ?").arg(QLatin1String(kTableNames[table])));
            query.addBindValue(identity);
            if (!query.exec() || !query.next())
                return std::nullopt;
            row->first.rowid = query.value(0).toLongLong();
            rows.append(std::move(*row));
        }
        std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first.rowid < b.first.rowid; });
        // The unchanged rows keep their order and their text; the changed ones go where their rowid puts them.
        auto next = rows.begin();
        const auto take = [&](const Entry& entry, QByteArray text) {
            entries[table].append(entry);
            texts[table].append(std::move(text));
        };
        for (const Entry& entry : entries_[table]) {
            if (changed[table].contains(entry.identity))
                continue;
            for (; next != rows.end() && next->first.rowid < entry.rowid; ++next)
                take(next->first, std::move(next->second));
            take(entry, QByteArray::fromRawData(text_.constData() + entry.offset, entry.length));
        }
        for (; next != rows.end(); ++next)
            take(next->first, std::move(next->second));
    }
    BackupRecordsText result = assemble(entries, texts, date);
    result.indexed_ = true;
    return result;
}

BackupRecordsText BackupRecordsText::assemble(const std::array<QList<Entry>, kTables>& entries,
                                              const std::array<QList<QByteArray>, kTables>& texts,
                                              const QString& date) {
    BackupRecordsText result;
    QByteArray& out = result.text_;
    qsizetype size = 256;
    for (const auto& table : texts) {
        for (const QByteArray& text : table)
            size += text.size() + 6;
    }
    out.reserve(size);
    out += '{';
    for (int table = 0; table < kTables; ++table) {
        out += table == 0 ? "\n  \"" : ",\n  \"";
        out += kMembers[table];
        out += "\": ";
        bool first = true;
        for (qsizetype i = 0; i < entries[table].size(); ++i) {
            Entry entry = entries[table][i];
            const QByteArray& text = texts[table][i];
            entry.offset = 0;
            entry.length = text.size();
            if (!text.isEmpty()) {
                out += first ? "[\n    " : ",\n    ";
                first = false;
                entry.offset = out.size();
                out += text;
            }
            result.entries_[table].append(std::move(entry));
        }
        out += first ? "[]" : "\n  ]";
    }
    out += ",\n  \"backupVersion\": ";
    appendEscaped(out, BackupManager::backupVersion.toUtf8());
    out += ",\n  \"backupDate\": ";
    appendEscaped(out, date.toUtf8());
    out += "\n}";
    return result;
}

void BackupRecordsText::writeIndex(QDataStream& out) const {
    for (const auto& table : entries_) {
        out << qint64(table.size());
        for (const Entry& entry : table)
            out << entry.identity << entry.rowid << entry.pictures << qint64(entry.offset) << qint64(entry.length);
    }
}

std::optional<BackupRecordsText> BackupRecordsText::readIndex(QDataStream& in, QByteArray text) {
    BackupRecordsText result;
    result.text_ = std::move(text);
    result.indexed_ = true;
    for (auto& table : result.entries_) {
        qint64 count = 0;
        in >> count;
        if (in.status() != QDataStream::Ok || count < 0 || count > result.text_.size())
            return std::nullopt;
        table.reserve(count);
        qint64 previous = -1;
        for (qint64 i = 0; i < count; ++i) {
            Entry entry;
            qint64 offset = 0, length = 0;
            in >> entry.identity >> entry.rowid >> entry.pictures >> offset >> length;
            // Each entry is one object of the file, in the store's order.
            const bool inside = offset >= 0 && length >= 0 && offset + length <= result.text_.size();
            if (in.status() != QDataStream::Ok || !inside || entry.rowid <= previous ||
                (length > 0 && (result.text_[offset] != '{' || result.text_[offset + length - 1] != '}')))
                return std::nullopt;
            entry.offset = offset;
            entry.length = length;
            previous = entry.rowid;
            table.append(std::move(entry));
        }
    }
    return result;
}
