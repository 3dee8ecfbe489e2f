#include "ImageSettingsPopover.h"

#include "Controls.h"
#include "FocusRing.h"
#include "ImageServiceFactory.h"
#include "StudioRules.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
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

// A plain button whose label is a vertical stack: the 12-pixel dot above the 9-pixel level name. It draws no
// frame of its own; the two labels are its whole look.
class CreativityLevelButton final : public QAbstractButton {
public:
    CreativityLevelButton(const QString& title, QWidget* parent) : QAbstractButton(parent) {
        setText(title);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        auto* stack = new QVBoxLayout(this);
        stack->setContentsMargins(0, 4, 0, 4);
        stack->setSpacing(4);
        dot_ = new QLabel(this);
        dot_->setObjectName(objectNameFor("Dot", title));
        dot_->setFixedSize(12, 12);
        title_ = new QLabel(title, this);
        title_->setObjectName(objectNameFor("Label", title));
        title_->setAlignment(Qt::AlignCenter);
        for (QLabel* part : {dot_, title_})
            part->setAttribute(Qt::WA_TransparentForMouseEvents);
        stack->addWidget(dot_, 0, Qt::AlignHCenter);
        stack->addWidget(title_, 0, Qt::AlignHCenter);
    }

    void showMarked(bool marked) {
        const Theme& theme = Theme::instance();
        QColor dot = theme.color(marked ? ColorRole::orange : ColorRole::secondary);
        if (!marked)
            dot.setAlphaF(dot.alphaF() * 0.3f);
        dot_->setPixmap(symbolPixmap("circle.fill", 12, dot, devicePixelRatioF()));
        title_->setFont(Theme::font(9, marked ? QFont::DemiBold : QFont::Normal));
        setTextColor(title_, marked ? ColorRole::primary : ColorRole::secondary);
    }

    QSize sizeHint() const override { return layout()->sizeHint(); }
    QSize minimumSizeHint() const override { return layout()->minimumSize(); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!FocusRing::shows(this))
            return;
        QPainter painter(this);
        FocusRing::paint(painter, QRectF(rect()), 6, this);
    }

private:
    static QString objectNameFor(const char* part, const QString& title) {
        return QStringLiteral("creativity") + QLatin1String(part) + QLatin1Char('_') + title;
    }

    QLabel* dot_ = nullptr;
    QLabel* title_ = nullptr;
};
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
        auto* button = new CreativityLevelButton(level.label, this);
        button->setObjectName(QStringLiteral("creativity_") + level.label);
        button->setAccessibleName(level.label);
        // Equal shares of the row, whatever the names' lengths.
        levels->addWidget(button, 1);
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
        static_cast<CreativityLevelButton*>(button)->showMarked(marked);
    }
}
