#pragma once

class AppViewModel;
class DownloadSettings;
class ModelContext;
class MovementPlayer;
class QueueManager;
class SwiftDataImagePresetsManager;
class SwiftDataPromptPresetsManager;
class VideoGalleryViewModel;
class VideoSettings;

// The long-lived objects the main window's views read, handed down from the application.
struct AppEnvironment {
    DownloadSettings* downloadSettings = nullptr;
    VideoSettings* videoSettings = nullptr;
    AppViewModel* appViewModel = nullptr;
    QueueManager* queueManager = nullptr;
    MovementPlayer* movementPlayer = nullptr;
    VideoGalleryViewModel* galleryViewModel = nullptr;
    ModelContext* modelContext = nullptr;
    SwiftDataPromptPresetsManager* promptPresetsManager = nullptr;
    SwiftDataImagePresetsManager* imagePresetsManager = nullptr;
};
