// Renders every registered screen offscreen, in the light and the dark scheme (the main window's screens at both
// window sizes), into PNG files.
#include "Motion.h"
#include "Screenshots.h"
#include "SymbolIcon.h"
#include "TestSupport.h"
#include "Theme.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMap>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <cstdio>

namespace {
struct Screen {
    ScreenshotFunction function;
    ScreenshotSize size = ScreenshotSize::own;
};

QMap<QString, Screen>& registry() {
    static QMap<QString, Screen> screens;
    return screens;
}

void settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    do
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    while (timer.elapsed() < milliseconds);
}

// `windowSize` is empty for a picture of its own size.
bool shoot(const QString& name, const ScreenshotFunction& function, ColorScheme scheme, QSize windowSize,
           const QDir& out, const QString& workDir) {
    // Each screen starts as a pointer user finds it: keys an earlier screen typed leave no focus ring here.
    {
        QWidget pointer;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(), QPointF(), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&pointer, &press);
    }
    Theme::instance().setColorScheme(scheme);
    ScreenshotContext context;
    context.scheme = scheme;
    context.workDir = workDir;
    context.windowSize = windowSize;
    const QString fileName = name + (windowSize.isEmpty() ? QString() : QStringLiteral("-%1").arg(windowSize.width())) +
                             (scheme == ColorScheme::dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png"));
    const qsizetype placeholdersBefore = placeholderSymbols().size();
    std::unique_ptr<QWidget> widget(function(context));
    if (!widget) {
        std::fprintf(stderr, "%s: the screen builder returned nothing\n", qPrintable(fileName));
        return false;
    }
    if (!windowSize.isEmpty())
        widget->resize(windowSize);
    else if (widget->size().isEmpty() || !widget->testAttribute(Qt::WA_Resized))
        widget->adjustSize();
    widget->show();
    QWidget other;
    if (context.keyWindow) {
        widget->activateWindow();
        QApplication::setActiveWindow(widget.get());
        if (!QTest::qWaitForWindowActive(widget.get(), 2000))
            std::fprintf(stderr, "%s: the window did not become active\n", qPrintable(fileName));
    } else {
        other.resize(1, 1);
        other.show();
        other.activateWindow();
        QApplication::setActiveWindow(&other);
    }
    settle(50);
    for (const auto& step : context.afterShow) {
        step();
        settle(20);
    }
    if (context.ready) {
        QElapsedTimer timer;
        timer.start();
        while (!context.ready() && timer.elapsed() < 8000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!context.ready())
            std::fprintf(stderr, "%s: not ready after 8 s, taken as it is\n", qPrintable(fileName));
    }
    settle(100);
    // A panel that fades or slides in is taken once it has come to rest.
    QElapsedTimer moving;
    moving.start();
    while (!Motion::isAtRest(widget.get()) && moving.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QWidget* target = context.grabTarget ? context.grabTarget : widget.get();
    const QPixmap picture = target->grab();
    const QString file = out.filePath(fileName);
    const bool saved = picture.save(file, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
    widget.reset();
    context.kept.clear();
    settle(10);
    // A symbol without a drawing shows as a dashed question mark: a fault of the screen, not a look.
    const QStringList placeholders = placeholderSymbols().mid(placeholdersBefore);
    if (!placeholders.isEmpty())
        std::fprintf(stderr, "%s: symbols without a drawing (shown as \"?\"): %s\n", qPrintable(fileName),
                     qPrintable(placeholders.join(", ")));
    return saved && placeholders.isEmpty();
}
} // namespace

bool registerScreenshot(const char* name, ScreenshotFunction function, ScreenshotSize size) {
    registry().insert(QString::fromUtf8(name), Screen{std::move(function), size});
    return true;
}

void ScreenshotBackdrop::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool dark = Theme::instance().isDark();
    painter.fillRect(rect(), Theme::color(ColorRole::windowBackground, Theme::instance().colorScheme()));
    if (glow_ == Glow::corner) {
        QRadialGradient glow(QPointF(width() * 0.8, height() * 0.2), width() * 0.6);
        glow.setColorAt(0, dark ? QColor(90, 60, 160, 120) : QColor(255, 170, 90, 110));
        glow.setColorAt(1, Qt::transparent);
        painter.fillRect(rect(), glow);
    } else {
        QLinearGradient glow(rect().topLeft(), rect().bottomRight());
        glow.setColorAt(0, dark ? QColor(70, 50, 130, 90) : QColor(255, 180, 110, 90));
        glow.setColorAt(1, Qt::transparent);
        painter.fillRect(rect(), glow);
    }
}

void screenshotHover(QWidget* widget) {
    const QPointF local = QRectF(widget->rect()).center();
    QEnterEvent enter(local, widget->mapTo(widget->window(), local), widget->mapToGlobal(local));
    QApplication::sendEvent(widget, &enter);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QApplication::setApplicationName("Orvane");
    QCommandLineParser parser;
    parser.setApplicationDescription("Renders the screens of Orvane into PNG files.");
    parser.addHelpOption();
    parser.addOption({"out", "Folder for the pictures.", "folder", "docs/screenshots"});
    parser.addOption({"list", "Lists the screens and exits."});
    parser.addPositionalArgument("names", "Only the screens whose name contains one of these.");
    parser.process(app);

    if (parser.isSet("list")) {
        for (auto it = registry().cbegin(); it != registry().cend(); ++it)
            std::printf("%s%s\n", qPrintable(it.key()),
                        it->size == ScreenshotSize::window ? " (at each window size)" : "");
        return 0;
    }
    QDir out(parser.value("out"));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    // Screens run against a private settings file, store and data folder: never the user's.
    TestEnvironment environment;
    const QStringList filters = parser.positionalArguments();
    int failures = 0;
    int shots = 0;
    for (auto it = registry().cbegin(); it != registry().cend(); ++it) {
        if (!filters.isEmpty() &&
            std::none_of(filters.begin(), filters.end(), [&](const QString& f) { return it.key().contains(f); }))
            continue;
        const QList<QSize> sizes = it->size == ScreenshotSize::window ? screenshotWindowSizes() : QList<QSize>{QSize()};
        for (const QSize& size : sizes) {
            for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
                ++shots;
                if (!shoot(it.key(), it->function, scheme, size, out, environment.path("work")))
                    ++failures;
            }
        }
    }
    Theme::instance().setColorScheme(std::nullopt);
    std::printf("%d pictures, %d failed\n", shots, failures);
    return failures == 0 ? 0 : 1;
}
