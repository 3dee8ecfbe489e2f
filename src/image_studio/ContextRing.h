#pragma once

#include <QFont>
#include <QRectF>
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
    // Where the percentage is drawn: inside the ring's inner edge, squeezed or made smaller where it would not fit.
    QRectF labelRect() const;
    // The ring's inner edge.
    double innerRadius() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Label {
        QFont font;
        double squeeze = 1; // horizontal
        QRectF ink;         // the text's ink at full width, its baseline at 0
    };
    Label label() const;

    double percent_ = 0;
    double scale_ = 1.0;
};
