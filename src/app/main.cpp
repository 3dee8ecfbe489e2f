#include "DeferredIconStyle.h"
#include "OrvaneApp.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(new DeferredIconStyle);
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationDisplayName("Orvane");
    QApplication::setApplicationVersion(ORVANE_VERSION);
    QApplication::setDesktopFileName("orvane");
    QApplication::setWindowIcon(QIcon::fromTheme("orvane", QIcon(":/icons/orvane.svg")));

    WidgetDialogs dialogs;
    Dialogs::setCurrent(&dialogs);

    OrvaneApp orvane;
    orvane.showMainWindow();
    const int status = app.exec();
    Dialogs::setCurrent(nullptr);
    return status;
}
