#include "VideoGalleryViewModel.h"

#include "APIManager.h"
#include "FolderBookmark.h"
#include "Log.h"

#include <QGuiApplication>
#include <QScreen>

VideoGalleryViewModel::VideoGalleryViewModel(QObject* parent)
    : QObject(parent), supportedExtensions_(defaultSupportedVideoFormats()) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    columns_ = columnsForWidth(screen ? screen->geometry().width() : 1920);
}

int VideoGalleryViewModel::columnsForWidth(double screenWidth) {
    // One column per 480 points of screen, at least one.
    return std::max(1, int(screenWidth / 480.0));
}

void VideoGalleryViewModel::startMonitoring(const QString& directory) {
    stopMonitoring();
    monitoredDirectory_ = directory;
    Log::line("📁 [VideoGallery] Starting to monitor directory: " + directory);
    emit monitoredDirectoryChanged();
}

void VideoGalleryViewModel::stopMonitoring() {
    if (!monitoredDirectory_)
        return;
    FolderBookmark::stopAccessing(*monitoredDirectory_);
    monitoredDirectory_.reset();
    emit monitoredDirectoryChanged();
}
