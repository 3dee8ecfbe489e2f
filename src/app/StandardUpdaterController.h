#pragma once

#include <QObject>
#include <QUrl>
#include <QVersionNumber>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// A small updater: created stopped, started once, says whether a check is possible now, and runs a
// user-visible check against an appcast feed (RSS items with sparkle:version / shortVersionString).
class StandardUpdaterController : public QObject {
    Q_OBJECT
public:
    struct FeedItem {
        QString title;
        QVersionNumber version;
        QString displayVersion;
        QUrl downloadUrl;
    };
    enum class Outcome { updateAvailable, upToDate, failed };

    explicit StandardUpdaterController(QObject* parent = nullptr);

    bool isStarted() const { return started_; }
    bool canCheckForUpdates() const { return canCheckForUpdates_; }
    void startUpdater();
    // Does nothing while a check is not possible.
    void checkForUpdates();

    // The newest item of a feed, or none when the feed has no usable item or is not a feed.
    static std::optional<FeedItem> newestItem(const QByteArray& feed);

    // Seams for tests and embedding.
    void setCurrentVersion(const QString& version) { currentVersion_ = version; }
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }

signals:
    void canCheckForUpdatesChanged(bool canCheck);
    void checkFinished(StandardUpdaterController::Outcome outcome);

private:
    // A check still running when the controller goes is abandoned and touches nothing of it.
    QCoro::Task<> runCheck();
    void setCanCheckForUpdates(bool value);

    bool started_ = false;
    bool canCheckForUpdates_ = false;
    QString currentVersion_;
    std::function<void(const QUrl&)> openUrl_;
};
