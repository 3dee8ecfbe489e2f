#pragma once

#include <QList>
#include <QWidget>

class ImageStudioModel;
class QAbstractButton;
class RadioGroup;

// The model and creativity choices of the image service, opened from the composer's gear button.
class ImageSettingsPopover : public QWidget {
    Q_OBJECT
public:
    explicit ImageSettingsPopover(ImageStudioModel& model, QWidget* parent = nullptr);

    QList<QAbstractButton*> modelButtons() const { return modelButtons_; }
    // The labels of the marked creativity levels, as shown.
    QStringList markedLevels() const;

private:
    void showState();
    void chooseTemperature(double temperature);

    ImageStudioModel& model_;
    QList<QAbstractButton*> modelButtons_;
    QList<QAbstractButton*> levelButtons_;
    RadioGroup* modelGroup_ = nullptr;
    RadioGroup* levelGroup_ = nullptr;
};
