#pragma once

#include <QWidget>

class QVariantAnimation;

// Keeps both studios built in one place and shows the selected one: the other is hidden and inert
// but keeps its state. A change cross-fades the outgoing studio over the incoming one. It needs what the larger of
// the two studios needs, so the window never gets smaller than a studio can be laid out in.
class StudioStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeMilliseconds = 250;

    StudioStack(QWidget* videoStudio, QWidget* imageStudio, QWidget* parent = nullptr);

    QWidget* videoStudio() const { return videoStudio_; }
    QWidget* imageStudio() const { return imageStudio_; }
    QWidget* currentStudio() const { return current_; }
    // The running cross-fade, if any.
    QVariantAnimation* fadeAnimation() const { return fade_; }

    void showStudio(QWidget* studio, bool animated);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class FadeOverlay;
    static void focusFirstControl(QWidget* studio);
    QWidget* videoStudio_;
    QWidget* imageStudio_;
    QWidget* current_ = nullptr;
    FadeOverlay* overlay_ = nullptr;
    QVariantAnimation* fade_ = nullptr;
};
