// The floor a start is measured against: the smallest Qt Widgets window, a main window the size of the
// application's with one line of text, built like the application and reporting its first paint the same way.

#include "FirstPaint.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel("Orvane", &window));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.resize(QSize(1280, 820).boundedTo(screen->availableGeometry().size()).expandedTo(QSize(1000, 700)));
    window.show();
    FirstPaint::reportIfRequested(&window);
    return app.exec();
}
