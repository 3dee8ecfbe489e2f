#include "VideoSettingsPopover.h"

#include "Controls.h"
#include "GlassButtons.h"
#include "SegmentedPicker.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "VideoModelLabel.h"
#include "VideoSettings.h"
#include "VideoSettingsChoices.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

using namespace VideoSettingsChoices;

VideoSettingsPopover::VideoSettingsPopover(VideoSettings& settings, VideoGenerationMode mode, QWidget* parent)
    : QWidget(parent), settings_(settings), mode_(mode) {
    setObjectName("VideoSettingsPopover");
    new VideoSettingsRules(&settings, mode, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(mode == VideoGenerationMode::startEndVideo ? 20 : 16);

    if (showsModelRow(mode)) {
        modelRow_ = new QWidget(this);
        auto* column = new QVBoxLayout(modelRow_);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        modelRow_->setObjectName("modelRow");
        auto* caption = new QLabel("Model Hailuo", modelRow_);
        caption->setObjectName("modelCaption");
        caption->setFont(Theme::font(12, QFont::DemiBold));
        Controls::setTextColor(caption, ColorRole::secondary);
        model_ = new SegmentedPicker("modelPicker", "Model Hailuo", modelRow_);
        QList<QPair<QString, QString>> segments;
        for (VideoModel m : models())
            segments.append({rawValue(m), videoModelLabel(m)});
        model_->setSegments(segments);
        connect(model_, &SegmentedPicker::activated, this, [this](const QString& key) {
            if (const auto m = fromRawValue<VideoModel>(key))
                settings_.setSelectedModel(*m);
        });
        column->addWidget(caption);
        column->addWidget(model_);
        layout->addWidget(modelRow_);
    }

    const auto titled = [this, layout](const QString& title, SegmentedPicker* picker) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(title, this);
        label->setObjectName(picker->objectName() + "Title");
        row->addWidget(label);
        row->addWidget(picker, 1);
        layout->addLayout(row);
    };
    quality_ = new SegmentedPicker("qualityPicker", "Quality", this);
    connect(quality_, &SegmentedPicker::activated, this, [this](const QString& key) {
        if (const auto q = fromRawValue<VideoQuality>(key))
            settings_.setQuality(*q);
    });
    titled("Quality", quality_);
    duration_ = new SegmentedPicker("durationPicker", "Duration", this);
    connect(duration_, &SegmentedPicker::activated, this, [this](const QString& key) {
        if (const auto d = fromRawValue<VideoDuration>(key.toInt()))
            settings_.setDuration(*d);
    });
    titled("Duration", duration_);

    layout->addWidget(toggleRow("sparkles", "AI Optimization", "aiOptimizationToggle", &optimization_));
    connect(optimization_, &QCheckBox::toggled, this, [this](bool on) { settings_.setDefaultPromptOptimization(on); });
    if (mode == VideoGenerationMode::imageToVideo) {
        fastRow_ = toggleRow("bolt.fill", "Fast Pretreatment", "fastPretreatmentToggle", &fast_);
        layout->addWidget(fastRow_);
        connect(fast_, &QCheckBox::toggled, this, [this](bool on) { settings_.setFastPretreatment(on); });
    }
    layout->addStretch(1);

    for (auto signal :
         {&VideoSettings::selectedModelChanged, &VideoSettings::qualityChanged, &VideoSettings::durationChanged,
          &VideoSettings::defaultPromptOptimizationChanged, &VideoSettings::fastPretreatmentChanged})
        connect(&settings, signal, this, &VideoSettingsPopover::refresh);
    refresh();
}

QWidget* VideoSettingsPopover::toggleRow(const QString& symbol, const QString& text, const QString& name,
                                         QCheckBox** toggle) {
    auto* row = new QWidget(this);
    row->setObjectName(name + "Row");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* icon = new QLabel(row);
    icon->setObjectName(name + "Symbol");
    icon->setPixmap(symbolPixmap(symbol, 12, Theme::instance().color(ColorRole::secondary), 2.0));
    auto* label = new QLabel(text, row);
    label->setObjectName(name + "Label");
    label->setFont(Theme::font(13));
    Controls::setTextColor(label, ColorRole::secondary);
    // The label stands beside it, so the switch itself carries no text but is named by it.
    *toggle = Controls::switchButton(name, QString(), row);
    (*toggle)->setAccessibleName(text);
    layout->addWidget(icon);
    layout->addWidget(label);
    layout->addStretch(1);
    layout->addWidget(*toggle);
    return row;
}

void VideoSettingsPopover::refresh() {
    const VideoModel model = settings_.selectedModel();
    if (model_)
        model_->setSelectedKey(rawValue(model));
    QList<QPair<QString, QString>> qualitySegments;
    for (VideoQuality q : qualities(model, mode_))
        qualitySegments.append({rawValue(q), rawValue(q)});
    quality_->setSegments(qualitySegments);
    quality_->setSelectedKey(rawValue(settings_.quality()));
    QList<QPair<QString, QString>> durationSegments;
    for (VideoDuration d : durations(settings_.quality()))
        durationSegments.append({QString::number(rawValue(d)), durationText(d)});
    duration_->setSegments(durationSegments);
    duration_->setSelectedKey(QString::number(rawValue(settings_.duration())));
    {
        const QSignalBlocker blocker(optimization_);
        optimization_->setChecked(settings_.defaultPromptOptimization());
    }
    if (fast_) {
        const QSignalBlocker blocker(fast_);
        fast_->setChecked(settings_.fastPretreatment());
        fastRow_->setVisible(showsFastPretreatment(mode_, model));
    }
    setFixedSize(300, popoverHeight(mode_, model));
    applyFocusOrder();
}

void VideoSettingsPopover::applyFocusOrder() {
    // Segments are made again when their lists change; the chain follows the layout, top to bottom.
    QList<QWidget*> chain;
    for (SegmentedPicker* picker : {model_, quality_, duration_}) {
        if (picker) {
            for (GlassButton* segment : picker->segments())
                chain.append(segment);
        }
    }
    chain.append(optimization_);
    if (fast_)
        chain.append(fast_);
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}
