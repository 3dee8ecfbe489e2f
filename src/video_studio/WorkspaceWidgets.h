#pragma once

#include <QPushButton>
#include <QWidget>

class OnScreenWatcher;
class Spinner;
class VideoWorkspaceModel;

// The four slot dots of the header: one per concurrent video job, the running ones blue with a
// pulsing ring, the free ones gray. Hidden while nothing runs; the ring stands still while it is not on screen.
class SlotDots : public QWidget {
    Q_OBJECT
public:
    explicit SlotDots(VideoWorkspaceModel* model, QWidget* parent = nullptr);
    int activeDots() const { return active_; }
    bool isPulsing() const;
    void setScale(double scale);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void updatePulse();
    VideoWorkspaceModel* model_;
    static constexpr int pulseCycleMs = 2000;
    OnScreenWatcher* onScreen_;
    int active_ = 0;
    double pulseMs_ = 0;
    double scale_ = 1.0;
};

// The generate button: title and symbol from the model, blue-to-cyan while the queue has room, gray
// when it is full, dimmed when it cannot submit.
class GenerateButton : public QPushButton {
    Q_OBJECT
public:
    explicit GenerateButton(VideoWorkspaceModel* model, QWidget* parent = nullptr);
    void setScale(double scale);
    double drawnOpacity() const;
    bool showsStopSymbol() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    // Where the play, stop or progress symbol goes, left of the title; the two are centred together.
    QRectF iconSlot() const;
    void placeSpinner();
    VideoWorkspaceModel* model_;
    Spinner* spinner_;
    double scale_ = 1.0;
};
