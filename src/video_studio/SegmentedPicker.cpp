#include "SegmentedPicker.h"

#include "GlassButtons.h"
#include <QHBoxLayout>

#include <QToolButton>

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
        auto* button = new GlassButton(this);
        button->setObjectName(name_ + QLatin1Char('_') + key);
        button->setTitle(text);
        button->setAccessibleName(text);
        button->setFill(GlassButton::Fill::none);
        button->setSelectedFill(GlassButton::Fill::selectedSegment);
        button->setHighlight(GlassButton::Highlight::hoverOrSelected);
        button->setTitleFont(12, QFont::Medium);
        button->setPadding(QMarginsF(10, 5, 10, 5));
        button->setCornerRadius(6);
        button->setSelected(key == selected_);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(button, &GlassButton::clicked, this, [this, k = key] {
            setSelectedKey(k);
            emit activated(k);
        });
        layout_->addWidget(button);
        buttons_.append({key, button});
    }
}

void SegmentedPicker::setSelectedKey(const QString& key) {
    selected_ = key;
    for (auto& [k, button] : buttons_)
        button->setSelected(k == key);
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
