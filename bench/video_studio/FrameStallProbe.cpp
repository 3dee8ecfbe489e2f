#include "FrameStallProbe.h"

#include "AppViewModel.h"
#include "Defaults.h"
#include "DownloadSettings.h"
#include "FrameSlotView.h"
#include "ImageTiles.h"
#include "ScenesView.h"
#include "StallMeter.h"
#include "VideoSettings.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>

double longestStallDroppingLargeFrame() {
    QTemporaryDir dir;
    const QString path = dir.filePath("large.jpg");
    {
        QImage photo(6000, 4000, QImage::Format_RGB32);
        QPainter painter(&photo);
        QLinearGradient gradient(0, 0, 6000, 4000);
        gradient.setColorAt(0, Qt::darkBlue);
        gradient.setColorAt(1, Qt::yellow);
        painter.fillRect(photo.rect(), gradient);
        painter.end();
        photo.save(path, "JPEG", 90);
    }
    // A private settings file: the studio's stores write theirs at once.
    Defaults::setFilePath(dir.filePath("settings.ini"));
    AppViewModel app;
    app.setCurrentView(ViewMode::videoGeneration);
    VideoSettings videoSettings;
    DownloadSettings downloadSettings;
    AppEnvironment environment;
    environment.appViewModel = &app;
    environment.videoSettings = &videoSettings;
    environment.downloadSettings = &downloadSettings;
    ScenesView view(environment);
    view.resize(1200, 800);
    view.show();
    QApplication::processEvents();
    auto* slot = view.findChild<FrameSlotView*>("referenceFrameSlot");
    if (!slot)
        return -1;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint centre = slot->rect().center();
    const auto shown = [slot] { return slot->tile() && !slot->shownImage().isNull() && slot->tile()->isVisible(); };

    StallMeter meter;
    meter.start();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slot, &enter);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slot, &drop);
    QElapsedTimer limit;
    limit.start();
    while (!shown() && limit.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // The tile's first paint is part of the drop too.
    slot->tile()->repaint();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double longest = meter.stopMs();
    return shown() ? longest : -1;
}
