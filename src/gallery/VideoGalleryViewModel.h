#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

// The gallery's model: the clips of the watched video folder.
class VideoGalleryViewModel : public QObject {
    Q_OBJECT
public:
    enum class GridMode { automatic, solo, comfort, compact };

    explicit VideoGalleryViewModel(QObject* parent = nullptr);

    int columns() const { return columns_; }
    double gridSpacing() const { return gridSpacing_; }
    GridMode gridMode() const { return gridMode_; }
    QSet<QString> supportedExtensions() const { return supportedExtensions_; }
    QString fileNamePrefix() const { return fileNamePrefix_; }
    std::optional<QString> monitoredDirectory() const { return monitoredDirectory_; }

    // The caller has already started access to the folder; access is closed when monitoring stops.
    void startMonitoring(const QString& directory);
    void stopMonitoring();

    static int columnsForWidth(double screenWidth);

signals:
    void monitoredDirectoryChanged();

private:
    int columns_ = 1;
    double gridSpacing_ = 16;
    GridMode gridMode_ = GridMode::automatic;
    QSet<QString> supportedExtensions_;
    QString fileNamePrefix_ = "Orvane_";
    std::optional<QString> monitoredDirectory_;
};
