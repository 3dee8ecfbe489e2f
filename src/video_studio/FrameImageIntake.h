#pragma once

#include "AppViewModel.h"
#include "ReferenceLoader.h"

#include <QImage>
#include <QObject>
#include <QStringList>

class DownloadSettings;
class QMimeData;

// Moves pictures into and out of the frame slots off the GUI thread. Files are decoded on a worker (a
// picture over Qt's allocation limit is reduced to fit it; what is not a picture is skipped) and the results
// are handed back in the order they were asked for. Saving encodes and writes on a worker too.
class FrameImageIntake : public QObject {
    Q_OBJECT
public:
    explicit FrameImageIntake(QObject* parent = nullptr);
    ~FrameImageIntake() override;

    // Decodes each file; every picture that decodes is delivered, in order.
    void loadFiles(ImageType slot, const QStringList& paths);
    // A picture that arrived decoded (dropped image data) queues behind earlier loads.
    void deliverImage(ImageType slot, const QImage& image);
    // Dropped picture data: its own bytes are decoded on the worker, reduced like a file, so a phone photo is
    // taken; data that only comes decoded is delivered as it is.
    void loadDroppedData(ImageType slot, const QMimeData& mime);

    // Saves a frame: into the photo folder when it resolves, else where the user picks in a save panel.
    void saveFrameImage(const QImage& image, DownloadSettings* downloadSettings);

    int pendingLoads() const { return loader_->pendingCount(); }
    int pendingSaves() const { return pendingSaves_; }
    // Whether a drag brings a picture: the studios' one rule (PhotoFiles::carriesPicture).
    static bool carriesPicture(const QMimeData& mime);
    // Used by the decoder; public for the tests.
    static QImage readImage(const QString& path);

signals:
    void imageLoaded(ImageType slot, const QImage& image);
    void saveFinished(const QString& path, const QString& error);

private:
    void load(ImageType slot, ReferenceLoader::Source source);
    void startSave(const QImage& image, const QString& target, bool intoFolder, const QString& folder);

    ReferenceLoader* loader_;
    int pendingSaves_ = 0;
};
