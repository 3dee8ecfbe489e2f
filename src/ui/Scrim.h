#pragma once

#include <QWidget>

#include <functional>

// Dims what lies behind a sheet or panel and keeps the pointer from reaching it. A left click on it runs its
// tap action when it has one (closing what it dims).
class Scrim final : public QWidget {
public:
    // Black at `lightAlpha` in the light appearance and at `darkAlpha` in the dark one (0...255).
    Scrim(int lightAlpha, int darkAlpha, QWidget* parent);

    void setOnTap(std::function<void()> onTap) { onTap_ = std::move(onTap); }
    // The shade drawn now, in the current appearance.
    QColor shade() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int lightAlpha_;
    int darkAlpha_;
    std::function<void()> onTap_;
};
