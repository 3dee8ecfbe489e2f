#include "ContentView.h"

#include "AppViewModel.h"
#include "ImageServiceFactory.h"
#include "UserImagePresetsView.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ContentView::ContentView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {
    setObjectName("ContentView");
    imageServiceFactory_ = new ImageServiceFactory(this);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("Image Studio", this);
    title->setAlignment(Qt::AlignCenter);
    auto* toVideo = new QPushButton("Video Studio", this);
    toVideo->setObjectName("switchToVideoStudio");
    connect(toVideo, &QPushButton::clicked, this,
            [this] { environment_.appViewModel->setCurrentView(ViewMode::videoGeneration); });
    auto* presets = new QPushButton("Image Presets", this);
    presets->setObjectName("openImagePresets");
    connect(presets, &QPushButton::clicked, this, [this] {
        auto* panel = new UserImagePresetsView(*environment_.imagePresetsManager, QString(), this);
        panel->setWindowFlag(Qt::Window);
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->resize(360, 640);
        connect(panel, &UserImagePresetsView::dismissRequested, panel, &QWidget::close);
        panel->show();
    });
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(presets, 0, Qt::AlignCenter);
    layout->addWidget(toVideo, 0, Qt::AlignCenter);
    layout->addStretch();
}
