#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class BuiltInImagePreset;
class ImagePreset;
class PreviewClipPreset;
class PromptPreset;
class SwiftDataImagePresetsManager;
class SwiftDataPromptPresetsManager;

// The preset lists as item models, so the views paint only the rows they show.
namespace PresetRoles {
enum Role {
    Title = Qt::UserRole + 1,
    Text,        // what choosing the row hands on: a prompt or an insert text
    Id,          // QUuid
    PictureData, // stored picture bytes (QByteArray); absent for rows without one
    HasPicture,  // bool: a picture card rather than a text row (presence of data, not whether it decodes)
    Thumbnail,   // QImage already held in memory (built-in presets and clips)
    IsHovered,   // bool: the shared preview player shows this row's clip
};
}

// The user's image presets, in the manager's order (newest first). Follows every reload of the manager.
class ImagePresetListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ImagePresetListModel(SwiftDataImagePresetsManager& manager, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    std::shared_ptr<ImagePreset> record(int row) const;

private:
    void reload();
    SwiftDataImagePresetsManager& manager_;
    QList<std::shared_ptr<ImagePreset>> rows_;
};

// The user's prompt presets (never a built-in one), newest first, narrowed by a search text that matches
// the name or the prompt, case-insensitively in the user's locale.
class PromptPresetListModel final : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
public:
    explicit PromptPresetListModel(SwiftDataPromptPresetsManager& manager, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    std::shared_ptr<PromptPreset> record(int row) const;

    QString searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    static bool matches(const PromptPreset& preset, const QString& searchText);

signals:
    void searchTextChanged();

private:
    void reload();
    SwiftDataPromptPresetsManager& manager_;
    QString searchText_;
    QList<std::shared_ptr<PromptPreset>> rows_;
};

// The fixed camera-angle presets of the image studio, in table order.
class BuiltInImagePresetListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit BuiltInImagePresetListModel(const QList<BuiltInImagePreset*>& presets, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    BuiltInImagePreset* preset(int row) const;

private:
    QList<QPointer<BuiltInImagePreset>> rows_;
};

// Camera movements or cinematic presets: fixed presets with a preview clip, in table order.
class PreviewClipPresetListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PreviewClipPresetListModel(const QList<PreviewClipPreset*>& presets, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    PreviewClipPreset* preset(int row) const;

private:
    QList<QPointer<PreviewClipPreset>> rows_;
};
