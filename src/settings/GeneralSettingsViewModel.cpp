#include "GeneralSettingsViewModel.h"

#include "BackupManager.h"
#include "Dialogs.h"
#include "Log.h"
#include "Sounds.h"
#include "VideoSettings.h"

#include <QDir>
#include <QLocale>

GeneralSettingsViewModel::GeneralSettingsViewModel(VideoSettings& videoSettings, BackupManager& backupManager,
                                                   QObject* parent)
    : QObject(parent), videoSettings_(&videoSettings), backupManager_(&backupManager) {
    connect(&videoSettings, &VideoSettings::soundNotificationEnabledChanged, this,
            &GeneralSettingsViewModel::soundNotificationEnabledChanged);
    connect(&videoSettings, &VideoSettings::selectedSoundNameChanged, this,
            &GeneralSettingsViewModel::selectedSoundNameChanged);
    connect(&videoSettings, &VideoSettings::availableSoundsChanged, this,
            &GeneralSettingsViewModel::availableSoundsChanged);
    connect(&backupManager, &BackupManager::lastBackupDateChanged, this, &GeneralSettingsViewModel::lastBackupChanged);
}

bool GeneralSettingsViewModel::soundNotificationEnabled() const {
    return videoSettings_ && videoSettings_->soundNotificationEnabled();
}

void GeneralSettingsViewModel::setSoundNotificationEnabled(bool enabled) {
    if (videoSettings_ && enabled != videoSettings_->soundNotificationEnabled())
        videoSettings_->setSoundNotificationEnabled(enabled);
}

QString GeneralSettingsViewModel::selectedSoundName() const {
    return videoSettings_ ? videoSettings_->selectedSoundName() : QString();
}

void GeneralSettingsViewModel::setSelectedSoundName(const QString& name) {
    if (videoSettings_ && name != videoSettings_->selectedSoundName())
        videoSettings_->setSelectedSoundName(name);
}

QStringList GeneralSettingsViewModel::availableSounds() const {
    return videoSettings_ ? videoSettings_->availableSounds() : QStringList();
}

bool GeneralSettingsViewModel::hasLastBackup() const {
    return backupManager_ && backupManager_->lastBackupDate().has_value();
}

QString GeneralSettingsViewModel::lastBackupText() const {
    if (!hasLastBackup())
        return {};
    return formatBackupDate(*backupManager_->lastBackupDate(), QLocale());
}

namespace {

// A time format without its seconds (and fractions): "HH:mm:ss" becomes "HH:mm". Quoted text stays.
QString withoutSeconds(const QString& pattern) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
            continue;
        }
        if (quoted || (c != u's' && c != u'z')) {
            result += c;
            continue;
        }
        // The separator before seconds or fractions goes with them.
        if (!result.isEmpty() && (result.back() == u':' || result.back() == u'.' || result.back() == u','))
            result.chop(1);
        while (i + 1 < pattern.size() && pattern[i + 1] == c)
            ++i;
    }
    return result.trimmed();
}

} // namespace

QString GeneralSettingsViewModel::formatBackupDate(const QDateTime& date, const QLocale& locale) {
    const QDateTime local = date.toLocalTime();
    // The locale's medium date: its long date with abbreviated month and no weekday, for example "Mar 4, 2026".
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    pattern.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
    for (const char* weekday : {"dddd, ", "dddd ", ", dddd", "dddd"})
        pattern.remove(QLatin1String(weekday));
    // "at" joins them in English; other languages get a comma rather than an English word.
    const QString joiner = locale.language() == QLocale::English ? QStringLiteral(" at ") : QStringLiteral(", ");
    // The locale's short time, which some locales (the C locale among them) write with seconds.
    return locale.toString(local.date(), pattern.trimmed()) + joiner +
           locale.toString(local.time(), withoutSeconds(locale.timeFormat(QLocale::ShortFormat)));
}

void GeneralSettingsViewModel::previewSound() {
    const QString name = selectedSoundName();
    if (!Sounds::pathForName(name))
        return;
    SoundPlayer::current().play(name);
}

bool GeneralSettingsViewModel::createBackup() {
    if (!backupManager_)
        return false;
    QString message = backupCreatedMessage;
    try {
        const BackupResult result = backupManager_->createBackupNow();
        if (result.keptBackup)
            message += ' ' + BackupManager::keptBackupSentence(*result.keptBackup);
    } catch (const std::exception& error) {
        const QString reason = QString::fromUtf8(error.what());
        Log::line(QStringLiteral("❌ Backup failed: %1").arg(reason));
        // A full disk or a folder that cannot be written: the user asked for a backup and must know there is none.
        Dialogs::current().alert(Dialogs::AlertStyle::warning, backupFailedTitle,
                                 backupFailedMessage(backupManager_->backupFolderURL().value_or(QString()), reason),
                                 {"OK"});
        return false;
    }
    Dialogs::current().alert(Dialogs::AlertStyle::informational, backupCreatedTitle, message, {"OK"});
    return true;
}

QString GeneralSettingsViewModel::backupFailedMessage(const QString& folder, const QString& reason) {
    if (folder.isEmpty())
        return QStringLiteral("No backup was made.\n\nReason: The system gives Orvane no folder for its data.");
    const QString shown = QDir::toNativeSeparators(folder);
    // The folder is named already: the reason keeps what is inside it, or only the system's words about it.
    QString why = QDir::toNativeSeparators(reason);
    if (why.startsWith(shown + QDir::separator()))
        why.remove(0, shown.size() + 1);
    else if (why.startsWith(shown + QStringLiteral(": ")))
        why.remove(0, shown.size() + 2);
    return QStringLiteral("No backup was made in “%1”.\n\nReason: %2").arg(shown, why);
}

bool GeneralSettingsViewModel::requestReset() {
    const int answer = Dialogs::current().alert(Dialogs::AlertStyle::critical, resetTitle, resetMessage,
                                                {"Cancel", resetButton}, 0, 1);
    if (answer != 1 || !backupManager_)
        return false;
    return backupManager_->resetEverything();
}
