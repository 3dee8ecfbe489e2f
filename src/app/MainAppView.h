#pragma once

#include "AppEnvironment.h"

#include <QWidget>

#include <functional>

class QStackedLayout;
class StudioStack;
class SwiftDataImagePresetsManager;
class SwiftDataPromptPresetsManager;

// The root view of the main window: "Loading..." until the preset managers exist, then both studios,
// the one that AppViewModel selects on top.
class MainAppView : public QWidget {
    Q_OBJECT
public:
    using StudioFactory = std::function<QWidget*(const AppEnvironment&, QWidget* parent)>;

    explicit MainAppView(const AppEnvironment& environment, QWidget* parent = nullptr);
    ~MainAppView() override;

    // Tests and later studios can replace how each studio is built.
    void setStudioFactories(StudioFactory videoStudio, StudioFactory imageStudio);

    bool hasInitializedManagers() const { return hasInitializedManagers_; }
    SwiftDataPromptPresetsManager* promptPresetsManager() const { return promptPresetsManager_; }
    SwiftDataImagePresetsManager* imagePresetsManager() const { return imagePresetsManager_; }
    QWidget* loadingView() const { return loadingView_; }
    StudioStack* screensStack() const { return screensStack_; }

signals:
    // Emitted each time the view is shown, before its own appear work.
    void appeared();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void initializeManagersOnce();
    void loadPresetManagers();
    void buildScreensStack();
    void showCurrentStudio(bool animated);
    void releaseVideoStudioWork();

    AppEnvironment environment_;
    StudioFactory videoStudioFactory_;
    StudioFactory imageStudioFactory_;
    SwiftDataPromptPresetsManager* promptPresetsManager_ = nullptr;
    SwiftDataImagePresetsManager* imagePresetsManager_ = nullptr;
    bool hasInitializedManagers_ = false;
    QStackedLayout* layout_ = nullptr;
    QWidget* loadingView_ = nullptr;
    StudioStack* screensStack_ = nullptr;
};
