#pragma once

#include <QWidget>

// The share of the chat's context window used so far: a ring and its whole percentage.
class ContextRing : public QWidget {
    Q_OBJECT
public:
    explicit ContextRing(QWidget* parent = nullptr);

    void setPercent(double percent);
    double percent() const { return percent_; }
    QString percentText() const;
    bool isAlarming() const;
    void setScale(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double percent_ = 0;
    double scale_ = 1.0;
};
