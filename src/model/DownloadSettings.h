#pragma once

#include "EnumTraits.h"

#include <QByteArray>
#include <QObject>

#include <optional>

// The photo folder and the image output preset.
class DownloadSettings : public QObject {
    Q_OBJECT
public:
    enum class OutputPreset { hd1080 };

    explicit DownloadSettings(QObject* parent = nullptr);

    std::optional<QByteArray> bookmarkData() const { return bookmarkData_; }
    OutputPreset outputPreset() const { return outputPreset_; }
    void setBookmarkData(const std::optional<QByteArray>& value);

    void selectFolder();
    // The photo folder with access started, or none. The caller stops access when done.
    std::optional<QString> resolveFolderURL() const;

signals:
    void bookmarkDataChanged();

private:
    std::optional<QByteArray> bookmarkData_;
    OutputPreset outputPreset_ = OutputPreset::hd1080;
};

template <> struct EnumTraits<DownloadSettings::OutputPreset> {
    static constexpr std::array<std::pair<DownloadSettings::OutputPreset, const char*>, 1> cases{
        {{DownloadSettings::OutputPreset::hd1080, "hd1080"}}};
};
