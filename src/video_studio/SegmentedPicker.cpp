#include "SegmentedPicker.h"

#include "GlassButtons.h"

#include <QHBoxLayout>

namespace {

// A segment: checkable so assistive tools hear which one is chosen, exclusive among its siblings so
// they read as radio buttons. The picker owns the selection; a click only reports the choice.
class SegmentButton final : public GlassButton {
public:
    explicit SegmentButton(QWidget* parent) : GlassButton(parent) {
        setCheckable(true);
        setAutoExclusive(true);
    }

    void setChosen(bool chosen) {
        setSelected(chosen);
        if (chosen == isChecked())
            return;
        if (chosen) {
            setChecked(true);
            return;
        }
        // An exclusive button refuses to be unchecked; a value outside the list needs no segment checked.
        setAutoExclusive(false);
        setChecked(false);
        setAutoExclusive(true);
    }

protected:
    void nextCheckState() override {}
};

} // namespace

SegmentedPicker::SegmentedPicker(const QString& name, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), name_(name), layout_(new QHBoxLayout(this)) {
    setObjectName(name);
    setAccessibleName(accessibleName);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(2);
}

void SegmentedPicker::setSegments(const QList<QPair<QString, QString>>& segments) {
    QStringList wanted;
    for (const auto& [key, text] : segments)
        wanted.append(key);
    if (wanted == keys())
        return;
    for (auto& [key, button] : buttons_)
        delete button;
    buttons_.clear();
    for (const auto& [key, text] : segments) {
        auto* button = new SegmentButton(this);
        button->setObjectName(name_ + QLatin1Char('_') + key);
        button->setTitle(text);
        button->setAccessibleName(text);
        button->setFill(GlassButton::Fill::none);
        button->setSelectedFill(GlassButton::Fill::selectedSegment);
        button->setHighlight(GlassButton::Highlight::hoverOrSelected);
        button->setTitleFont(12, QFont::Medium);
        button->setPadding(QMarginsF(10, 5, 10, 5));
        button->setCornerRadius(6);
        button->setChosen(key == selected_);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(button, &GlassButton::clicked, this, [this, k = key] {
            setSelectedKey(k);
            emit activated(k);
        });
        layout_->addWidget(button);
        buttons_.append({key, button});
    }
    // New segments join the focus chain in order, one after the other.
    for (qsizetype i = 1; i < buttons_.size(); ++i)
        QWidget::setTabOrder(buttons_[i - 1].second, buttons_[i].second);
    updateTabStop();
}

void SegmentedPicker::setSelectedKey(const QString& key) {
    selected_ = key;
    for (auto& [k, button] : buttons_)
        static_cast<SegmentButton*>(button)->setChosen(k == key);
    updateTabStop();
}

void SegmentedPicker::updateTabStop() {
    // One Tab stop per picker, like a radio group; the others still take the focus from the arrow keys.
    GlassButton* stop = tabStop();
    for (auto& [k, button] : buttons_)
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

QStringList SegmentedPicker::keys() const {
    QStringList list;
    for (const auto& [key, button] : buttons_)
        list.append(key);
    return list;
}

GlassButton* SegmentedPicker::segment(const QString& key) const {
    for (const auto& [k, button] : buttons_) {
        if (k == key)
            return button;
    }
    return nullptr;
}

QList<GlassButton*> SegmentedPicker::segments() const {
    QList<GlassButton*> list;
    for (const auto& [key, button] : buttons_)
        list.append(button);
    return list;
}

GlassButton* SegmentedPicker::tabStop() const {
    if (buttons_.isEmpty())
        return nullptr;
    if (GlassButton* chosen = segment(selected_))
        return chosen;
    return buttons_.first().second;
}
