#include "Controls.h"

#include "FocusRing.h"
#include "Glass.h"
#include "GlassButtons.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QCheckBox>
#include <QListView>
#include <QPainter>
#include <QPalette>
#include <QScopedValueRollback>

namespace {

class SwitchButton final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    static constexpr int trackWidth = 32;
    static constexpr int trackHeight = 18;
    static constexpr int textGap = 8;

    QSize sizeHint() const override {
        if (text().isEmpty())
            return QSize(trackWidth, trackHeight);
        const QFontMetrics metrics(font());
        return QSize(metrics.horizontalAdvance(text()) + textGap + trackWidth, std::max(metrics.height(), trackHeight));
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF track(width() - trackWidth + 1, (height() - trackHeight) / 2.0 + 1, trackWidth - 2,
                           trackHeight - 2);
        if (!text().isEmpty()) {
            painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
            const QRect textBox(0, 0, int(track.left()) - textGap + 1, height());
            painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
        }
        const double radius = track.height() / 2;
        const QColor on = Theme::color(ColorRole::blue, this);
        const QColor off = withOpacity(Theme::color(ColorRole::gray, this), 0.35);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isChecked() ? on : off);
        painter.setOpacity(isEnabled() ? 1.0 : 0.5);
        painter.drawRoundedRect(track, radius, radius);
        const double knob = track.height() - 4;
        const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
        painter.setBrush(QColor(Qt::white));
        painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
        if (FocusRing::shows(this)) {
            painter.setOpacity(1.0);
            FocusRing::paint(painter, track.adjusted(-1, -1, 1, 1), -1, this);
        }
    }
};

// A tab as assistive tools know it: a page tab, selected and checked while its page is open; pressing it opens it.
class AccessibleTab final : public QAccessibleWidget {
public:
    explicit AccessibleTab(QAbstractButton* tab) : QAccessibleWidget(tab, QAccessible::PageTab) {}

    QString text(QAccessible::Text t) const override {
        const QString text = QAccessibleWidget::text(t);
        return text.isEmpty() && t == QAccessible::Name ? tab()->text() : text;
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = state.checkable = true;
        state.selected = state.checked = tab()->isChecked();
        return state;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled())
            names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action != pressAction())
            QAccessibleWidget::doAction(action);
        else if (widget()->isEnabled())
            tab()->click();
    }

private:
    QAbstractButton* tab() const { return static_cast<QAbstractButton*>(object()); }
};

QAccessibleInterface* accessibleTabs(const QString& className, QObject* object) {
    if (className == QLatin1String("GlassTabButton"))
        return new AccessibleTab(static_cast<QAbstractButton*>(object));
    if (className == QLatin1String("TabBar"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::PageTabList);
    return nullptr;
}

void installAccessibleTabs() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleTabs);
        return true;
    }();
    Q_UNUSED(installed)
}

} // namespace

RadioGroup::RadioGroup(QObject* parent) : QButtonGroup(parent) {
    setExclusive(true);
    connect(this, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        updateTabStop();
        if (checked && !showing_)
            emit chosen(id);
    });
}

void RadioGroup::addChoice(QAbstractButton* button, int id) {
    button->setCheckable(true);
    // Inside a group the group rules; the flag is what makes assistive tools read a radio button.
    button->setAutoExclusive(true);
    addButton(button, id);
    updateTabStop();
}

void RadioGroup::showChoice(int id) {
    QAbstractButton* wanted = button(id);
    QAbstractButton* current = checkedButton();
    if (wanted == current)
        return;
    const QScopedValueRollback guard(showing_, true);
    if (wanted) {
        wanted->setChecked(true);
    } else {
        // An exclusive group keeps one button checked; a value outside the choices checks none.
        setExclusive(false);
        current->setChecked(false);
        setExclusive(true);
    }
    updateTabStop();
}

void RadioGroup::updateTabStop() {
    // One Tab stop, like any radio group; the others still take the focus from the arrow keys.
    const QList<QAbstractButton*> all = buttons();
    QAbstractButton* stop = checkedButton() ? checkedButton() : all.value(0);
    for (QAbstractButton* button : all)
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

TabBar::TabBar(const QList<QAbstractButton*>& tabs, QWidget* parent) : QWidget(parent), group_(new RadioGroup(this)) {
    installAccessibleTabs();
    setObjectName(QStringLiteral("tabBar"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(8);
    for (int i = 0; i < tabs.size(); ++i) {
        QAbstractButton* tab = tabs[i];
        group_->addChoice(tab, i);
        row->addWidget(tab);
        // Checked and selected change together; the button announces only the first.
        connect(tab, &QAbstractButton::toggled, tab, [tab] {
            QAccessible::State changed;
            changed.selected = true;
            QAccessibleStateChangeEvent event(tab, changed);
            QAccessible::updateAccessibility(&event);
        });
    }
    row->addStretch();
}

namespace Controls {

QAbstractButton* textButton(const QString& objectName, const QString& symbol, const QString& text, const QString& help,
                            QWidget* parent) {
    auto* button = new GlassButton(parent);
    button->setObjectName(objectName);
    button->setSymbol(symbol);
    button->setTitle(text);
    button->setAccessibleName(text);
    button->setToolTip(help);
    button->setFill(GlassButton::Fill::none);
    // An enabled text button reads as enabled in a window that is not key.
    button->setForeground(GlassButton::Foreground::primary);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QAbstractButton* iconButton(const QString& objectName, const QString& symbol, const QString& help, int diameter,
                            QWidget* parent) {
    auto* button = new GlassIconButton(symbol, help, diameter, std::max(10.0, diameter / 2.0), parent);
    button->setObjectName(objectName);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void setSymbol(QAbstractButton* button, const QString& symbol, double points, const QColor& color) {
    if (auto* glass = qobject_cast<GlassButton*>(button)) {
        glass->setSymbol(symbol);
        glass->setSymbolSize(points);
        glass->setSymbolColor(color);
    }
}

QAbstractButton* tabButton(const QString& symbol, const QString& title, QWidget* parent) {
    installAccessibleTabs();
    return new GlassTabButton(symbol, title, parent);
}

void setTabSelected(QAbstractButton* button, bool selected) {
    if (auto* tab = qobject_cast<GlassButton*>(button))
        tab->setSelected(selected);
    if (auto* group = qobject_cast<RadioGroup*>(button->group()); group && selected)
        group->showChoice(group->id(button));
}

TabBar* addTabRow(QBoxLayout* column, const QList<QAbstractButton*>& tabs) {
    auto* bar = new TabBar(tabs, tabs.isEmpty() ? nullptr : tabs.first()->parentWidget());
    column->addWidget(bar);
    return bar;
}

QAbstractButton* addPresetTile(QWidget* parent) {
    auto* tile = new AddPresetTile(parent);
    tile->setAccessibleName(QStringLiteral("Add New Preset"));
    return tile;
}

void setPresetsCount(QAbstractButton* tile, qint64 count) {
    if (auto* add = qobject_cast<AddPresetTile*>(tile))
        add->setPresetsCount(count);
}

QAbstractButton* closeButton(int side, int symbolSize, QWidget* parent) {
    auto* button = new GlassIconButton(QStringLiteral("xmark"), QStringLiteral("Close"), side, symbolSize, parent);
    button->setFill(GlassButton::Fill::controlBackground);
    button->setSymbolColor(Theme::instance().color(ColorRole::secondary));
    return button;
}

QLabel* label(const QString& objectName, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(objectName);
    return l;
}

QCheckBox* switchButton(const QString& objectName, const QString& text, QWidget* parent) {
    FocusRing::track();
    auto* button = new SwitchButton(text, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(text);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void setTextColor(QWidget* widget, const QColor& color) {
    if (auto* glass = qobject_cast<GlassButton*>(widget)) {
        glass->setTitleColor(color);
        glass->setSymbolColor(color);
    }
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

void setTextColor(QWidget* widget, ColorRole role) {
    static const char* const roleProperty = "kitTextColorRole";
    const bool following = widget->property(roleProperty).isValid();
    widget->setProperty(roleProperty, int(role));
    setTextColor(widget, Theme::instance().color(role));
    if (following)
        return;
    QObject::connect(&Theme::instance(), &Theme::changed, widget, [widget] {
        setTextColor(widget, Theme::instance().color(ColorRole(widget->property(roleProperty).toInt())));
    });
}

void showCounter(QLabel* counter, const QString& text, bool warning) {
    counter->setText(text);
    const QColor tone = Theme::instance().color(warning ? ColorRole::red : ColorRole::secondary);
    // Runs on every keystroke: a palette change restyles the label, so only when the colour changes.
    if (counter->palette().color(QPalette::WindowText) != tone)
        setTextColor(counter, tone);
}

QWidget* panelBackground(int radius, QWidget* parent) {
    auto* panel = new GlassPanel(parent);
    panel->setCornerRadius(radius);
    panel->setFill(GlassPanel::Fill::glass);
    return panel;
}

QVBoxLayout* panelColumn(QWidget* view, int radius) {
    auto* outer = new QVBoxLayout(view);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* panel = panelBackground(radius, view);
    outer->addWidget(panel);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    return column;
}

QAbstractButton* addHeader(QBoxLayout* column, const QString& title, const QFont& font, const QMargins& margins,
                           int closeSide, int closeSymbolSize, const QString& name, QWidget* parent) {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(margins);
    auto* text = new QLabel(title, parent);
    text->setObjectName(name + QStringLiteral("Title"));
    text->setFont(font);
    QAbstractButton* close = closeButton(closeSide, closeSymbolSize, parent);
    close->setObjectName(name + QStringLiteral("Close"));
    header->addStretch();
    header->addWidget(text);
    header->addStretch();
    header->addWidget(close);
    column->addLayout(header);
    return close;
}

void setUpCardList(QListView* list) {
    FocusRing::track();
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFrameShape(QFrame::NoFrame);
    list->viewport()->setAutoFillBackground(false);
    focusOnTheControlOnly(list);
}

void clearTextBase(QAbstractScrollArea* area) {
    QPalette palette = area->palette();
    palette.setBrush(QPalette::Base, Qt::transparent);
    area->setPalette(palette);
    area->viewport()->setAutoFillBackground(false);
}

void focusOnTheControlOnly(QAbstractScrollArea* area) {
    area->viewport()->setFocusProxy(nullptr);
}

} // namespace Controls
