#include "SettingsForm.h"

#include "Controls.h"
#include "Glass.h"
#include "ScrollBars.h"
#include "Theme.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QVBoxLayout>

SettingsPage* addScrollingPage(QWidget* tab, const QString& title, const QString& subtitle, const QString& scrollName) {
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new SettingsTabHeader(title, subtitle, tab));

    auto* scroll = new QScrollArea(tab);
    scroll->setObjectName(scrollName);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // A filler: the fields inside take the focus, and the wheel and the scroll bar scroll it.
    scroll->setFocusPolicy(Qt::NoFocus);
    nameScrollBars(scroll, title);
    auto* page = new SettingsPage;
    scroll->setWidget(page);
    layout->addWidget(scroll);
    return page;
}

QLabel* settingsCaption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    styleAsCaption(label);
    return label;
}

void styleAsCaption(QLabel* label) {
    label->setFont(Theme::font(11));
    label->setWordWrap(true);
    Controls::setTextColor(label, ColorRole::secondary);
}

SettingsTabHeader::SettingsTabHeader(const QString& title, const QString& subtitle, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 4);
    layout->setSpacing(4);
    auto* heading = new QLabel(title, this);
    heading->setObjectName("settingsTabTitle");
    heading->setFont(Theme::font(17, QFont::DemiBold));
    heading->setAlignment(Qt::AlignCenter);
    Controls::setTextColor(heading, ColorRole::primary);
    layout->addWidget(heading);
    if (!subtitle.isEmpty()) {
        auto* caption = settingsCaption(subtitle, this);
        caption->setObjectName("settingsTabSubtitle");
        caption->setAlignment(Qt::AlignCenter);
        layout->addWidget(caption);
    }
}

SettingsSection::SettingsSection(const QString& name, const QString& title, QWidget* parent) : QWidget(parent) {
    setObjectName(name + "Section");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* heading = new QLabel(title, this);
    heading->setObjectName(name + "SectionTitle");
    heading->setFont(Theme::font(12, QFont::DemiBold));
    Controls::setTextColor(heading, ColorRole::secondary);
    heading->setVisible(!title.isEmpty());
    layout->addWidget(heading);

    panel_ = new GlassPanel(this);
    panel_->setFill(GlassPanel::Fill::regularMaterial);
    panel_->setCornerRadius(Theme::mediumRadius);
    panel_->setOutline(Theme::instance().color(ColorRole::separator));
    connect(&Theme::instance(), &Theme::changed, panel_,
            [panel = panel_] { panel->setOutline(Theme::instance().color(ColorRole::separator)); });
    rows_ = new QFormLayout(panel_);
    rows_->setContentsMargins(14, 10, 14, 10);
    rows_->setHorizontalSpacing(16);
    rows_->setVerticalSpacing(10);
    rows_->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    rows_->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->addWidget(panel_);
}

QLabel* SettingsSection::addRow(const QString& label, QWidget* content) {
    auto* title = new QLabel(label, panel_);
    title->setObjectName(content->objectName() + "Label");
    title->setFont(Theme::font(13));
    Controls::setTextColor(title, ColorRole::primary);
    title->setBuddy(content);
    rows_->addRow(title, content);
    return title;
}

void SettingsSection::addWide(QWidget* content) {
    content->setParent(panel_);
    rows_->addRow(content);
}

SettingsPage::SettingsPage(QWidget* parent) : QWidget(parent) {
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(20, 8, 20, 20);
    column_->setSpacing(18);
}

void SettingsPage::mousePressEvent(QMouseEvent* event) {
    if (QWidget* focused = QApplication::focusWidget(); focused && window()->isAncestorOf(focused))
        focused->clearFocus();
    QWidget::mousePressEvent(event);
}
