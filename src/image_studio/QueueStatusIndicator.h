#pragma once

#include "StudioRules.h"

#include <QWidget>

class QLabel;
class QueueManager;

// A studio header's capsule reporting the other studio's work in the queue; empty while there is none.
class QueueStatusIndicator : public QWidget {
    Q_OBJECT
public:
    QueueStatusIndicator(QueueManager* queue, StudioRules::IndicatorTab tab, QWidget* parent = nullptr);

    void setScale(double scale);
    // Sits level with a header title beside it (both top-aligned in one row): the line at 0.65 of the capsule's
    // height falls on the title's first baseline. Call again when the title's font changes.
    void alignWithTitle(const QLabel* title);
    StudioRules::IndicatorState state() const { return state_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QueueManager* queue_;
    const QLabel* title_ = nullptr;
    StudioRules::IndicatorTab tab_;
    double scale_ = 1.0;
    StudioRules::IndicatorState state_;
    QLabel* text_;
};
