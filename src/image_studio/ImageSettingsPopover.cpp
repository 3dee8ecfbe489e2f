#include "ImageSettingsPopover.h"

#include "Controls.h"
#include "FocusRing.h"
#include "GlassButtons.h"
#include "ImageStudioModel.h"
#include "StudioRules.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
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

ImageSettingsPopover::ImageSettingsPopover(ImageStudioModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName("imageSettingsPopover");
    setFixedSize(300, 220);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(16);
    // The two sections sit in the middle of the fixed frame, the room left over shared above and below.
    column->addStretch();

    // Both choices are radio groups: one Tab stop each, the arrow keys move the choice, and whatever checks a
    // button (click, key or accessible action) sets the studio's option.
    QHBoxLayout* segments = addSection(column, "modelTitle", "Model Orvane", this);
    modelGroup_ = new RadioGroup(this);
    const auto models = allCases<ImageModel>();
    segments->setSpacing(2);
    for (ImageModel model : models) {
        GlassButton* button = makeSegmentButton(displayName(model), this);
        button->setObjectName(QStringLiteral("model_") + rawValue(model));
        modelGroup_->addChoice(button, int(modelButtons_.size()));
        segments->addWidget(button);
        modelButtons_.append(button);
    }
    connect(modelGroup_, &RadioGroup::chosen, this,
            [this, models](int index) { model_.setSelectedImageModel(models[size_t(index)]); });

    QHBoxLayout* levels = addSection(column, "creativityTitle", "Creativity", this);
    levelGroup_ = new RadioGroup(this);
    for (const StudioRules::CreativityLevel& level : StudioRules::creativityLevels()) {
        auto* button = new CreativityLevelButton(level.label, this);
        button->setObjectName(QStringLiteral("creativity_") + level.label);
        button->setAccessibleName(level.label);
        levelGroup_->addChoice(button, int(levelButtons_.size()));
        // Equal shares of the row, whatever the names' lengths.
        levels->addWidget(button, 1);
        levelButtons_.append(button);
        // A tap on the marked level still sets its value (0.75 marks Balanced; a tap makes it 0.7).
        const double temperature = level.temperature;
        connect(button, &QAbstractButton::clicked, this, [this, temperature] { chooseTemperature(temperature); });
    }
    connect(levelGroup_, &RadioGroup::chosen, this,
            [this](int index) { chooseTemperature(StudioRules::creativityLevels()[index].temperature); });
    column->addStretch();

    connect(&model_, &ImageStudioModel::serviceStateChanged, this, &ImageSettingsPopover::showState);
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

void ImageSettingsPopover::chooseTemperature(double temperature) {
    // A click that checks a level reports it twice, as a choice and as a click: the model sets it once.
    model_.setTemperature(temperature);
}

void ImageSettingsPopover::showState() {
    const auto models = allCases<ImageModel>();
    for (int i = 0; i < modelButtons_.size(); ++i) {
        const bool chosen = models[size_t(i)] == model_.selectedImageModel();
        static_cast<GlassButton*>(modelButtons_[i])->setSelected(chosen);
        if (chosen)
            modelGroup_->showChoice(i);
    }
    const auto& levels = StudioRules::creativityLevels();
    int markedLevel = -1;
    for (int i = 0; i < levelButtons_.size(); ++i) {
        const bool marked = StudioRules::isLevelSelected(model_.temperature(), levels[i]);
        QAbstractButton* button = levelButtons_[i];
        button->setProperty("marked", marked);
        static_cast<CreativityLevelButton*>(button)->showMarked(marked);
        if (marked)
            markedLevel = i;
    }
    levelGroup_->showChoice(markedLevel);
}
