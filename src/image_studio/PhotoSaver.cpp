#include "PhotoSaver.h"

#include "WhenReady.h"

#include "Dialogs.h"
#include "DownloadSettings.h"
#include "FolderBookmark.h"
#include "Log.h"
#include "PhotoFiles.h"
#include "Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <optional>

namespace {
struct Written {
    std::optional<QString> path; // the file written or found
    QString target;              // the file that was to be written
    QString error;               // why it was not
};

// The folder's file for the picture: written unless it is there already. No path when the picture has no PNG
// bytes or the write failed.
Written fileInFolder(const QImage& image, const QString& folder) {
    const PhotoFiles::Encoded encoded = PhotoFiles::encode(image);
    if (!encoded.png)
        return {};
    Written written;
    written.target = QDir(folder).filePath(PhotoFiles::fileName(encoded.identifier));
    if (QFileInfo::exists(written.target) || PhotoFiles::writeAtomically(written.target, *encoded.png, &written.error))
        written.path = written.target;
    return written;
}

// A picture the disk did not take is not passed over in silence.
void tellNotWritten(const Written& written) {
    if (written.path || written.error.isEmpty())
        return;
    Log::line(QStringLiteral("❌ Failed to save the picture %1: %2").arg(written.target, written.error));
    Dialogs::current().notify(Dialogs::AlertStyle::warning, QStringLiteral("The picture could not be saved"),
                              QStringLiteral("“%1” was not written.\n\nReason: %2").arg(written.target, written.error));
}
} // namespace

PhotoSaver::PhotoSaver(DownloadSettings* settings, QObject* parent) : QObject(parent), settings_(settings) {}

void PhotoSaver::saveAndReveal(const QImage& image) {
    if (image.isNull())
        return;
    if (const auto folder = settings_ ? settings_->resolveFolderURL() : std::nullopt)
        writeIntoFolder(image, *folder, true);
    else
        offerSavePanel(image);
}

void PhotoSaver::saveToFolder(const QImage& image) {
    if (image.isNull())
        return;
    if (const auto folder = settings_ ? settings_->resolveFolderURL() : std::nullopt)
        writeIntoFolder(image, *folder, false);
}

void PhotoSaver::writeIntoFolder(const QImage& image, const QString& folder, bool reveal) {
    beginWork();
    whenReady(this, QtConcurrent::run([image, folder] { return fileInFolder(image, folder); }),
              [this, reveal, folder](const Written& written) {
                  FolderBookmark::stopAccessing(folder);
                  tellNotWritten(written);
                  if (reveal && written.path)
                      this->reveal(*written.path);
                  endWork();
              });
}

void PhotoSaver::offerSavePanel(const QImage& image) {
    beginWork();
    // The proposed name needs the PNG bytes: encode first, off this thread.
    whenReady(this, QtConcurrent::run([image] { return PhotoFiles::encode(image); }),
              [this, image](const PhotoFiles::Encoded& encoded) {
                  Dialogs::SaveRequest request;
                  request.suggestedName = PhotoFiles::fileName(encoded.identifier);
                  request.nameFilters =
                      QStringList{QStringLiteral("PNG image (*.png)"), QStringLiteral("JPEG image (*.jpg *.jpeg)")};
                  Dialogs::current().saveFileAsync(
                      request, this, [this, image, png = encoded.png](const std::optional<QString>& chosen) {
                          if (!chosen || chosen->isEmpty()) {
                              endWork();
                              return;
                          }
                          // A name without an extension is a PNG file (a panel of the platform may not add one).
                          const bool named = !QFileInfo(*chosen).suffix().isEmpty();
                          const QString path = named ? *chosen : *chosen + QStringLiteral(".png");
                          // A confirmed path is written even over a file: the panel already asked to replace it. It
                          // did not ask about the name given an extension here: a file of that name is kept.
                          auto writing = QtConcurrent::run([image, png, path, named] {
                              Written written;
                              written.target = path;
                              if (!named && QFileInfo::exists(path)) {
                                  written.path = path;
                                  return written;
                              }
                              const auto bytes = PhotoFiles::bytesForChosenPath(path, image, png);
                              if (bytes && PhotoFiles::writeAtomically(path, *bytes, &written.error))
                                  written.path = path;
                              return written;
                          });
                          whenReady(this, writing, [this](const Written& written) {
                              tellNotWritten(written);
                              if (written.path)
                                  reveal(*written.path);
                              endWork();
                          });
                      });
              });
}

void PhotoSaver::reveal(const QString& path) {
    Workspace::current().revealInFileManager({path});
    emit revealed(path);
}

void PhotoSaver::beginWork() {
    ++pendingWork_;
}

void PhotoSaver::endWork() {
    --pendingWork_;
    emit workFinished();
}
