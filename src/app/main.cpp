#include "DeferredIconStyle.h"
#include "FirstPaint.h"
#include "OrvaneApp.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(new DeferredIconStyle);
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationDisplayName("Orvane");
    QApplication::setApplicationVersion(ORVANE_VERSION);
    QApplication::setDesktopFileName("orvane");

    WidgetDialogs dialogs;
    Dialogs::setCurrent(&dialogs);

    OrvaneApp orvane;
    QMainWindow* window = orvane.showMainWindow();
    // Set once the window shows: the theme lookup reads the index of every installed icon theme.
    FirstPaint::of(window).then(
        &app, [] { QApplication::setWindowIcon(QIcon::fromTheme("orvane", QIcon(":/icons/orvane.svg"))); });
    FirstPaint::reportIfRequested(window);
    const int status = app.exec();
    Dialogs::setCurrent(nullptr);
    return status;
}
