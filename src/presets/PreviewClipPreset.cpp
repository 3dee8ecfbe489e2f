#include "PreviewClipPreset.h"

#include "MediaProbe.h"
#include "Resources.h"
#include "TaskOwner.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <qcoro/qcorofuture.h>

PreviewClipPreset::PreviewClipPreset(const QString& title, const QString& insertText, const QString& previewVideoName)
    : title_(title), insertText_(insertText), previewVideoName_(previewVideoName) {
    // The tables may be first read on any thread; their presets live with the views, on the GUI thread.
    if (QCoreApplication::instance() && thread() != QCoreApplication::instance()->thread())
        moveToThread(QCoreApplication::instance()->thread());
    QMetaObject::invokeMethod(
        this, [this] { TaskOwner::own(this, loadThumbnail()); }, Qt::QueuedConnection);
}

void PreviewClipPreset::setIsHovered(bool hovered) {
    if (isHovered_ == hovered)
        return;
    isHovered_ = hovered;
    emit isHoveredChanged();
}

void PreviewClipPreset::setThumbnail(const QImage& thumbnail) {
    thumbnail_ = thumbnail;
    emit thumbnailChanged();
}

std::optional<QString> PreviewClipPreset::previewClipPath() const {
    return Resources::path(previewVideoName_, "mp4");
}

QCoro::Task<> PreviewClipPreset::loadThumbnail() {
    const auto clip = previewClipPath();
    if (!clip)
        co_return;
    QPointer<PreviewClipPreset> self(this);
    MediaProbe::Request request;
    request.stillAt = kThumbnailTime;
    request.bound = kThumbnailSize;
    const auto result = co_await MediaProbe::probeAsync(*clip, request);
    if (!self || result.still.isNull())
        co_return;
    setThumbnail(result.still);
}
