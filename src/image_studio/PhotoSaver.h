#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

class DownloadSettings;

// Saves pictures for the user as "Orvane_<id>.png", the id taken from the PNG bytes: into the photo folder, where
// a file of that name is kept rather than written again, or, without a folder, wherever the save panel says.
// Encoding and writing run on workers; the outcome comes back on this object's thread.
class PhotoSaver : public QObject {
    Q_OBJECT
public:
    explicit PhotoSaver(DownloadSettings* settings, QObject* parent = nullptr);

    // Saves the picture (into the photo folder, else through the save panel) and shows the file in the file manager.
    void saveAndReveal(const QImage& image);
    // Writes the picture into the photo folder unless a file of its name is there; silent, and nothing without a
    // folder.
    void saveToFolder(const QImage& image);
    // Encodings and writes not finished yet.
    int pendingWork() const { return pendingWork_; }

signals:
    // A file was written or found and was shown in the file manager.
    void revealed(const QString& path);
    // One save finished (written or not).
    void workFinished();

private:
    void writeIntoFolder(const QImage& image, const QString& folder, bool reveal);
    void offerSavePanel(const QImage& image);
    void reveal(const QString& path);
    void beginWork();
    void endWork();

    QPointer<DownloadSettings> settings_;
    int pendingWork_ = 0;
};
