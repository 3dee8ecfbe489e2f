#pragma once

#include "BorderColor.h"

#include <QObject>
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
};

// Builds the screen and returns its top-level widget; the harness owns it.
using ScreenshotFunction = std::function<QWidget*(ScreenshotContext&)>;

bool registerScreenshot(const char* name, ScreenshotFunction function);

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
// Registers a screen: ORVANE_SCREENSHOT("image-studio-empty", [](ScreenshotContext& context) { ... });
// It is written to docs/screenshots/<name>-light.png and <name>-dark.png.
#define ORVANE_SCREENSHOT(name, function)                                                                              \
    static const bool ORVANE_SCREENSHOT_CAT(orvaneScreenshot_, __COUNTER__) = registerScreenshot(name, function)
