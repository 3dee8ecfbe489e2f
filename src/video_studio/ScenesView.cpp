#include "ScenesView.h"

#include "AppViewModel.h"
#include "CameraControlView.h"
#include "PromptPresetsView.h"

#include <QHBoxLayout>
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
    auto* sheets = new QHBoxLayout;
    for (const bool cinematic : {false, true}) {
        auto* open = new QPushButton(cinematic ? "Cinematic Presets" : "Prompt Presets", this);
        open->setObjectName(cinematic ? "openCinematicPresets" : "openPromptPresets");
        sheets->addWidget(open);
        connect(open, &QPushButton::clicked, this, [this, prompt, cinematic] {
            QWidget* sheet =
                cinematic ? static_cast<QWidget*>(new CameraControlView(3, this))
                          : new PromptPresetsView(*environment_.promptPresetsManager, prompt->text(), false, this);
            sheet->setWindowFlag(Qt::Window);
            sheet->setAttribute(Qt::WA_DeleteOnClose);
            auto insert = [prompt](const QString& text) {
                prompt->setText((prompt->text().trimmed() + " " + text).trimmed());
            };
            if (auto* view = qobject_cast<CameraControlView*>(sheet)) {
                connect(view, &CameraControlView::presetSelected, prompt, insert);
                connect(view, &CameraControlView::dismissRequested, sheet, &QWidget::close);
            } else if (auto* view = qobject_cast<PromptPresetsView*>(sheet)) {
                sheet->resize(420, 700);
                connect(view, &PromptPresetsView::presetSelected, prompt, insert);
                connect(view, &PromptPresetsView::dismissRequested, sheet, &QWidget::close);
            }
            sheet->show();
        });
    }
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(prompt);
    layout->addLayout(sheets);
    layout->addWidget(toImage, 0, Qt::AlignCenter);
    layout->addStretch();
}
