#pragma once

#include "BorderColor.h"

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

// What a screen builder gets: the scheme it is drawn in (already applied to the theme and the palette), a
// scratch folder, and hooks for what must happen around the picture.
struct ScreenshotContext {
    ColorScheme scheme = ColorScheme::light;
    QString workDir;
    // Set false to photograph the window while it is not the key window.
    bool keyWindow = true;
    // Waited for (up to a few seconds of real time) before the picture is taken.
    std::function<bool()> ready;
    // Run in order once the window is shown and active (hover a control, open a popover, ...).
    std::vector<std::function<void()>> afterShow;
    // Objects the screen needs that are not children of its widget (stores, models, fakes); deleted after the
    // picture, after the widget.
    void keep(QObject* object) { kept.emplace_back(object); }
    std::vector<std::unique_ptr<QObject>> kept;
    // Set when the picture should be taken of another widget than the returned one (a popover's window).
    QWidget* grabTarget = nullptr;
    // A screen of the main window is drawn at each of the studio's reference sizes; this is the one being drawn
    // (the harness gives the returned widget this size). Empty for pictures of their own size.
    QSize windowSize;
};

// The main window's sizes every window screen is drawn at: 1000 wide is the studios' scale 1, 1600 their 1.6.
inline const QList<QSize>& screenshotWindowSizes() {
    static const QList<QSize> sizes{QSize(1000, 700), QSize(1600, 1120)};
    return sizes;
}

// Builds the screen and returns its top-level widget; the harness owns it.
using ScreenshotFunction = std::function<QWidget*(ScreenshotContext&)>;

// `own`: a picture of a widget at its own size (kit boards, the fixed-size settings window, forms, panels on
// their own), written as <name>-light.png and <name>-dark.png. `window`: a screen of the main window, drawn at
// each of `screenshotWindowSizes()` and written as <name>-<width>-light.png and <name>-<width>-dark.png.
enum class ScreenshotSize { own, window };
bool registerScreenshot(const char* name, ScreenshotFunction function, ScreenshotSize size = ScreenshotSize::own);

// Sends the events of the pointer entering `widget` (for hover looks).
void screenshotHover(QWidget* widget);

// A window background with some colour in it, so that glass has something to show through.
class ScreenshotBackdrop final : public QWidget {
public:
    // `corner`: a round glow at the top right; `diagonal`: a wash from the top left.
    enum class Glow { corner, diagonal };
    explicit ScreenshotBackdrop(Glow glow, QWidget* parent = nullptr) : QWidget(parent), glow_(glow) {}

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Glow glow_;
};

#define ORVANE_SCREENSHOT_CAT2(a, b) a##b
#define ORVANE_SCREENSHOT_CAT(a, b) ORVANE_SCREENSHOT_CAT2(a, b)
// Registers a picture of its own size: ORVANE_SCREENSHOT("kit-form", [](ScreenshotContext& context) { ... });
#define ORVANE_SCREENSHOT(name, function)                                                                              \
    static const bool ORVANE_SCREENSHOT_CAT(orvaneScreenshot_, __COUNTER__) = registerScreenshot(name, function)
// Registers a screen of the main window, drawn at both window sizes.
#define ORVANE_WINDOW_SCREENSHOT(name, function)                                                                       \
    static const bool ORVANE_SCREENSHOT_CAT(orvaneScreenshot_, __COUNTER__) =                                          \
        registerScreenshot(name, function, ScreenshotSize::window)
