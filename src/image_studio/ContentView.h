#pragma once

#include <QWidget>

#include "AppEnvironment.h"

class AppViewModel;
class ImageStudioModel;
class LeftPanel;
class QAbstractButton;
class QueueStatusIndicator;
class RightPanel;
class QHBoxLayout;
class QLabel;
class QSpacerItem;

// The image studio: header (studio switch, queue status, photo folder, context meter, new chat), the composer
// on the left and the result on the right.
class ContentView : public QWidget {
    Q_OBJECT
public:
    // Built at the scale of `expectedWidth` when it is known (the width it will show at), so showing it does not
    // build every text and symbol a second time at a new scale.
    explicit ContentView(const AppEnvironment& environment, QWidget* parent = nullptr, int expectedWidth = 0);
    ~ContentView() override;

    ImageStudioModel* model() const { return model_; }
    LeftPanel* leftPanel() const { return left_; }
    RightPanel* rightPanel() const { return right_; }
    double scale() const { return scale_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildHeader();
    void scaleHeader();
    void showFolder();
    void showSession();
    void showDivider();

    AppEnvironment environment_;
    ImageStudioModel* model_ = nullptr;
    LeftPanel* left_ = nullptr;
    RightPanel* right_ = nullptr;
    QueueStatusIndicator* indicator_ = nullptr;
    QLabel* title_ = nullptr;
    QSpacerItem* titlePlaceholder_ = nullptr;
    QWidget* divider_ = nullptr;
    QHBoxLayout* headerRow_ = nullptr;
    // Between the title group's parts (20 × scale) and the toolbar's (16 × scale); the row itself adds none.
    QList<QSpacerItem*> titleGaps_;
    QList<QSpacerItem*> toolbarGaps_;
    QAbstractButton* folder_ = nullptr;
    QAbstractButton* toVideo_ = nullptr;
    QWidget* ring_ = nullptr;
    QAbstractButton* newChat_ = nullptr;
    double scale_ = 1.0;
    bool appeared_ = false;
};
