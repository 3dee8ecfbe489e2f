#pragma once

#include <QObject>
#include <QUrl>
#include <QUuid>

// One video of the gallery as the preview player sees it: its identity, its file and the hover flag that
// the player sets while it shows the video.
class VideoItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isHovered READ isHovered WRITE setIsHovered NOTIFY isHoveredChanged)
public:
    explicit VideoItem(const QUrl& url, QObject* parent = nullptr);

    QUuid id() const { return id_; }
    QUrl url() const { return url_; }
    bool isHovered() const { return isHovered_; }
    void setIsHovered(bool hovered);

signals:
    void isHoveredChanged();

private:
    QUuid id_ = QUuid::createUuid();
    QUrl url_;
    bool isHovered_ = false;
};
