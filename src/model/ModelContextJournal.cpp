// Changes that could not be saved yet: the journal beside the store, the retry and what the user is told.
#include "ModelContext.h"

#include "AppPaths.h"
#include "CheckedWrite.h"
#include "Dialogs.h"
#include "Log.h"
#include "NoReplaceMove.h"
#include "Sqlite.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kFirstRetryDelayMs = 1000;
constexpr int kMaxRetryDelayMs = 60000;
constexpr qint64 kMaxJournalBytes = 512LL * 1024 * 1024;
constexpr int kJournalFormat = 1;

// Stores whose journal a context of this process already owns: a second context on the same file (a reader)
// neither replays nor writes it.
QSet<QString>& journalOwners() {
    static QSet<QString> owners;
    return owners;
}

// Failures that say something about the store or the disk rather than about the change itself: they can pass
// (a lock is released, space is freed, the file becomes writable), so the change is kept for later. A change the
// store refuses as such (a constraint, a wrong statement) would be refused again and is not.
bool canPass(int code) {
    switch (code) {
    case Sqlite::error:
    case Sqlite::internal:
    case Sqlite::tooBig:
    case Sqlite::constraint:
    case Sqlite::mismatch:
    case Sqlite::misuse:
    case Sqlite::range:
        return false;
    default:
        return true;
    }
}

QString causeOf(int code) {
    switch (code) {
    case Sqlite::busy:
    case Sqlite::locked:
        return QStringLiteral("locked");
    case Sqlite::readOnly:
        return QStringLiteral("read-only");
    case Sqlite::full:
        return QStringLiteral("full");
    default:
        return QStringLiteral("code %1").arg(code);
    }
}

bool writePrivateFile(const QString& path, const QByteArray& bytes, QString* error) {
    return CheckedWrite::writeFile(path, bytes, error, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString dated(const QString& path, const char* why) {
    return path + '.' + why + '-' + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss-zzz");
}

// A second name for the journal as it is now, never over another file: the journal itself goes once its changes
// have landed, the copy stays for the user. Empty when no copy could be made.
QString keepCopy(const QString& path, const char* why) {
    const QString base = dated(path, why);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString target = attempt == 1 ? base : base + QStringLiteral("-%1").arg(attempt);
        if (::link(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        // A file system without hard links: a copy, which never replaces an existing file either.
        if (QFile::copy(path, target))
            return target;
        if (!QFileInfo::exists(target))
            return QString();
    }
    return QString();
}

// Removes the file; where its folder cannot be written, empties it, which reads as no journal.
void clearFile(const QString& path) {
    if (!QFileInfo(path).isFile() || QFile::remove(path))
        return;
    // A journal kept for the user under a second name shares this file: emptying it would empty the kept one.
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && status.st_nlink > 1) {
        Log::line(QStringLiteral("❌ [Store] An old journal could not be removed: %1").arg(path));
        return;
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    Log::line(QStringLiteral("❌ [Store] An old journal could not be removed: %1: %2").arg(path, file.errorString()));
}

QJsonValue encodeValue(const EntityColumn& column, const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QJsonValue(QJsonValue::Null);
    switch (column.type) {
    case EntityColumn::Type::Integer:
        return QJsonValue(value.toLongLong());
    case EntityColumn::Type::Real:
        return QJsonValue(value.toDouble());
    case EntityColumn::Type::Blob:
        return QJsonValue(QString::fromLatin1(value.toByteArray().toBase64()));
    case EntityColumn::Type::Text:
    case EntityColumn::Type::Reference:
        return QJsonValue(value.toString());
    }
    return QJsonValue(QJsonValue::Null);
}

// Strict: a value of the wrong kind gives nothing.
std::optional<QVariant> decodeValue(const EntityColumn& column, const QJsonValue& value) {
    if (value.isNull())
        return QVariant();
    switch (column.type) {
    case EntityColumn::Type::Integer:
        if (!value.isDouble())
            return std::nullopt;
        return QVariant(value.toInteger());
    case EntityColumn::Type::Real:
        if (!value.isDouble())
            return std::nullopt;
        return QVariant(value.toDouble());
    case EntityColumn::Type::Blob: {
        if (!value.isString())
            return std::nullopt;
        auto decoded =
            QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        return QVariant(*decoded);
    }
    case EntityColumn::Type::Text:
    case EntityColumn::Type::Reference:
        if (!value.isString())
            return std::nullopt;
        return QVariant(value.toString());
    }
    return std::nullopt;
}
} // namespace

QString ModelContext::journalPath() const {
    return path_ + QStringLiteral(".pending.json");
}

QString ModelContext::fallbackJournalPath() const {
    const QFileInfo store(path_);
    const QByteArray digest =
        QCryptographicHash::hash(store.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return AppPaths::cacheFolder() + '/' + store.fileName() + '-' + QString::fromLatin1(digest) +
           QStringLiteral(".pending.json");
}

void ModelContext::releaseJournal() {
    if (ownsJournal_)
        journalOwners().remove(QFileInfo(path_).absoluteFilePath());
}

void ModelContext::claimJournal() {
    const QString canonical = QFileInfo(path_).absoluteFilePath();
    if (journalOwners().contains(canonical))
        return;
    journalOwners().insert(canonical);
    ownsJournal_ = true;
    nextRetryDelayMs_ = kFirstRetryDelayMs;
    // The application announces a read-only store at start; saves failing for that reason are not told again.
    if (readOnly_)
        told_.insert('\n' + causeOf(Sqlite::readOnly));
    replayJournal();
}

void ModelContext::replayJournal() {
    std::optional<QJsonObject> newest;
    QString newestFile;
    for (const QString& file : {journalPath(), fallbackJournalPath()}) {
        QFile journal(file);
        if (!QFileInfo(file).isFile() || journal.size() == 0)
            continue;
        journalOnDisk_ = true;
        QString problem;
        QJsonObject object;
        if (journal.size() > kMaxJournalBytes) {
            problem = QStringLiteral("it is too large");
        } else if (!journal.open(QIODevice::ReadOnly)) {
            problem = journal.errorString();
        } else {
            QJsonParseError parsing;
            const QJsonDocument document = QJsonDocument::fromJson(journal.readAll(), &parsing);
            object = document.object();
            if (parsing.error != QJsonParseError::NoError)
                problem = parsing.errorString();
            else if (!document.isObject() || object.value("format").toInt() != kJournalFormat)
                problem = QStringLiteral("it is not a journal of this version");
        }
        journal.close();
        if (!problem.isEmpty()) {
            const QString aside = dated(file, "unreadable");
            if (NoReplaceMove::move(file, aside).outcome == NoReplaceMove::Outcome::moved) {
                keptJournals_.append({KeptJournal::Why::unreadable, aside, 0});
                Log::line(QStringLiteral("⚠️ [Store] The journal %1 could not be read (%2); it was kept at %3.")
                              .arg(file, problem, aside));
            } else {
                keptJournals_.append({KeptJournal::Why::unreadable, file, 0});
                Log::line(QStringLiteral("⚠️ [Store] The journal %1 could not be read (%2); it was left in place.")
                              .arg(file, problem));
            }
            continue;
        }
        if (!newest || object.value("written").toInteger() > newest->value("written").toInteger()) {
            newest = object;
            newestFile = file;
        }
    }
    if (!newest) {
        clearJournal();
        return;
    }
    if (const int leftOut = applyJournal(*newest); leftOut > 0) {
        // What was left out would go with the journal once the rest has landed.
        const QString copy = keepCopy(newestFile, "incomplete");
        if (!copy.isEmpty()) {
            keptJournals_.append({KeptJournal::Why::partlyRead, copy, leftOut});
            Log::line(QStringLiteral("⚠️ [Store] The journal %1 was kept at %2 for the entries left out.")
                          .arg(newestFile, copy));
        } else {
            Log::line(
                QStringLiteral("❌ [Store] The journal %1 could not be kept for the entries left out.").arg(newestFile));
        }
    }
    if (!hasChanges()) {
        clearJournal();
        return;
    }
    Log::line(QStringLiteral("💾 [Store] %1 changes that could not be saved earlier were found; saving them now.")
                  .arg(pending_.size() + deleted_.size()));
    quiet_ = true;
    QString error;
    const bool saved = save(&error);
    quiet_ = false;
    if (saved) {
        Log::line(QStringLiteral("💾 ✅ [Store] The changes kept from earlier were saved."));
    } else if (journalActive_) {
        Log::line(QStringLiteral("⚠️ [Store] The changes kept from earlier still wait: ") + error);
    } else {
        // Refused as such: they would be refused at every start and hold back every later change.
        for (const QString& file : {journalPath(), fallbackJournalPath()}) {
            const QString aside = dated(file, "refused");
            if (QFileInfo(file).size() > 0 && NoReplaceMove::move(file, aside).outcome == NoReplaceMove::Outcome::moved)
                keptJournals_.append({KeptJournal::Why::refused, aside, 0});
        }
        journalOnDisk_ = false;
        // Nor do they stay pending, where they would hold back every save of this session.
        for (const auto& record : std::as_const(registry_))
            record->context_ = nullptr;
        registry_.clear();
        pending_.clear();
        deleted_.clear();
        Log::line(QStringLiteral("❌ [Store] The store refused the changes kept from earlier; their journal was set "
                                 "aside: ") +
                  error);
    }
}

int ModelContext::applyJournal(const QJsonObject& journal) {
    const auto entityNamed = [this](const QString& table) -> const EntityDescription* {
        for (const EntityDescription* entity : entities_) {
            if (entity->table == table)
                return entity;
        }
        return nullptr;
    };
    struct Link {
        std::shared_ptr<PersistentModel> record;
        const EntityColumn* column;
        QVariant value;
    };
    QList<Link> links; // resolved once every record is in: a link may point at another kept record
    int skipped = 0;
    // A list that is there but is no list is left out as a whole.
    for (const char* list : {"changes", "deletions"}) {
        if (journal.contains(QLatin1String(list)) && !journal.value(QLatin1String(list)).isArray())
            ++skipped;
    }
    for (const QJsonValue& entry : journal.value("changes").toArray()) {
        const QJsonObject change = entry.toObject();
        const EntityDescription* entity = entityNamed(change.value("table").toString());
        const QJsonObject values = change.value("values").toObject();
        if (!entity || entity->columns.empty()) {
            ++skipped;
            continue;
        }
        std::vector<std::pair<const EntityColumn*, QVariant>> decoded;
        bool readable = true;
        bool picturesLeftOut = false;
        for (const EntityColumn& column : entity->columns) {
            const auto it = values.constFind(column.name);
            if (it == values.constEnd()) {
                picturesLeftOut |= column.lazy;
                readable &= column.lazy || &column != &entity->columns.front();
                continue;
            }
            auto value = decodeValue(column, *it);
            if (!value) {
                readable = false;
                break;
            }
            decoded.emplace_back(&column, std::move(*value));
        }
        const QString identity = readable ? decoded.front().second.toString() : QString();
        if (identity.isEmpty()) {
            ++skipped;
            continue;
        }
        const QString recordKey = key(*entity, identity);
        std::shared_ptr<PersistentModel> record = registry_.value(recordKey);
        if (!record) {
            record = entity->make();
            record->context_ = this;
            record->sequence_ = ++sequence_;
            registry_.insert(recordKey, record);
        }
        record->loading_ = true;
        for (const auto& [column, value] : decoded) {
            if (column->type == EntityColumn::Type::Reference && value.isValid())
                links.append({record, column, value});
            else
                column->load(*record, value, *this);
        }
        record->loading_ = false;
        // Pictures the journal does not hold are still the stored ones.
        record->lazyPending_ = picturesLeftOut;
        record->dirty_ = true;
        pending_.insert(record.get());
    }
    for (const Link& link : std::as_const(links)) {
        link.record->loading_ = true;
        link.column->load(*link.record, link.value, *this);
        link.record->loading_ = false;
    }
    for (const QJsonValue& entry : journal.value("deletions").toArray()) {
        const QJsonObject deletion = entry.toObject();
        const EntityDescription* entity = entityNamed(deletion.value("table").toString());
        if (!entity || !deletion.value("id").isString()) {
            ++skipped;
            continue;
        }
        if (const auto record = loadOne(*entity, deletion.value("id").toString()))
            remove(record);
    }
    if (skipped > 0)
        Log::line(QStringLiteral("⚠️ [Store] %1 entries of the journal could not be read and were left out.")
                      .arg(skipped));
    return skipped;
}

bool ModelContext::writeJournal() {
    journalWriteScheduled_ = false;
    if (!ownsJournal_)
        return false;
    if (!hasChanges()) {
        settle();
        return true;
    }
    QList<PersistentModel*> ordered(pending_.cbegin(), pending_.cend());
    std::sort(ordered.begin(), ordered.end(),
              [](const PersistentModel* a, const PersistentModel* b) { return a->sequence_ < b->sequence_; });
    QJsonArray changes;
    for (PersistentModel* record : std::as_const(ordered)) {
        // The pictures too, so that the journal holds all a later write needs even without this store.
        record->loadLazyColumns();
        QJsonObject values;
        for (const EntityColumn& column : record->entity().columns) {
            if (!column.lazy || !record->lazyPending_)
                values.insert(column.name, encodeValue(column, column.read(*record)));
        }
        changes.append(QJsonObject{{"table", record->entity().table}, {"values", values}});
    }
    QJsonArray deletions;
    for (const auto& record : std::as_const(deleted_))
        deletions.append(QJsonObject{{"table", record->entity().table}, {"id", record->identity()}});
    QJsonObject journal{{"changes", changes}, {"deletions", deletions}};
    const QByteArray body = QJsonDocument(journal).toJson(QJsonDocument::Compact);
    if (journalOnDisk_ && journalFailure_.isEmpty() && body == journalBody_)
        return true;
    journal.insert("format", kJournalFormat);
    journal.insert("written", QDateTime::currentMSecsSinceEpoch());
    const QByteArray bytes = QJsonDocument(journal).toJson(QJsonDocument::Compact);

    QString error;
    if (writePrivateFile(journalPath(), bytes, &error)) {
        clearFile(fallbackJournalPath());
        journalElsewhere_ = false;
    } else {
        QString fallbackError;
        if (!writePrivateFile(fallbackJournalPath(), bytes, &fallbackError)) {
            Log::line(QStringLiteral("❌ [Store] Unsaved changes could not be kept in a journal: %1; %2")
                          .arg(error, fallbackError));
            // Whatever journal is on disk stays as it was; the next write is tried in full, never skipped.
            journalBody_.clear();
            journalFailure_ = error == fallbackError ? error : error + QStringLiteral("; ") + fallbackError;
            return false;
        }
        // An older journal beside the store must not come back over this one.
        clearFile(journalPath());
        if (!journalElsewhere_)
            Log::line(QStringLiteral("⚠️ [Store] The store's folder cannot be written (%1); unsaved changes are "
                                     "kept at %2.")
                          .arg(error, fallbackJournalPath()));
        journalElsewhere_ = true;
    }
    journalBody_ = body;
    journalOnDisk_ = true;
    journalFailure_.clear();
    return true;
}

void ModelContext::clearJournal() {
    if (!ownsJournal_)
        return;
    clearFile(journalPath());
    clearFile(fallbackJournalPath());
    journalBody_.clear();
    journalOnDisk_ = false;
}

void ModelContext::settle() {
    retryTimer_.stop();
    nextRetryDelayMs_ = kFirstRetryDelayMs;
    journalActive_ = false;
    journalWriteScheduled_ = false;
    journalFailure_.clear();
    if (journalOnDisk_)
        clearJournal();
}

void ModelContext::scheduleJournalWrite() {
    if (!journalActive_ || journalWriteScheduled_)
        return;
    journalWriteScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        if (journalWriteScheduled_ && journalActive_ && !writeJournal())
            tellNotSaved(lastFailure_, lastFailureCode_, true);
    });
}

void ModelContext::keepForLater(const QString& error, int code) {
    lastFailureCode_ = code;
    lastFailure_ = error;
    const bool kept = ownsJournal_ && canPass(code);
    if (kept) {
        journalActive_ = true;
        scheduleRetry();
    }
    // The journal follows what is pending, whatever failed this time.
    if (journalActive_)
        writeJournal();
    tellNotSaved(error, code, kept);
}

void ModelContext::tellNotSaved(const QString& error, int code, bool kept) {
    if (quiet_)
        return;
    // Kept in memory but in no journal: the change is lost if Orvane quits before the store takes it, and the
    // user hears that even where the cause itself was told before.
    const bool journaled = !kept || journalHoldsChanges();
    const QString cause = causeOf(code) + (journaled ? QString() : QStringLiteral("\nno journal"));
    if (told_.contains('\n' + cause))
        return;
    QList<PersistentModel*> ordered(pending_.cbegin(), pending_.cend());
    std::sort(ordered.begin(), ordered.end(),
              [](const PersistentModel* a, const PersistentModel* b) { return a->sequence_ < b->sequence_; });
    QString details;
    if (!kept) {
        details = QStringLiteral("The data store said: “%1”. Orvane keeps the change while it runs and tries again "
                                 "with the next save.")
                      .arg(error);
    } else if (journaled) {
        details = QStringLiteral("The data store said: “%1”. Nothing is lost: Orvane keeps the change and saves it as "
                                 "soon as the store can be written again.")
                      .arg(error);
    } else {
        details = QStringLiteral("The data store said: “%1”, and the change could not be written to a journal either "
                                 "(“%2”). Orvane keeps it while it runs and saves it as soon as the store can be "
                                 "written again, but it is lost if Orvane quits before then.")
                      .arg(error, journalFailure_);
    }
    for (const PersistentModel* record : std::as_const(ordered)) {
        const QString& notice = record->entity().unsavedNotice;
        if (notice.isEmpty() || told_.contains(notice + '\n' + cause))
            continue;
        told_.insert(notice + '\n' + cause);
        Dialogs::current().notify(Dialogs::AlertStyle::warning, notice, details);
    }
}

void ModelContext::scheduleRetry() {
    if (retryTimer_.isActive())
        return;
    retryTimer_.start(nextRetryDelayMs_);
    nextRetryDelayMs_ = std::min(nextRetryDelayMs_ * 2, kMaxRetryDelayMs);
}

bool ModelContext::retryPendingChanges() {
    retryTimer_.stop();
    if (!hasChanges()) {
        settle();
        return true;
    }
    if (readOnly_ || lastFailureCode_ == Sqlite::readOnly)
        reconnect();
    QString error;
    if (save(&error)) {
        Log::line(QStringLiteral("💾 ✅ [Store] Changes that had to wait were saved."));
        return true;
    }
    Log::line(QStringLiteral("❌ [Store] Saving again failed: ") + error);
    return false;
}
