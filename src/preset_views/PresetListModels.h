#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QSortFilterProxyModel>
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

// Stored presets (the user's own), each followed so that one edited in place redraws its row.
template <class Record> class StoredPresetListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    std::shared_ptr<Record> record(int row) const;

protected:
    void setRows(const QList<std::shared_ptr<Record>>& rows);

private:
    QList<std::shared_ptr<Record>> rows_;
};

// The user's image presets, in the manager's order (newest first). Follows every reload of the manager.
class ImagePresetListModel final : public StoredPresetListModel<ImagePreset> {
    Q_OBJECT
public:
    explicit ImagePresetListModel(SwiftDataImagePresetsManager& manager, QObject* parent = nullptr);

private:
    void reload();
    SwiftDataImagePresetsManager& manager_;
};

// The user's prompt presets (never a built-in one), newest first, in the manager's order.
class UserPromptPresetRows final : public StoredPresetListModel<PromptPreset> {
    Q_OBJECT
public:
    explicit UserPromptPresetRows(SwiftDataPromptPresetsManager& manager, QObject* parent = nullptr);

private:
    void reload();
    SwiftDataPromptPresetsManager& manager_;
};

// The user's prompt presets narrowed by a search text that matches the name or the prompt,
// case-insensitively in the user's locale. A keystroke filters the one list: rows that still match keep
// their place, and with it the view's current card.
class PromptPresetListModel final : public QSortFilterProxyModel {
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
public:
    explicit PromptPresetListModel(SwiftDataPromptPresetsManager& manager, QObject* parent = nullptr);

    QString searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    // The user's presets whatever the search (the rows are those that match it).
    int userPresetCount() const { return rows_->rowCount(); }
    // The preset of a row of this list, as narrowed.
    std::shared_ptr<PromptPreset> record(int row) const;
    static bool matches(const PromptPreset& preset, const QString& searchText);

signals:
    void searchTextChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    UserPromptPresetRows* rows_;
    QString searchText_;
};

// Fixed presets with a thumbnail, in table order; a changed thumbnail redraws its row.
template <class Preset> class FixedPresetListModel : public QAbstractListModel {
public:
    explicit FixedPresetListModel(const QList<Preset*>& presets, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Preset* preset(int row) const;

protected:
    QList<QPointer<Preset>> rows_;
};

// The fixed camera-angle presets of the image studio, in table order.
class BuiltInImagePresetListModel final : public FixedPresetListModel<BuiltInImagePreset> {
    Q_OBJECT
public:
    using FixedPresetListModel::FixedPresetListModel;
};

// Camera movements or cinematic presets: fixed presets with a preview clip, in table order.
class PreviewClipPresetListModel final : public FixedPresetListModel<PreviewClipPreset> {
    Q_OBJECT
public:
    explicit PreviewClipPresetListModel(const QList<PreviewClipPreset*>& presets, QObject* parent = nullptr);
    // Any list of presets with a preview clip (camera movements, cinematic presets).
    template <class Preset>
    explicit PreviewClipPresetListModel(const QList<Preset*>& presets, QObject* parent = nullptr)
        : PreviewClipPresetListModel(QList<PreviewClipPreset*>(presets.begin(), presets.end()), parent) {}
};
