#include "BackupRestorer.h"

#include "Defaults.h"

#include <QFile>
#include <QFileInfo>

namespace {
// A settings file is a few hundred bytes; anything far bigger is not ours.
constexpr qint64 kMaxSettingsFileSize = 1 << 20;
} // namespace

bool BackupRestorer::settingsBackupExists() const {
    const auto file = context_.settingsBackupFile();
    return file && QFileInfo(*file).isFile();
}

bool BackupRestorer::needsSettingsRestore() {
    const Defaults& defaults = Defaults::standard();
    const bool noImageKey = defaults.string("googleAPIKey").value_or(QString()).isEmpty();
    const bool noVideoKey = defaults.string("miniMaxAPIKey").value_or(QString()).isEmpty();
    return noImageKey && noVideoKey && !defaults.contains("videoQuality");
}

bool BackupRestorer::restoreIfNeeded() const {
    if (!settingsBackupExists() || !needsSettingsRestore())
        return false;
    restoreSettings();
    return true;
}

void BackupRestorer::restoreSettings() const {
    const auto path = context_.settingsBackupFile();
    if (!path)
        return;
    QFile file(*path);
    if (file.size() > kMaxSettingsFileSize || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.read(kMaxSettingsFileSize + 1);
    if (bytes.size() > kMaxSettingsFileSize)
        return;
    const auto parsed = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return;
    applySettings(parsed);
}

void BackupRestorer::applySettings(const nlohmann::json& object) {
    if (!object.is_object())
        return;
    Defaults& defaults = Defaults::standard();
    const auto stringMember = [&](const char* key) -> std::optional<QString> {
        const auto it = object.find(key);
        if (it == object.end() || !it->is_string())
            return std::nullopt;
        return QString::fromStdString(it->get<std::string>());
    };
    for (const char* key : {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4"}) {
        if (const auto value = stringMember(key); value && !value->isEmpty())
            defaults.set(key, *value);
    }
    for (const char* key : {"videoQuality", "videoDuration"}) {
        if (const auto value = stringMember(key))
            defaults.set(key, *value);
    }
    for (const char* key : {"defaultPromptOptimization", "soundNotificationEnabled"}) {
        const auto it = object.find(key);
        if (it != object.end() && it->is_boolean())
            defaults.set(key, it->get<bool>());
    }
    for (const char* key : {"selectedSoundName", "outputPreset"}) {
        if (const auto value = stringMember(key))
            defaults.set(key, *value);
    }
}
