#include "PresetListModels.h"

#include "BuiltInImagePreset.h"
#include "ImagePreset.h"
#include "PresetRecords.h"
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

bool isRow(const QAbstractItemModel& model, const QModelIndex& index) {
    return model.checkIndex(index, QAbstractItemModel::CheckIndexOption::IndexIsValid |
                                       QAbstractItemModel::CheckIndexOption::ParentIsInvalid);
}

// What each kind of row gives for the roles; a role a kind does not have gives nothing.
QString presetTitle(const ImagePreset& preset) {
    return PresetRecords::title(preset);
}
QString presetTitle(const PromptPreset& preset) {
    return PresetRecords::title(preset);
}
QString presetTitle(const BuiltInImagePreset& preset) {
    return preset.title();
}
QString presetTitle(const PreviewClipPreset& preset) {
    return preset.title();
}
QString presetText(const ImagePreset& preset) {
    return preset.prompt();
}
QString presetText(const PromptPreset& preset) {
    return preset.prompt();
}
QString presetText(const BuiltInImagePreset& preset) {
    return preset.prompt();
}
QString presetText(const PreviewClipPreset& preset) {
    return preset.insertText();
}
template <class Record> QVariant pictureData(const Record& preset) {
    const auto picture = PresetRecords::pictureData(preset);
    return picture ? QVariant(*picture) : QVariant();
}
QVariant pictureData(const BuiltInImagePreset&) {
    return {};
}
QVariant pictureData(const PreviewClipPreset&) {
    return {};
}
template <class Record> bool hasPicture(const Record& preset) {
    return PresetRecords::hasPictureData(preset);
}
bool hasPicture(const BuiltInImagePreset& preset) {
    return !preset.thumbnail().isNull();
}
bool hasPicture(const PreviewClipPreset& preset) {
    return !preset.thumbnail().isNull();
}
template <class Record> QVariant thumbnail(const Record&) {
    return {};
}
QVariant thumbnail(const BuiltInImagePreset& preset) {
    return preset.thumbnail();
}
QVariant thumbnail(const PreviewClipPreset& preset) {
    return preset.thumbnail();
}
template <class Record> QVariant hovered(const Record&) {
    return {};
}
QVariant hovered(const PreviewClipPreset& preset) {
    return preset.isHovered();
}

template <class Preset> QVariant presetData(const Preset& preset, int role) {
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case PresetRoles::Title:
        return presetTitle(preset);
    case PresetRoles::Text:
        return presetText(preset);
    case PresetRoles::Id:
        return preset.id();
    case PresetRoles::PictureData:
        return pictureData(preset);
    case PresetRoles::HasPicture:
        return hasPicture(preset);
    case PresetRoles::Thumbnail:
        return thumbnail(preset);
    case PresetRoles::IsHovered:
        return hovered(preset);
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

// ---- PromptPresetListModel

PromptPresetListModel::PromptPresetListModel(SwiftDataPromptPresetsManager& manager, QObject* parent)
    : StoredPresetListModel(parent), manager_(manager) {
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
    QList<std::shared_ptr<PromptPreset>> rows;
    for (const auto& preset : manager_.userPresets()) {
        if (matches(*preset, searchText_))
            rows.append(preset);
    }
    setRows(rows);
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
