#include "ImageSettingsPopover.h"

#include "Controls.h"
#include "GlassButtons.h"
#include "ImageServiceFactory.h"
#include "StudioRules.h"
#include "Theme.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Controls;

namespace {
// A titled section of the popover; returns the row its choices go in.
QHBoxLayout* addSection(QVBoxLayout* column, const char* titleName, const QString& title, QWidget* parent) {
    auto* section = new QVBoxLayout;
    section->setSpacing(8);
    QLabel* heading = label(titleName, title, parent);
    heading->setFont(Theme::font(12, QFont::DemiBold));
    setTextColor(heading, ColorRole::secondary);
    section->addWidget(heading);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    section->addLayout(row);
    column->addLayout(section);
    return row;
}
} // namespace

ImageSettingsPopover::ImageSettingsPopover(ImageServiceFactory& factory, QWidget* parent)
    : QWidget(parent), factory_(factory) {
    setObjectName("imageSettingsPopover");
    setFixedSize(300, 220);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(16);

    QHBoxLayout* segments = addSection(column, "modelTitle", "Model Orvane", this);
    auto* modelGroup = new QButtonGroup(this);
    for (ImageModel model : allCases<ImageModel>()) {
        auto* button = new QPushButton(displayName(model), this);
        button->setObjectName(QStringLiteral("model_") + rawValue(model));
        button->setAccessibleName(displayName(model));
        button->setCheckable(true);
        modelGroup->addButton(button);
        segments->addWidget(button);
        modelButtons_.append(button);
        connect(button, &QPushButton::clicked, this, [this, model] {
            // Re-choosing the model in use changes nothing.
            if (factory_.selectedImageModel() != model)
                factory_.setSelectedImageModel(model);
        });
    }

    QHBoxLayout* levels = addSection(column, "creativityTitle", "Creativity", this);
    for (const StudioRules::CreativityLevel& level : StudioRules::creativityLevels()) {
        auto* button =
            textButton(QStringLiteral("creativity_") + level.label, "circle.fill", level.label, QString(), this);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        static_cast<GlassButton*>(button)->setSymbolSize(12);
        levels->addWidget(button);
        levelButtons_.append(button);
        const double temperature = level.temperature;
        connect(button, &QAbstractButton::clicked, this, [this, temperature] { factory_.setTemperature(temperature); });
    }
    column->addStretch();

    connect(&factory_, &ImageServiceFactory::stateChanged, this, &ImageSettingsPopover::showState);
    connect(&Theme::instance(), &Theme::changed, this, &ImageSettingsPopover::showState);
    showState();
}

QStringList ImageSettingsPopover::markedLevels() const {
    QStringList marked;
    for (QAbstractButton* button : levelButtons_) {
        if (button->property("marked").toBool())
            marked << button->text();
    }
    return marked;
}

void ImageSettingsPopover::showState() {
    const auto models = allCases<ImageModel>();
    for (int i = 0; i < modelButtons_.size(); ++i)
        modelButtons_[i]->setChecked(models[size_t(i)] == factory_.selectedImageModel());
    const auto& levels = StudioRules::creativityLevels();
    for (int i = 0; i < levelButtons_.size(); ++i) {
        const bool marked = StudioRules::isLevelSelected(factory_.temperature(), levels[i]);
        QAbstractButton* button = levelButtons_[i];
        button->setProperty("marked", marked);
        // The button paints its own title font and colours; a widget font or palette would not reach them.
        auto* glass = static_cast<GlassButton*>(button);
        glass->setTitleFont(9, marked ? QFont::DemiBold : QFont::Normal);
        glass->setTitleColor(Theme::instance().color(marked ? ColorRole::primary : ColorRole::secondary));
        QColor dot = Theme::instance().color(marked ? ColorRole::orange : ColorRole::secondary);
        if (!marked)
            dot.setAlphaF(dot.alphaF() * 0.3f);
        glass->setSymbolColor(dot);
    }
}
