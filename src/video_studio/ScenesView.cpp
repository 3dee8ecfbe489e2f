#include "ScenesView.h"

#include "AppViewModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ScenesView::ScenesView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {
    setObjectName("ScenesView");
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("Video Studio", this);
    title->setAlignment(Qt::AlignCenter);
    auto* prompt = new QLineEdit(this);
    prompt->setObjectName("videoPrompt");
    prompt->setPlaceholderText("Describe the motion");
    auto* toImage = new QPushButton("Image Studio", this);
    toImage->setObjectName("switchToImageStudio");
    connect(toImage, &QPushButton::clicked, this,
            [this] { environment_.appViewModel->setCurrentView(ViewMode::imageGeneration); });
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(prompt);
    layout->addWidget(toImage, 0, Qt::AlignCenter);
    layout->addStretch();
}
