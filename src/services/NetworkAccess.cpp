#include "NetworkAccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>

namespace NetworkAccess {

QNetworkAccessManager* shared() {
    thread_local QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager;
        QCoreApplication* application = QCoreApplication::instance();
        if (application && application->thread() == QThread::currentThread())
            manager->setParent(application);
        else
            QObject::connect(QThread::currentThread(), &QThread::finished, manager, &QObject::deleteLater);
    }
    return manager;
}

void closeConnectionAfterAnswer(QNetworkRequest& request) {
    // HTTP/2 would carry the request on a shared connection that stays open, and drops "Connection" headers.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setRawHeader("Connection", "close");
}

void keepOnOrigin(QNetworkRequest& request) {
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
}

} // namespace NetworkAccess
