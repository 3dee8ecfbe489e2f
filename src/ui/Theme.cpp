#include "Theme.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>

namespace {
QColor rgba(int r, int g, int b, double alpha) {
    QColor c(r, g, b);
    c.setAlphaF(float(alpha));
    return c;
}
} // namespace

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

Theme& Theme::instance() {
    static Theme* theme = new Theme; // lives until the process ends; never destroyed after QApplication
    // Follows palette changes from the moment an application exists.
    if (!theme->watching_ && QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(theme);
        theme->watching_ = true;
    }
    return *theme;
}

Theme::Theme() = default;

bool Theme::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange && !forced_ &&
        !switching_)
        emit changed();
    return QObject::eventFilter(watched, event);
}

ColorScheme Theme::colorScheme() const {
    if (forced_)
        return *forced_;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return ColorScheme::light;
    return QApplication::palette().color(QPalette::Window).lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
}

void Theme::setColorScheme(std::optional<ColorScheme> forced) {
    if (forced == forced_)
        return;
    const bool hasApp = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (hasApp && forced && !originalPalette_)
        originalPalette_ = QApplication::palette();
    forced_ = forced;
    if (hasApp) {
        switching_ = true;
        if (forced)
            QApplication::setPalette(palette(*forced));
        else if (originalPalette_)
            QApplication::setPalette(*std::exchange(originalPalette_, std::nullopt));
        // Widgets receive the new palette through posted events; deliver them now so that whatever is built or
        // painted next sees the new scheme.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::ApplicationPaletteChange);
        switching_ = false;
    }
    emit changed();
}

ColorScheme Theme::colorScheme(const QWidget* widget) {
    const Theme& theme = instance();
    return theme.forced_ ? *theme.forced_ : colorSchemeOf(widget);
}

QColor Theme::color(ColorRole role, ColorScheme scheme) {
    const bool dark = scheme == ColorScheme::dark;
    switch (role) {
    case ColorRole::primary:
        return dark ? rgba(255, 255, 255, 0.85) : rgba(0, 0, 0, 0.85);
    case ColorRole::secondary:
        return dark ? rgba(255, 255, 255, 0.55) : rgba(0, 0, 0, 0.5);
    case ColorRole::tertiary:
        return dark ? rgba(255, 255, 255, 0.25) : rgba(0, 0, 0, 0.26);
    case ColorRole::quaternary:
        return dark ? rgba(255, 255, 255, 0.1) : rgba(0, 0, 0, 0.1);
    case ColorRole::controlBackground:
        return dark ? QColor(30, 30, 30) : QColor(255, 255, 255);
    case ColorRole::separator:
        return systemSeparatorColor(scheme);
    case ColorRole::windowBackground:
        return dark ? QColor(40, 40, 42) : QColor(236, 236, 236);
    case ColorRole::textBackground:
        return dark ? QColor(30, 30, 30) : QColor(255, 255, 255);
    case ColorRole::accent:
    case ColorRole::blue:
        return dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    case ColorRole::destructive:
    case ColorRole::red:
        return dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
    case ColorRole::orange:
        return dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
    case ColorRole::yellow:
        return dark ? QColor(255, 214, 10) : QColor(255, 204, 0);
    case ColorRole::green:
        return dark ? QColor(48, 209, 88) : QColor(40, 205, 65);
    case ColorRole::gray:
        return dark ? QColor(152, 152, 157) : QColor(142, 142, 147);
    case ColorRole::cyan:
        return QColor(0x32, 0xD2, 0xE6);
    case ColorRole::shadow:
        return rgba(0, 0, 0, 1.0);
    case ColorRole::contrast:
        return dark ? QColor(Qt::white) : QColor(Qt::black);
    }
    return {};
}

QPalette Theme::palette(ColorScheme scheme) {
    const auto c = [scheme](ColorRole role) { return color(role, scheme); };
    const bool dark = scheme == ColorScheme::dark;
    // Palette roles want opaque colours: blend the translucent text roles over the window.
    const auto over = [](QColor top, QColor bottom) {
        const double a = top.alphaF();
        return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                                float(top.greenF() * a + bottom.greenF() * (1 - a)),
                                float(top.blueF() * a + bottom.blueF() * (1 - a)));
    };
    const QColor window = c(ColorRole::windowBackground);
    const QColor base = c(ColorRole::textBackground);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, over(c(ColorRole::primary), window));
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, dark ? QColor(44, 44, 46) : QColor(245, 245, 245));
    p.setColor(QPalette::Text, over(c(ColorRole::primary), base));
    p.setColor(QPalette::PlaceholderText, over(c(ColorRole::tertiary), base));
    p.setColor(QPalette::Button, dark ? QColor(58, 58, 60) : QColor(250, 250, 250));
    p.setColor(QPalette::ButtonText, over(c(ColorRole::primary), window));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, c(ColorRole::accent));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, c(ColorRole::accent));
    p.setColor(QPalette::ToolTipBase, dark ? QColor(50, 50, 52) : QColor(255, 255, 240));
    p.setColor(QPalette::ToolTipText, dark ? QColor(230, 230, 230) : QColor(20, 20, 20));
    p.setColor(QPalette::Light, dark ? QColor(70, 70, 72) : QColor(255, 255, 255));
    p.setColor(QPalette::Midlight, dark ? QColor(60, 60, 62) : QColor(230, 230, 230));
    p.setColor(QPalette::Mid, dark ? QColor(50, 50, 52) : QColor(200, 200, 200));
    p.setColor(QPalette::Dark, dark ? QColor(20, 20, 20) : QColor(160, 160, 160));
    p.setColor(QPalette::Shadow, Qt::black);
    const QColor disabledText = over(c(ColorRole::tertiary), window);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

void Theme::prepareFonts() {
    QFontDatabase::families();
    QFontMetricsF(QApplication::font()).height();
}

QFont Theme::font(double pointSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    // Sizes of the look are device-independent pixels; the toolkit's points would come out a third larger.
    font.setPixelSize(std::max(1, int(std::lround(pointSize))));
    font.setWeight(weight);
    return font;
}
