#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QUuid>

// One of the eleven camera-angle presets of the image studio: a caption, the prompt text it hands over and
// the bundle picture shown as its tile. Never stored; identity is the object (its `id`).
class BuiltInImagePreset final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QImage thumbnail READ thumbnail WRITE setThumbnail NOTIFY thumbnailChanged)
public:
    // Loads the picture before it returns.
    BuiltInImagePreset(const QString& title, const QString& prompt, const QString& imageName);

    // Made once, on first use, and kept for the life of the process.
    static const QList<BuiltInImagePreset*>& builtInPresets();

    QUuid id() const { return id_; }
    QString title() const { return title_; }
    QString prompt() const { return prompt_; }
    QString imageName() const { return imageName_; }
    QImage thumbnail() const { return thumbnail_; }
    void setThumbnail(const QImage& thumbnail);

    // "<imageName>.jpg", else "<imageName>.png", from the bundle; a picture that does not decode counts as
    // missing. Logs a line when neither gives a picture.
    void loadThumbnail();

signals:
    void thumbnailChanged();

private:
    const QUuid id_ = QUuid::createUuid();
    const QString title_;
    const QString prompt_;
    const QString imageName_;
    QImage thumbnail_;
};
