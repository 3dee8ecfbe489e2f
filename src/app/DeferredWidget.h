#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// Stands in for a widget that is costly to build and not on the first screen: the widget is built when this is
// first shown, or earlier when build() is called, and fills this from then on.
class DeferredWidget final : public QWidget {
    Q_OBJECT
public:
    using Builder = std::function<QWidget*(QWidget* parent)>;

    explicit DeferredWidget(Builder builder, QWidget* parent = nullptr);

    // The built widget; null until it is built.
    QWidget* content() const { return content_; }
    // Builds the widget now, once.
    void build();

    void setVisible(bool visible) override;

private:
    Builder builder_;
    QPointer<QWidget> content_;
};
