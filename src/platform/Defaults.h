#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

// The user defaults: one key per setting in an INI file under the XDG config folder.
// Every write is synced to disk at once. A write the disk refuses is kept in memory and tried again with the
// next one; the first failure of a run of them is logged and shown to the user, with the system's reason.
class Defaults {
public:
    static Defaults& standard();
    // Points the process-wide defaults at another file (tests, or a portable setup).
    static void setFilePath(const QString& path);
    static QString filePath();

    bool contains(const QString& key) const;
    QVariant object(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    // Absent or unparsable values read as false / 0, as the platform's typed reads do.
    bool boolValue(const QString& key) const;
    qint64 integer(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QDateTime> date(const QString& key) const;

    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);
    QStringList allKeys() const;

private:
    explicit Defaults(const QString& path);
    void sync();
    void reopen();
    QString failureReason() const;

    std::unique_ptr<QSettings> settings_;
    QString path_;
    bool failing_ = false;
};
