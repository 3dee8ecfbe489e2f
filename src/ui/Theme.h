#pragma once

#include "BorderColor.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>

#include <optional>

// The named colours of the look. Text roles are translucent over their background, like the label colours of
// the system the studio was drawn for.
enum class ColorRole {
    primary,
    secondary,
    tertiary,
    quaternary,
    controlBackground,
    separator,
    windowBackground,
    textBackground,
    accent,
    destructive,
    orange,
    yellow,
    blue,
    green,
    red,
    gray,
    cyan,
    shadow,
    contrast, // white in the dark scheme, black in the light one (captions on pictures)
};

// Process-wide look: colour scheme, colour roles, fonts, radii and spacing. By default the scheme follows the
// application palette; screenshots and tests force one, which also installs the matching palette.
class Theme final : public QObject {
    Q_OBJECT
public:
    static Theme& instance();

    ColorScheme colorScheme() const;
    bool isDark() const { return colorScheme() == ColorScheme::dark; }
    // nullopt follows the application palette again (and restores the palette the application started with).
    void setColorScheme(std::optional<ColorScheme> forced);

    // The scheme `widget` is drawn in: the forced one, otherwise the one of its palette. Painting code reads
    // this; the application-wide scheme above is for code that follows `changed`.
    static ColorScheme colorScheme(const QWidget* widget);

    QColor color(ColorRole role) const { return color(role, colorScheme()); }
    static QColor color(ColorRole role, ColorScheme scheme);
    static QColor color(ColorRole role, const QWidget* widget) { return color(role, colorScheme(widget)); }
    static QPalette palette(ColorScheme scheme);

    // The system font at a size in points of the look (one point is one device-independent pixel).
    static QFont font(double pointSize, QFont::Weight weight = QFont::Normal);
    // Reads the system's font configuration into the toolkit's font database, which every thread shares, with the
    // fallbacks of the window's font family. Run on a worker while the store opens: the first text measured finds
    // them ready. The fonts themselves are made per thread.
    static void prepareFonts();

    // Corner radii and spacings that recur across the views.
    static constexpr double smallRadius = 8;
    static constexpr double mediumRadius = 12;
    static constexpr double largeRadius = 16;
    static constexpr double panelRadius = 24;
    static constexpr int spacing = 8;
    static constexpr int padding = 16;

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Theme();
    std::optional<ColorScheme> forced_;
    std::optional<QPalette> originalPalette_;
    bool switching_ = false;
    bool watching_ = false;
};

// Returns `color` with its alpha multiplied by `opacity`.
QColor withOpacity(QColor color, double opacity);
