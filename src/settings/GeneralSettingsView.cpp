#include "GeneralSettingsView.h"

#include "Controls.h"
#include "GeneralSettingsViewModel.h"
#include "ResultLabel.h"
#include "ScrollBars.h"
#include "SettingsForm.h"
#include "Theme.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

GeneralSettingsView::GeneralSettingsView(VideoSettings& videoSettings, BackupManager& backupManager, QWidget* parent)
    : QWidget(parent), model_(new GeneralSettingsViewModel(videoSettings, backupManager, this)) {
    setObjectName("GeneralSettingsView");
    SettingsPage* page = addScrollingPage(this, GeneralSettingsViewModel::title, GeneralSettingsViewModel::subtitle,
                                          "generalSettingsScroll");

    // Notifications.
    auto* notifications = new SettingsSection("notifications", "Notifications", page);
    soundToggle_ = Controls::switchButton("soundNotificationToggle", "Enable sound on video completion", nullptr);
    notifications->addRow("Sound notification", soundToggle_);

    soundRow_ = new QWidget;
    soundRow_->setObjectName("notificationSoundRow");
    auto* soundLayout = new QHBoxLayout(soundRow_);
    soundLayout->setContentsMargins(0, 0, 0, 0);
    soundLayout->setSpacing(8);
    soundPicker_ = new QComboBox(soundRow_);
    soundPicker_->setObjectName("soundPicker");
    soundPicker_->setAccessibleName("Sound");
    // At least 120 wide, and wide enough for the longest sound name ("alarm-clock-elapsed" and longer).
    soundPicker_->setMinimumWidth(120);
    soundPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    soundPicker_->view()->setObjectName("soundPickerList");
    nameScrollBars(soundPicker_->view(), "Sound list");
    previewButton_ = new QPushButton("Preview", soundRow_);
    previewButton_->setObjectName("previewSoundButton");
    previewButton_->setAccessibleName("Preview");
    soundLayout->addWidget(soundPicker_);
    soundLayout->addWidget(previewButton_);
    soundLayout->addStretch();
    soundRowLabel_ = notifications->addRow("Notification sound", soundRow_);
    page->column()->addWidget(notifications);

    // Backup.
    auto* backup = new SettingsSection("backup", "Backup", page);
    auto* createButton = new QPushButton("Create Backup");
    createButton->setObjectName("createBackupButton");
    createButton->setAccessibleName("Create Backup");
    auto* createRow = new QWidget;
    createRow->setObjectName("createBackupRow");
    auto* createLayout = new QHBoxLayout(createRow);
    createLayout->setContentsMargins(0, 0, 0, 0);
    createLayout->addWidget(createButton);
    createLayout->addStretch();
    backup->addRow("Create backup now", createRow);
    lastBackupValue_ = new ResultLabel;
    styleAsCaption(lastBackupValue_);
    lastBackupValue_->setObjectName("lastBackupDate");
    lastBackupValue_->setWordWrap(false);
    lastBackupLabel_ = backup->addRow("Last backup", lastBackupValue_);
    page->column()->addWidget(backup);

    // Danger Zone.
    auto* danger = new SettingsSection("dangerZone", "Danger Zone", page);
    auto* resetButton = new QPushButton(GeneralSettingsViewModel::resetButton);
    resetButton->setObjectName("resetEverythingButton");
    resetButton->setAccessibleName(GeneralSettingsViewModel::resetButton);
    const auto paintRed = [resetButton] {
        QPalette palette = resetButton->palette();
        palette.setColor(QPalette::ButtonText, Theme::instance().color(ColorRole::red));
        resetButton->setPalette(palette);
    };
    paintRed();
    connect(&Theme::instance(), &Theme::changed, resetButton, paintRed);
    auto* resetRow = new QWidget;
    resetRow->setObjectName("resetRow");
    auto* resetLayout = new QHBoxLayout(resetRow);
    resetLayout->setContentsMargins(0, 0, 0, 0);
    resetLayout->addWidget(resetButton);
    resetLayout->addStretch();
    danger->addRow("Reset all data", resetRow);
    auto* caption = settingsCaption(GeneralSettingsViewModel::dangerZoneCaption);
    caption->setObjectName("dangerZoneCaption");
    danger->addWide(caption);
    page->column()->addWidget(danger);
    page->column()->addStretch();

    connect(soundToggle_, &QCheckBox::toggled, model_, &GeneralSettingsViewModel::setSoundNotificationEnabled);
    connect(soundPicker_, &QComboBox::activated, this,
            [this](int index) { model_->setSelectedSoundName(soundPicker_->itemData(index).toString()); });
    connect(previewButton_, &QPushButton::clicked, model_, &GeneralSettingsViewModel::previewSound);
    connect(createButton, &QPushButton::clicked, model_, &GeneralSettingsViewModel::createBackup);
    connect(resetButton, &QPushButton::clicked, model_, &GeneralSettingsViewModel::requestReset);

    connect(model_, &GeneralSettingsViewModel::soundNotificationEnabledChanged, this,
            &GeneralSettingsView::refreshSound);
    connect(model_, &GeneralSettingsViewModel::selectedSoundNameChanged, this, &GeneralSettingsView::refreshSound);
    connect(model_, &GeneralSettingsViewModel::availableSoundsChanged, this, &GeneralSettingsView::refreshSound);
    // A new backup's date is a result: heard when it arrives.
    connect(model_, &GeneralSettingsViewModel::lastBackupChanged, this, [this] {
        lastBackupValue_->setText(model_->lastBackupText());
        refreshLastBackup();
    });
    lastBackupValue_->setText(model_->lastBackupText());
    lastBackupValue_->setAccessibleName(lastBackupValue_->text());
    refreshSound();
    refreshLastBackup();
}

void GeneralSettingsView::refreshSound() {
    const QSignalBlocker toggleBlocker(soundToggle_);
    soundToggle_->setChecked(model_->soundNotificationEnabled());
    const bool shown = model_->soundNotificationEnabled();
    soundRowLabel_->setVisible(shown);
    soundRow_->setVisible(shown);

    const QSignalBlocker pickerBlocker(soundPicker_);
    const QStringList names = model_->availableSounds();
    QStringList current;
    for (int i = 0; i < soundPicker_->count(); ++i)
        current << soundPicker_->itemData(i).toString();
    if (current != names) {
        soundPicker_->clear();
        for (const QString& name : names)
            soundPicker_->addItem(name, name);
    }
    soundPicker_->setCurrentIndex(int(names.indexOf(model_->selectedSoundName())));
}

void GeneralSettingsView::refreshLastBackup() {
    const bool shown = model_->hasLastBackup();
    lastBackupLabel_->setVisible(shown);
    lastBackupValue_->setVisible(shown);
}
