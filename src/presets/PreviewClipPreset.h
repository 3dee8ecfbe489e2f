#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <optional>

// A fixed preset with a looping preview clip in the bundle ("<previewVideoName>.mp4"): the camera
// movements and the cinematic presets. Identity is the object (its `id`), never the texts. Its still
// thumbnail is made from the clip shortly after creation; the shared preview player marks the preset it
// shows through `isHovered`.
class PreviewClipPreset : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isHovered READ isHovered WRITE setIsHovered NOTIFY isHoveredChanged)
    Q_PROPERTY(QImage thumbnail READ thumbnail NOTIFY thumbnailChanged)
public:
    // The still is scaled down to fit this box.
    static constexpr QSize kThumbnailSize{300, 169};
    // The still shows the clip at this time.
    static constexpr double kThumbnailTime = 0.5;

    QUuid id() const { return id_; }
    QString title() const { return title_; }
    QString insertText() const { return insertText_; }
    QString previewVideoName() const { return previewVideoName_; }
    bool isHovered() const { return isHovered_; }
    void setIsHovered(bool hovered);
    QImage thumbnail() const { return thumbnail_; }
    void setThumbnail(const QImage& thumbnail);

    // The bundle clip, when it is there.
    std::optional<QString> previewClipPath() const;
    // Fills `thumbnail` from the clip; a missing or unreadable clip leaves it empty, silently.
    QCoro::Task<> loadThumbnail();

signals:
    void isHoveredChanged();
    void thumbnailChanged();

protected:
    // Starts loading the thumbnail on the next turn of the event loop; the constructor does not wait.
    PreviewClipPreset(const QString& title, const QString& insertText, const QString& previewVideoName);

private:
    const QUuid id_ = QUuid::createUuid();
    const QString title_;
    const QString insertText_;
    const QString previewVideoName_;
    bool isHovered_ = false;
    QImage thumbnail_;
};
