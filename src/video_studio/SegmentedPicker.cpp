#include "SegmentedPicker.h"

#include <QHBoxLayout>
#include <QToolButton>

SegmentedPicker::SegmentedPicker(const QString& name, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), name_(name), layout_(new QHBoxLayout(this)) {
    setObjectName(name);
    setAccessibleName(accessibleName);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
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
        auto* button = new QToolButton(this);
        button->setObjectName(name_ + QLatin1Char('_') + key);
        button->setText(text);
        button->setAccessibleName(text);
        button->setCheckable(true);
        button->setChecked(key == selected_);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        connect(button, &QToolButton::clicked, this, [this, k = key] {
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
        button->setChecked(k == key);
}

QStringList SegmentedPicker::keys() const {
    QStringList list;
    for (const auto& [key, button] : buttons_)
        list.append(key);
    return list;
}

QToolButton* SegmentedPicker::segment(const QString& key) const {
    for (const auto& [k, button] : buttons_) {
        if (k == key)
            return button;
    }
    return nullptr;
}
