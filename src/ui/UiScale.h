#pragma once

#include <QObject>

class QWidget;

// The one layout scale of a studio (1 = nominal). The studio pushes it; its views read it for the sizes that
// follow the scale and ignore it everywhere else.
class UiScale final : public QObject {
    Q_OBJECT
    Q_PROPERTY(double scale READ scale WRITE setScale NOTIFY scaleChanged)
public:
    explicit UiScale(QObject* parent = nullptr, double scale = 1.0);

    double scale() const { return scale_; }
    // A non-finite or non-positive scale is ignored.
    void setScale(double scale);
    // `points` × scale.
    double operator()(double points) const { return points * scale_; }
    int px(double points) const;

    // The scale a studio lays itself out at, for what the kit draws inside it without a size of its own (the
    // focus ring): set on the studio's root, read by any widget below it or in a window opened from it; 1 where
    // none is set.
    static void setScaleOf(QWidget* root, double scale);
    static double scaleOf(const QWidget* widget);

signals:
    void scaleChanged(double scale);

private:
    double scale_ = 1.0;
};
