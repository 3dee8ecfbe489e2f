#include "StandardUpdaterController.h"

#include "Dialogs.h"
#include "Log.h"
#include "NetworkAccess.h"
#include "ServiceConfig.h"
#include "ServiceReply.h"
#include "TaskOwner.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QXmlStreamReader>

namespace {
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;
constexpr int kTimeoutMs = 30000;
const QString kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

QString applicationName() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Orvane") : name;
}
} // namespace

StandardUpdaterController::StandardUpdaterController(QObject* parent) : QObject(parent) {
    currentVersion_ = QCoreApplication::applicationVersion();
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

void StandardUpdaterController::startUpdater() {
    if (started_)
        return;
    started_ = true;
    setCanCheckForUpdates(true);
}

void StandardUpdaterController::setCanCheckForUpdates(bool value) {
    if (canCheckForUpdates_ == value)
        return;
    canCheckForUpdates_ = value;
    emit canCheckForUpdatesChanged(value);
}

void StandardUpdaterController::checkForUpdates() {
    if (!canCheckForUpdates_)
        return;
    TaskOwner::own(this, runCheck());
}

std::optional<StandardUpdaterController::FeedItem> StandardUpdaterController::newestItem(const QByteArray& feed) {
    QXmlStreamReader xml(feed);
    std::optional<FeedItem> newest;
    std::optional<FeedItem> current;
    bool sawRss = false;
    QString text;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (name == u"rss" || name == u"channel")
                sawRss = true;
            if (name == u"item") {
                current = FeedItem{};
            } else if (current && name == u"enclosure") {
                const auto attrs = xml.attributes();
                current->downloadUrl = QUrl(attrs.value("url").toString());
                if (current->version.isNull())
                    current->version = QVersionNumber::fromString(attrs.value(kSparkleNamespace, "version").toString());
                if (current->displayVersion.isEmpty())
                    current->displayVersion = attrs.value(kSparkleNamespace, "shortVersionString").toString();
            }
            text.clear();
        } else if (token == QXmlStreamReader::Characters) {
            text += xml.text();
        } else if (token == QXmlStreamReader::EndElement && current) {
            const QStringView name = xml.name();
            const bool sparkle = xml.namespaceUri() == kSparkleNamespace;
            if (name == u"title" && !sparkle) {
                current->title = text.trimmed();
            } else if (sparkle && name == u"version") {
                current->version = QVersionNumber::fromString(text.trimmed());
            } else if (sparkle && name == u"shortVersionString") {
                current->displayVersion = text.trimmed();
            } else if (name == u"link" && !current->downloadUrl.isValid()) {
                current->downloadUrl = QUrl(text.trimmed());
            } else if (name == u"item") {
                if (current->displayVersion.isEmpty())
                    current->displayVersion = current->version.toString();
                // Items without a version cannot be compared and are skipped.
                if (!current->version.isNull() && (!newest || current->version > newest->version))
                    newest = current;
                current.reset();
            }
        }
    }
    if (xml.hasError() || !sawRss)
        return std::nullopt;
    return newest;
}

QCoro::Task<> StandardUpdaterController::runCheck() {
    setCanCheckForUpdates(false);
    QPointer<StandardUpdaterController> self(this);

    const QUrl feedUrl = ServiceConfig::current().updateFeedUrl;
    QNetworkRequest request(feedUrl);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    const ServiceReply::Owned owned(NetworkAccess::shared()->get(request));
    QNetworkReply* reply = owned.get();
    connect(this, &QObject::destroyed, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxFeedBytes)
            reply->abort();
    });
    ServiceReply::Finished finished(reply);
    co_await finished;
    if (!self)
        co_return;
    const auto status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    const QByteArray body = ok ? reply->readAll() : QByteArray();
    const QString networkError = reply->errorString();

    const auto newest = ok ? newestItem(body) : std::nullopt;
    const QString name = applicationName();
    const QVersionNumber installed = QVersionNumber::fromString(currentVersion_);
    Outcome outcome;
    if (!newest) {
        outcome = Outcome::failed;
        Log::line("⚠️ [Updater] Update check failed: " +
                  (ok ? QStringLiteral("the feed has no usable item") : networkError));
        Dialogs::current().alert(Dialogs::AlertStyle::warning, "Update Error!",
                                 "An error occurred in retrieving update information. Please try again later.",
                                 {"Cancel"});
    } else if (newest->version > installed) {
        outcome = Outcome::updateAvailable;
        const int choice = Dialogs::current().alert(
            Dialogs::AlertStyle::informational, QStringLiteral("A new version of %1 is available!").arg(name),
            QStringLiteral("%1 %2 is now available—you have %3. Would you like to download it now?")
                .arg(name, newest->displayVersion, currentVersion_),
            {"Download", "Remind Me Later"});
        // The alert waits for the user: the controller may be gone by the time it returns.
        if (self && choice == 0 && newest->downloadUrl.isValid() && openUrl_)
            openUrl_(newest->downloadUrl);
    } else {
        outcome = Outcome::upToDate;
        Dialogs::current().alert(
            Dialogs::AlertStyle::informational, "You’re up-to-date!",
            QStringLiteral("%1 %2 is currently the newest version available.").arg(name, currentVersion_), {"OK"});
    }
    if (!self)
        co_return;
    setCanCheckForUpdates(true);
    emit checkFinished(outcome);
}
