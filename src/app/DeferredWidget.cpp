#include "DeferredWidget.h"

#include <QVBoxLayout>

#include <utility>

DeferredWidget::DeferredWidget(Builder builder, QWidget* parent) : QWidget(parent), builder_(std::move(builder)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void DeferredWidget::build() {
    if (!builder_)
        return;
    const Builder builder = std::exchange(builder_, nullptr);
    content_ = builder(this);
    layout()->addWidget(content_);
    setFocusProxy(content_);
    // Shown with this at once: a child added to a shown widget would otherwise appear a turn of the loop later.
    content_->show();
}

void DeferredWidget::setVisible(bool visible) {
    // Built before it shows, so its first picture is the widget's own.
    if (visible)
        build();
    QWidget::setVisible(visible);
}
