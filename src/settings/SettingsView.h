#pragma once

#include <QWidget>

class APISettings;
class VideoSettings;

// The settings window's content.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    SettingsView(VideoSettings& videoSettings, APISettings& apiSettings, QWidget* parent = nullptr);

private:
    VideoSettings& videoSettings_;
    APISettings& apiSettings_;
};
