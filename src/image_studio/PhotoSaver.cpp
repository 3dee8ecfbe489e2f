#include "PhotoSaver.h"

#include "WhenReady.h"

#include "Dialogs.h"
#include "DownloadSettings.h"
#include "FolderBookmark.h"
#include "PhotoFiles.h"
#include "Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <optional>

namespace {
// The folder's file for the picture: written unless it is there already. None when the picture has no PNG bytes
// or the write failed.
std::optional<QString> fileInFolder(const QImage& image, const QString& folder) {
    const PhotoFiles::Encoded encoded = PhotoFiles::encode(image);
    if (!encoded.png)
        return std::nullopt;
    const QString path = QDir(folder).filePath(PhotoFiles::fileName(encoded.identifier));
    if (QFileInfo::exists(path))
        return path;
    if (!PhotoFiles::writeAtomically(path, *encoded.png))
        return std::nullopt;
    return path;
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
              [this, reveal, folder](const std::optional<QString>& path) {
                  FolderBookmark::stopAccessing(folder);
                  if (reveal && path)
                      this->reveal(*path);
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
                          // A confirmed path is written even over a file: the panel already asked to replace it.
                          auto writing = QtConcurrent::run([image, png, path = *chosen]() -> std::optional<QString> {
                              const auto bytes = PhotoFiles::bytesForChosenPath(path, image, png);
                              if (!bytes || !PhotoFiles::writeAtomically(path, *bytes))
                                  return std::nullopt;
                              return path;
                          });
                          whenReady(this, writing, [this](const std::optional<QString>& written) {
                              if (written)
                                  reveal(*written);
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
