#include "SegmentedPicker.h"

#include "Controls.h"
#include "GlassButtons.h"

#include <QHBoxLayout>

SegmentedPicker::SegmentedPicker(const QString& name, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), name_(name), layout_(new QHBoxLayout(this)), group_(new RadioGroup(this)) {
    setObjectName(name);
    setAccessibleName(accessibleName);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(2);
    connect(group_, &RadioGroup::chosen, this, [this](int index) {
        const QString key = buttons_.value(index).first;
        setSelectedKey(key);
        emit activated(key);
    });
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
        GlassButton* button = makeSegmentButton(text, this);
        button->setObjectName(name_ + QLatin1Char('_') + key);
        group_->addChoice(button, int(buttons_.size()));
        layout_->addWidget(button);
        buttons_.append({key, button});
    }
    // New segments join the focus chain in order, one after the other.
    for (qsizetype i = 1; i < buttons_.size(); ++i)
        QWidget::setTabOrder(buttons_[i - 1].second, buttons_[i].second);
    setSelectedKey(selected_);
}

void SegmentedPicker::setSelectedKey(const QString& key) {
    selected_ = key;
    int chosen = -1;
    for (qsizetype i = 0; i < buttons_.size(); ++i) {
        const bool selected = buttons_[i].first == key;
        buttons_[i].second->setSelected(selected);
        if (selected)
            chosen = int(i);
    }
    group_->showChoice(chosen);
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
