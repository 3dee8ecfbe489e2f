#include "VideoItem.h"

VideoItem::VideoItem(const QUrl& url, QObject* parent) : QObject(parent), url_(url) {}

void VideoItem::setIsHovered(bool hovered) {
    if (isHovered_ == hovered)
        return;
    isHovered_ = hovered;
    emit isHoveredChanged();
}
