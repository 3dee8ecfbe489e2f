#pragma once

#include "QueueStatusRules.h"

#include <QRectF>
#include <QWidget>

class OnScreenWatcher;
class QLabel;
class ResultLabel;
class QueueManager;

// A studio header's capsule reporting the other studio's work in the queue; empty while there is none.
// In the image studio: four slot dots (an active slot's ring pulses), the "video" symbol, the queue's video
// text and a small progress view while clips run. In the video studio: a pulsing orange dot, the "photo"
// symbol, the photo text and an arc spinner while a picture is made.
class QueueStatusIndicator : public QWidget {
    Q_OBJECT
public:
    enum class Part { slotDots, pulseDot, symbol, text, progressView, arcSpinner };

    // Built at `scale` (see setScale).
    QueueStatusIndicator(QueueManager* queue, StudioRules::IndicatorTab tab, QWidget* parent = nullptr,
                         double scale = 1.0);

    void setScale(double scale);
    double scale() const { return scale_; }
    // Sits level with a header title beside it (both top-aligned in one row): the line at 0.65 of the capsule's
    // height falls on the title's first baseline. Call again when the title's font changes.
    void alignWithTitle(const QLabel* title);
    StudioRules::IndicatorState state() const { return state_; }
    // Shows a state as read from the queue; the queue's changes come through here too.
    void showState(const StudioRules::IndicatorState& state);

    bool shows(Part part) const;
    // Where a part is drawn, in widget coordinates; empty while it is not shown. The slot dots' rect covers all
    // four; `slotDotRect` gives one of them.
    QRectF partRect(Part part) const;
    QRectF slotDotRect(int slot) const;
    QString symbolName() const;
    // True while something on the capsule moves (active slot rings, the pulse dot, a spinner) and it is on screen.
    bool isAnimating() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void applyLayout();
    void updateTicker();
    void updateMovingParts();
    // Ease-in-out position, 0 … 1, of a cycle of `periodMs`, going back and forth when `reverses`.
    double phase(int periodMs, bool reverses) const;
    double itemsWidth() const;

    QueueStatusModel* model_;
    const QLabel* title_ = nullptr;
    StudioRules::IndicatorTab tab_;
    double scale_ = 1.0;
    StudioRules::IndicatorState state_;
    ResultLabel* text_;
    OnScreenWatcher* onScreen_;
    double elapsedMs_ = 0;
    int tickInterval_ = 0;
};
