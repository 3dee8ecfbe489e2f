#include "PresetListModels.h"

#include "BuiltInImagePreset.h"
#include "ImagePreset.h"
#include "PreviewClipPreset.h"
#include "PromptPreset.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"

#include <QLocale>

namespace {

QHash<int, QByteArray> presetRoleNames() {
    return {{Qt::DisplayRole, "display"},          {PresetRoles::Title, "title"},
            {PresetRoles::Text, "text"},           {PresetRoles::Id, "id"},
            {PresetRoles::PictureData, "picture"}, {PresetRoles::HasPicture, "hasPicture"},
            {PresetRoles::Thumbnail, "thumbnail"}, {PresetRoles::IsHovered, "isHovered"}};
}

// A record edited in place (title, picture) redraws its row without a reload.
template <class Model, class Record> void followRecords(Model* model, const QList<std::shared_ptr<Record>>& rows) {
    for (int row = 0; row < rows.size(); ++row) {
        QObject::connect(rows[row].get(), &PersistentModel::changed, model, [model, record = rows[row].get()] {
            for (int i = 0; i < model->rowCount(); ++i) {
                if (model->record(i).get() == record) {
                    const QModelIndex index = model->index(i);
                    emit model->dataChanged(index, index);
                    return;
                }
            }
        });
    }
}

template <class Record> void stopFollowing(QObject* model, const QList<std::shared_ptr<Record>>& rows) {
    for (const auto& record : rows)
        QObject::disconnect(record.get(), nullptr, model, nullptr);
}

} // namespace

// ---- ImagePresetListModel

ImagePresetListModel::ImagePresetListModel(SwiftDataImagePresetsManager& manager, QObject* parent)
    : QAbstractListModel(parent), manager_(manager) {
    connect(&manager_, &SwiftDataImagePresetsManager::presetsChanged, this, &ImagePresetListModel::reload);
    rows_ = manager_.presets();
    followRecords(this, rows_);
}

void ImagePresetListModel::reload() {
    beginResetModel();
    stopFollowing(this, rows_);
    rows_ = manager_.presets();
    followRecords(this, rows_);
    endResetModel();
}

int ImagePresetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant ImagePresetListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ImagePreset& preset = *rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case PresetRoles::Title:
        return preset.title();
    case PresetRoles::Text:
        return preset.prompt();
    case PresetRoles::Id:
        return preset.id();
    case PresetRoles::PictureData:
        return preset.imageData() ? QVariant(*preset.imageData()) : QVariant();
    case PresetRoles::HasPicture:
        return preset.imageData().has_value();
    default:
        return {};
    }
}

QHash<int, QByteArray> ImagePresetListModel::roleNames() const {
    return presetRoleNames();
}

std::shared_ptr<ImagePreset> ImagePresetListModel::record(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row] : nullptr;
}

// ---- PromptPresetListModel

PromptPresetListModel::PromptPresetListModel(SwiftDataPromptPresetsManager& manager, QObject* parent)
    : QAbstractListModel(parent), manager_(manager) {
    connect(&manager_, &SwiftDataPromptPresetsManager::userPresetsChanged, this, &PromptPresetListModel::reload);
    reload();
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
    reload();
    emit searchTextChanged();
}

void PromptPresetListModel::reload() {
    beginResetModel();
    stopFollowing(this, rows_);
    rows_.clear();
    for (const auto& preset : manager_.userPresets()) {
        if (matches(*preset, searchText_))
            rows_.append(preset);
    }
    followRecords(this, rows_);
    endResetModel();
}

int PromptPresetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant PromptPresetListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const PromptPreset& preset = *rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case PresetRoles::Title:
        return preset.name();
    case PresetRoles::Text:
        return preset.prompt();
    case PresetRoles::Id:
        return preset.id();
    case PresetRoles::PictureData:
        return preset.userImageData() ? QVariant(*preset.userImageData()) : QVariant();
    case PresetRoles::HasPicture:
        return preset.userImageData().has_value();
    default:
        return {};
    }
}

QHash<int, QByteArray> PromptPresetListModel::roleNames() const {
    return presetRoleNames();
}

std::shared_ptr<PromptPreset> PromptPresetListModel::record(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row] : nullptr;
}

// ---- BuiltInImagePresetListModel

BuiltInImagePresetListModel::BuiltInImagePresetListModel(const QList<BuiltInImagePreset*>& presets, QObject* parent)
    : QAbstractListModel(parent) {
    for (int row = 0; row < presets.size(); ++row) {
        rows_.append(presets[row]);
        connect(presets[row], &BuiltInImagePreset::thumbnailChanged, this, [this, row] {
            emit dataChanged(index(row), index(row), {PresetRoles::Thumbnail, PresetRoles::HasPicture});
        });
    }
}

int BuiltInImagePresetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant BuiltInImagePresetListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const BuiltInImagePreset* preset = rows_[index.row()];
    if (!preset)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case PresetRoles::Title:
        return preset->title();
    case PresetRoles::Text:
        return preset->prompt();
    case PresetRoles::Id:
        return preset->id();
    case PresetRoles::HasPicture:
        return !preset->thumbnail().isNull();
    case PresetRoles::Thumbnail:
        return preset->thumbnail();
    default:
        return {};
    }
}

BuiltInImagePreset* BuiltInImagePresetListModel::preset(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row].data() : nullptr;
}

// ---- PreviewClipPresetListModel

PreviewClipPresetListModel::PreviewClipPresetListModel(const QList<PreviewClipPreset*>& presets, QObject* parent)
    : QAbstractListModel(parent) {
    for (int row = 0; row < presets.size(); ++row) {
        rows_.append(presets[row]);
        connect(presets[row], &PreviewClipPreset::thumbnailChanged, this, [this, row] {
            emit dataChanged(index(row), index(row), {PresetRoles::Thumbnail, PresetRoles::HasPicture});
        });
        connect(presets[row], &PreviewClipPreset::isHoveredChanged, this,
                [this, row] { emit dataChanged(index(row), index(row), {PresetRoles::IsHovered}); });
    }
}

int PreviewClipPresetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant PreviewClipPresetListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const PreviewClipPreset* preset = rows_[index.row()];
    if (!preset)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case PresetRoles::Title:
        return preset->title();
    case PresetRoles::Text:
        return preset->insertText();
    case PresetRoles::Id:
        return preset->id();
    case PresetRoles::HasPicture:
        return !preset->thumbnail().isNull();
    case PresetRoles::Thumbnail:
        return preset->thumbnail();
    case PresetRoles::IsHovered:
        return preset->isHovered();
    default:
        return {};
    }
}

PreviewClipPreset* PreviewClipPresetListModel::preset(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row].data() : nullptr;
}
