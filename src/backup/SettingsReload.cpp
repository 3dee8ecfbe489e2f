#include "SettingsReload.h"

#include "APIManager.h"
#include "Defaults.h"
#include "DownloadSettings.h"
#include "VideoSettings.h"

namespace {
template <class Object, class Value>
void update(Object& live, Value (Object::*read)() const, void (Object::*write)(Value), const Object& fresh) {
    if ((live.*read)() != (fresh.*read)())
        (live.*write)((fresh.*read)());
}
template <class Object, class Value>
void update(Object& live, Value (Object::*read)() const, void (Object::*write)(const Value&), const Object& fresh) {
    if ((live.*read)() != (fresh.*read)())
        (live.*write)((fresh.*read)());
}
} // namespace

void reloadStoredSettings(VideoSettings& live, DownloadSettings* downloadSettings) {
    // A new instance reads the keys (and registers the same defaults) exactly as the start does.
    const VideoSettings fresh;
    update(live, &VideoSettings::quality, &VideoSettings::setQuality, fresh);
    update(live, &VideoSettings::duration, &VideoSettings::setDuration, fresh);
    update(live, &VideoSettings::videoDirectoryBookmark, &VideoSettings::setVideoDirectoryBookmark, fresh);
    update(live, &VideoSettings::defaultPromptOptimization, &VideoSettings::setDefaultPromptOptimization, fresh);
    update(live, &VideoSettings::soundNotificationEnabled, &VideoSettings::setSoundNotificationEnabled, fresh);
    update(live, &VideoSettings::selectedSoundName, &VideoSettings::setSelectedSoundName, fresh);
    update(live, &VideoSettings::selectedModel, &VideoSettings::setSelectedModel, fresh);
    update(live, &VideoSettings::fastPretreatment, &VideoSettings::setFastPretreatment, fresh);

    if (downloadSettings) {
        const DownloadSettings freshDownloads;
        update(*downloadSettings, &DownloadSettings::bookmarkData, &DownloadSettings::setBookmarkData, freshDownloads);
    }

    APIManager& keys = APIManager::shared();
    const Defaults& defaults = Defaults::standard();
    const auto stored = [&](const char* key) { return defaults.string(key).value_or(QString()); };
    if (keys.googleAPIKey() != stored("googleAPIKey"))
        keys.setGoogleAPIKey(stored("googleAPIKey"));
    if (keys.miniMaxAPIKey() != stored("miniMaxAPIKey"))
        keys.setMiniMaxAPIKey(stored("miniMaxAPIKey"));
    if (keys.miniMaxAPIKey2() != stored("miniMaxAPIKey2"))
        keys.setMiniMaxAPIKey2(stored("miniMaxAPIKey2"));
    if (keys.miniMaxAPIKey3() != stored("miniMaxAPIKey3"))
        keys.setMiniMaxAPIKey3(stored("miniMaxAPIKey3"));
    if (keys.miniMaxAPIKey4() != stored("miniMaxAPIKey4"))
        keys.setMiniMaxAPIKey4(stored("miniMaxAPIKey4"));
}
