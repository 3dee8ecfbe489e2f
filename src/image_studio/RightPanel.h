#pragma once

#include "StudioRules.h"

#include <QPointer>
#include <QWidget>

class ImageStudioModel;
class QAbstractButton;
class QHBoxLayout;
class QLabel;
class ResultLabel;
class QVBoxLayout;
class QStackedWidget;
class QTextEdit;
class ReplyDocument;
class ResultPictureView;
class Spinner;

// The result side: the last result with its follow-up actions, the progress of a request, its failure or the
// invitation to start, the text-reply bubble, and the image presets panel sliding over it.
class RightPanel : public QWidget {
    Q_OBJECT
public:
    // Built at `scale` (see setScale).
    RightPanel(ImageStudioModel& model, QWidget* parent = nullptr, double scale = 1.0);
    ~RightPanel() override;

    void setScale(double scale);
    StudioRules::ResultState shownState() const { return state_; }
    bool isResultPictureShown() const;
    QWidget* presetsOverlay() const { return overlay_; }
    QWidget* presetsView() const { return presetsView_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    QWidget* buildCompleted();
    QWidget* buildLoading();
    QWidget* buildFailed();
    QWidget* buildReady();
    // The page of a state, made the first time it is needed.
    QWidget* pageFor(StudioRules::ResultState state);
    void scalePages();
    void showService();
    void showLoading();
    void showActions();
    void showBubble();
    void placeBubble();
    // Set while the header button toggles the bubble: only that change is animated.
    bool bubbleToggling_ = false;
    void showPresets();
    void applyScale();
    void showSymbols();
    QWidget* makePresetsView();

    ImageStudioModel& model_;
    double scale_ = 1.0;
    StudioRules::ResultState state_ = StudioRules::ResultState::ready;

    QAbstractButton* textButton_ = nullptr;
    QStackedWidget* states_ = nullptr;
    QWidget* pages_[4] = {};
    QWidget* area_ = nullptr;
    ResultPictureView* picture_ = nullptr;
    QWidget* bubble_ = nullptr;
    QTextEdit* reply_ = nullptr;
    ReplyDocument* replyDocument_ = nullptr;
    QAbstractButton* imageToImage_ = nullptr;
    QAbstractButton* imageToVideo_ = nullptr;
    QAbstractButton* startFrame_ = nullptr;
    QAbstractButton* endFrame_ = nullptr;
    QAbstractButton* finder_ = nullptr;
    QLabel* resultSymbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* readyTitle_ = nullptr;
    QLabel* readySubtitle_ = nullptr;
    QHBoxLayout* actionRow_ = nullptr;
    QVBoxLayout* bubbleLayout_ = nullptr;
    ResultLabel* loadingText_ = nullptr;
    ResultLabel* errorText_ = nullptr;
    QLabel* failedSymbol_ = nullptr;
    QLabel* readySymbol_ = nullptr;
    Spinner* loadingSpinner_ = nullptr;
    Spinner* activeSpinner_ = nullptr;
    QWidget* overlay_ = nullptr;
    QPointer<QWidget> presetsView_;
};
