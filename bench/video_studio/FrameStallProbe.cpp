#include "FrameStallProbe.h"

#include "AppViewModel.h"
#include "FrameImageIntake.h"
#include "VideoWorkspaceModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

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
    AppViewModel app;
    app.setCurrentView(ViewMode::videoGeneration);
    AppEnvironment environment;
    environment.appViewModel = &app;
    VideoWorkspaceModel model(environment);
    FrameImageIntake intake;
    QObject::connect(&intake, &FrameImageIntake::imageLoaded, &model, &VideoWorkspaceModel::storeImage);

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    ticker.start();
    intake.loadFiles(ImageType::first, {path});
    QElapsedTimer limit;
    limit.start();
    while (!model.hasFirstFrame() && limit.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // Let whatever the arrival triggers run too.
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return model.hasFirstFrame() ? double(longest) / 1e6 : -1;
}
