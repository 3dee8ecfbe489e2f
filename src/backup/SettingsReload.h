#pragma once

class DownloadSettings;
class VideoSettings;

// After the stored settings changed under the live settings objects (a restore or a reset), they take the
// stored values again, as a fresh start would read them; every open window follows their change signals.
void reloadStoredSettings(VideoSettings& videoSettings, DownloadSettings* downloadSettings);
