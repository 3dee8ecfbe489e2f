#include "Defaults.h"

#include "AppPaths.h"
#include "CheckedWrite.h"
#include "Dialogs.h"
#include "Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

namespace {
QString& overridePath() {
    static QString path;
    return path;
}
std::unique_ptr<Defaults>& instanceSlot() {
    static std::unique_ptr<Defaults> instance;
    return instance;
}
QString defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Orvane/Orvane.ini";
}
} // namespace

Defaults::Defaults(const QString& path) : path_(path) {
    // The file holds the API keys: a private folder, and a private file before the first key is written
    // (an existing file is tightened; the settings writer keeps the mode when it replaces the file).
    AppPaths::ensurePrivateFolder(QFileInfo(path).absolutePath());
    AppPaths::ensurePrivateFile(path);
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

Defaults& Defaults::standard() {
    auto& slot = instanceSlot();
    if (!slot)
        slot.reset(new Defaults(filePath()));
    return *slot;
}

void Defaults::setFilePath(const QString& path) {
    overridePath() = path;
    instanceSlot().reset();
}

QString Defaults::filePath() {
    return overridePath().isEmpty() ? defaultPath() : overridePath();
}

bool Defaults::contains(const QString& key) const {
    return settings_->contains(key);
}

QVariant Defaults::object(const QString& key) const {
    return settings_->value(key);
}

std::optional<QString> Defaults::string(const QString& key) const {
    if (!contains(key))
        return std::nullopt;
    const QVariant v = settings_->value(key);
    if (v.metaType().id() == QMetaType::QByteArray)
        return std::nullopt;
    return v.toString();
}

bool Defaults::boolValue(const QString& key) const {
    const QVariant v = settings_->value(key);
    if (!v.isValid())
        return false;
    const QString text = v.toString().trimmed().toLower();
    if (text == "yes" || text == "true")
        return true;
    bool ok = false;
    const double n = text.toDouble(&ok);
    return ok && n != 0.0;
}

qint64 Defaults::integer(const QString& key) const {
    const auto n = number(key);
    if (!n || !std::isfinite(*n) || std::fabs(*n) > 9.0e18)
        return 0;
    return qint64(*n);
}

std::optional<double> Defaults::number(const QString& key) const {
    const QVariant v = settings_->value(key);
    if (!v.isValid())
        return std::nullopt;
    const QString text = v.toString().trimmed();
    if (text.compare("true", Qt::CaseInsensitive) == 0)
        return 1.0;
    if (text.compare("false", Qt::CaseInsensitive) == 0)
        return 0.0;
    bool ok = false;
    const double n = text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return n;
}

std::optional<QByteArray> Defaults::data(const QString& key) const {
    const QVariant v = settings_->value(key);
    if (!v.isValid())
        return std::nullopt;
    if (v.metaType().id() == QMetaType::QByteArray)
        return v.toByteArray();
    return std::nullopt;
}

std::optional<QDateTime> Defaults::date(const QString& key) const {
    const QVariant v = settings_->value(key);
    if (!v.isValid())
        return std::nullopt;
    QDateTime d = v.toDateTime();
    if (!d.isValid())
        d = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

void Defaults::set(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        remove(key);
        return;
    }
    // Dates are kept as ISO text so the file stays readable and portable.
    if (value.metaType().id() == QMetaType::QDateTime)
        settings_->setValue(key, value.toDateTime().toUTC().toString(Qt::ISODateWithMs));
    else
        settings_->setValue(key, value);
    sync();
}

void Defaults::remove(const QString& key) {
    settings_->remove(key);
    sync();
}

void Defaults::sync() {
    if (failing_)
        reopen();
    settings_->sync();
    if (settings_->status() == QSettings::NoError) {
        if (failing_)
            Log::line(QStringLiteral("⚙️ ✅ Settings saved again: ") + path_);
        failing_ = false;
        return;
    }
    // Told once for a run of failures (a key typed letter by letter would tell it at every letter).
    if (!failing_) {
        const QString reason = failureReason();
        Log::line(QStringLiteral("⚙️ ❌ Failed to save settings to %1: %2").arg(path_, reason));
        Dialogs::current().notify(Dialogs::AlertStyle::warning, QStringLiteral("Your settings could not be saved"),
                                  QStringLiteral("Your changes are kept while Orvane runs and saved with the next "
                                                 "change once “%1” can be written.\n\nReason: %2")
                                      .arg(path_, reason));
    }
    failing_ = true;
}

// QSettings remembers its first error for ever: after a failure, each write goes through a new one, given every
// value of the old, whose status tells whether this write really went to disk.
void Defaults::reopen() {
    QHash<QString, QVariant> values;
    for (const QString& key : settings_->allKeys())
        values.insert(key, settings_->value(key));
    settings_.reset();
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    for (const QString& key : settings_->allKeys()) {
        if (!values.contains(key))
            settings_->remove(key);
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings_->setValue(it.key(), it.value());
}

// QSettings says only that it failed: a write of the same size beside the file gives the system's words.
QString Defaults::failureReason() const {
    const QString probe = path_ + QStringLiteral(".probe");
    QString error;
    const qint64 size = QFileInfo(path_).size() + 4096;
    if (!CheckedWrite::writeFile(probe, QByteArray(size, '\n'), &error))
        return error;
    QFile::remove(probe);
    return QStringLiteral("The settings file could not be written.");
}

QStringList Defaults::allKeys() const {
    return settings_->allKeys();
}
