#include "PresetListModels.h"

#include "BuiltInImagePreset.h"
#include "ImagePreset.h"
#include "PresetRecord.h"
#include "PreviewClipPreset.h"
#include "PromptPreset.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"

#include <QLocale>

#include <functional>
#include <type_traits>

namespace {

QHash<int, QByteArray> presetRoleNames() {
    return {{Qt::DisplayRole, "display"},          {PresetRoles::Title, "title"},
            {PresetRoles::Text, "text"},           {PresetRoles::Id, "id"},
            {PresetRoles::PictureData, "picture"}, {PresetRoles::HasPicture, "hasPicture"},
            {PresetRoles::Thumbnail, "thumbnail"}, {PresetRoles::IsHovered, "isHovered"}};
}

bool isRow(const QAbstractItemModel& model, const QModelIndex& index) {
    return model.checkIndex(index, QAbstractItemModel::CheckIndexOption::IndexIsValid |
                                       QAbstractItemModel::CheckIndexOption::ParentIsInvalid);
}

// What each kind of row gives for the roles; a role a kind does not have gives nothing. The user's own
// presets are records with a stored picture; the fixed ones hold a thumbnail.
template <class Preset> QVariant presetData(const Preset& preset, int role) {
    constexpr bool stored = std::is_base_of_v<PersistentModel, Preset>;
    constexpr bool clip = std::is_same_v<Preset, PreviewClipPreset>;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case PresetRoles::Title:
        if constexpr (stored)
            return std::invoke(PresetRecord<Preset>::title, preset);
        else
            return preset.title();
    case PresetRoles::Text:
        if constexpr (clip)
            return preset.insertText();
        else
            return preset.prompt();
    case PresetRoles::Id:
        return preset.id();
    case PresetRoles::PictureData:
        if constexpr (stored) {
            const auto picture = std::invoke(PresetRecord<Preset>::pictureData, preset);
            return picture ? QVariant(*picture) : QVariant();
        } else {
            return {};
        }
    case PresetRoles::HasPicture:
        if constexpr (stored)
            return std::invoke(PresetRecord<Preset>::hasPictureData, preset);
        else
            return !preset.thumbnail().isNull();
    case PresetRoles::Thumbnail:
        if constexpr (stored)
            return {};
        else
            return preset.thumbnail();
    case PresetRoles::IsHovered:
        if constexpr (clip)
            return preset.isHovered();
        else
            return {};
    default:
        return {};
    }
}

} // namespace

// ---- StoredPresetListModel

template <class Record> void StoredPresetListModel<Record>::setRows(const QList<std::shared_ptr<Record>>& rows) {
    beginResetModel();
    for (const auto& record : rows_)
        QObject::disconnect(record.get(), nullptr, this, nullptr);
    rows_ = rows;
    // A record edited in place (title, picture) redraws its row without a reload.
    for (const auto& record : rows_) {
        QObject::connect(record.get(), &PersistentModel::changed, this, [this, changed = record.get()] {
            for (int i = 0; i < rows_.size(); ++i) {
                if (rows_[i].get() == changed) {
                    const QModelIndex at = this->index(i);
                    emit this->dataChanged(at, at);
                    return;
                }
            }
        });
    }
    endResetModel();
}

template <class Record> int StoredPresetListModel<Record>::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

template <class Record> QVariant StoredPresetListModel<Record>::data(const QModelIndex& index, int role) const {
    if (!isRow(*this, index))
        return {};
    return presetData(*rows_[index.row()], role);
}

template <class Record> QHash<int, QByteArray> StoredPresetListModel<Record>::roleNames() const {
    return presetRoleNames();
}

template <class Record> std::shared_ptr<Record> StoredPresetListModel<Record>::record(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row] : nullptr;
}

template class StoredPresetListModel<ImagePreset>;
template class StoredPresetListModel<PromptPreset>;

// ---- ImagePresetListModel

ImagePresetListModel::ImagePresetListModel(SwiftDataImagePresetsManager& manager, QObject* parent)
    : StoredPresetListModel(parent), manager_(manager) {
    connect(&manager_, &SwiftDataImagePresetsManager::presetsChanged, this, &ImagePresetListModel::reload);
    reload();
}

void ImagePresetListModel::reload() {
    setRows(manager_.presets());
}

// ---- UserPromptPresetRows

UserPromptPresetRows::UserPromptPresetRows(SwiftDataPromptPresetsManager& manager, QObject* parent)
    : StoredPresetListModel(parent), manager_(manager) {
    connect(&manager_, &SwiftDataPromptPresetsManager::userPresetsChanged, this, &UserPromptPresetRows::reload);
    reload();
}

void UserPromptPresetRows::reload() {
    QList<std::shared_ptr<PromptPreset>> rows;
    for (const auto& preset : manager_.userPresets()) {
        if (!preset->isBuiltIn())
            rows.append(preset);
    }
    setRows(rows);
}

// ---- PromptPresetListModel

PromptPresetListModel::PromptPresetListModel(SwiftDataPromptPresetsManager& manager, QObject* parent)
    : QSortFilterProxyModel(parent), rows_(new UserPromptPresetRows(manager, this)) {
    setSourceModel(rows_);
}

bool PromptPresetListModel::matches(const PromptPreset& preset, const QString& searchText) {
    if (preset.isBuiltIn())
        return false;
    if (searchText.isEmpty())
        return true;
    const QLocale locale;
    const QString needle = locale.toLower(searchText);
    return locale.toLower(preset.name()).contains(needle) || locale.toLower(preset.prompt()).contains(needle);
}

void PromptPresetListModel::setSearchText(const QString& text) {
    if (searchText_ == text)
        return;
    searchText_ = text;
    invalidateFilter();
    emit searchTextChanged();
}

bool PromptPresetListModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid())
        return false;
    const auto preset = rows_->record(sourceRow);
    return preset && matches(*preset, searchText_);
}

std::shared_ptr<PromptPreset> PromptPresetListModel::record(int row) const {
    const QModelIndex at = mapToSource(index(row, 0));
    return at.isValid() ? rows_->record(at.row()) : nullptr;
}

// ---- FixedPresetListModel

template <class Preset>
FixedPresetListModel<Preset>::FixedPresetListModel(const QList<Preset*>& presets, QObject* parent)
    : QAbstractListModel(parent) {
    for (int row = 0; row < presets.size(); ++row) {
        rows_.append(presets[row]);
        QObject::connect(presets[row], &Preset::thumbnailChanged, this, [this, row] {
            emit this->dataChanged(this->index(row), this->index(row),
                                   {PresetRoles::Thumbnail, PresetRoles::HasPicture});
        });
    }
}

template <class Preset> int FixedPresetListModel<Preset>::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

template <class Preset> QVariant FixedPresetListModel<Preset>::data(const QModelIndex& index, int role) const {
    if (!isRow(*this, index))
        return {};
    const Preset* preset = rows_[index.row()];
    if (!preset)
        return {};
    return presetData(*preset, role);
}

template <class Preset> Preset* FixedPresetListModel<Preset>::preset(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row].data() : nullptr;
}

template class FixedPresetListModel<BuiltInImagePreset>;
template class FixedPresetListModel<PreviewClipPreset>;

// ---- PreviewClipPresetListModel

PreviewClipPresetListModel::PreviewClipPresetListModel(const QList<PreviewClipPreset*>& presets, QObject* parent)
    : FixedPresetListModel(presets, parent) {
    for (int row = 0; row < presets.size(); ++row) {
        connect(presets[row], &PreviewClipPreset::isHoveredChanged, this,
                [this, row] { emit dataChanged(index(row), index(row), {PresetRoles::IsHovered}); });
    }
}
