#pragma once

#include "GradientButton.h"

#include <QWidget>

class OnScreenWatcher;
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

// The generate button bound to the workspace: title, symbol, spinner, colours and enable rule from the model.
class GenerateButton final : public GradientButton {
    Q_OBJECT
public:
    explicit GenerateButton(VideoWorkspaceModel* model, QWidget* parent = nullptr);
    void setScale(double scale);

private:
    void refresh();
    VideoWorkspaceModel* model_;
};
