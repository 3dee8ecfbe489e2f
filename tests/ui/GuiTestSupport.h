#pragma once

#include <QImage>
#include <QMimeData>
#include <QPoint>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>
#include <type_traits>

// Helpers for tests that drive real widgets offscreen the way a person would: find a control by its object
// name or accessible name, point at it, click it, type, drop files or pictures on it, and wait for what
// should appear.
namespace gui {

// The first descendant of `root` (or `root` itself) with that object name, of type T; nullptr when none.
template <typename T = QWidget> T* find(QWidget* root, const QString& objectName) {
    if (!root)
        return nullptr;
    if (root->objectName() == objectName)
        if (auto* self = qobject_cast<T*>(root))
            return self;
    return root->findChild<T*>(objectName);
}

// A control the test cannot go on without: the first visible widget of type T below `root` (or `root` itself)
// with that object name, else with that accessible name; a hidden one when no visible one exists. When there
// is none the current test fails, naming the control and the named widgets that are there, and nullptr comes
// back: leave the test function then (GUI_REQUIRE does both). For a T that is no widget (an action, a form
// model) it is the first object of type T below `root` with that object name.
QWidget* requireWidget(QWidget* root, const QString& name, const QMetaObject& type, const char* file, int line);
QObject* requireObject(QObject* root, const QString& name, const QMetaObject& type, const char* file, int line);
template <typename T = QWidget>
T* require(QObject* root, const QString& name, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    if constexpr (std::is_base_of_v<QWidget, T>)
        return static_cast<T*>(requireWidget(qobject_cast<QWidget*>(root), name, T::staticMetaObject, file, line));
    else
        return static_cast<T*>(requireObject(root, name, T::staticMetaObject, file, line));
}

// Widgets below `root` whose accessible name (or, for buttons without one, visible text) equals `name`.
QList<QWidget*> findAllByAccessibleName(QWidget* root, const QString& name);
QWidget* findByAccessibleName(QWidget* root, const QString& name);
template <typename T> T* findByAccessibleName(QWidget* root, const QString& name) {
    for (QWidget* widget : findAllByAccessibleName(root, name)) {
        if (auto* typed = qobject_cast<T*>(widget))
            return typed;
    }
    return nullptr;
}

// Every widget below `root` (including it) that is interactive and lacks an object name or an accessible
// name, described for a failure message. Empty means every control is findable.
QStringList unnamedControls(QWidget* root);

// Shows the window of `widget` and makes it the active (key) window.
bool showActive(QWidget* widget);
// Another window takes the activation, so `widget`'s window is no longer key.
bool deactivate(QWidget* widget);

// The pointer enters / leaves `widget` (sends the events a real pointer would cause).
void hover(QWidget* widget, QPoint at = QPoint(-1, -1));
void unhover(QWidget* widget);

// Left click at `at` (the centre by default); false when the widget is missing, hidden or disabled.
bool click(QWidget* widget, QPoint at = QPoint(-1, -1));
void type(QWidget* widget, const QString& text);
void key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A key press through the application, to the focus widget of the active window (shortcuts included).
void keyToFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Drag payloads.
std::unique_ptr<QMimeData> mimeWithFiles(const QStringList& paths);
std::unique_ptr<QMimeData> mimeWithImage(const QImage& image);

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};
// Drags `data` over `target` and drops it there, the way a drag from the file manager arrives.
DropResult drop(QWidget* target, const QMimeData& data, QPoint at = QPoint(-1, -1),
                Qt::DropActions actions = Qt::CopyAction);
// Drags `data` over `target` and leaves again without dropping. Returns whether the enter was accepted.
bool dragOverAndLeave(QWidget* target, const QMimeData& data, QPoint at = QPoint(-1, -1));

// Waits (processing events) until `condition` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 2000);

// Writes a small picture to `path` (PNG or JPEG by suffix), for drops and pickers.
bool writeImage(const QString& path, QSize size = QSize(64, 48), QColor color = Qt::red);

// What a person reads on a control: a label's text, a button's title (an icon button: its spoken name or help
// text), a field's or prompt's placeholder, a text view's text; else its spoken name or help text.
QString shownText(QWidget* widget);

// True once `widget` has stayed in one place on screen for a few rounds of events.
bool settled(QWidget* widget);

// A font's size in pixels, whether it was given in pixels or in points (one point a pixel at 96 dpi).
int pixelSizeOf(const QFont& font);

// Nothing when `have` is within `tolerance` of `want`, else the difference, named.
QString near(const QString& what, double have, double want, double tolerance = 1.0);

// `widget`'s rectangle in the coordinates of `root`, one of its ancestors.
QRect rectIn(const QWidget* widget, const QWidget* root);

// Makes the offscreen screen 2200 x 1400, as large as the widest window a table opens, so a popover has room on
// the side its button gives it. Call before the application is made (GUI_TEST_MAIN_ON_LARGE_SCREEN does).
bool useLargeScreen();

} // namespace gui

#define GUI_TEST_MAIN_ON_LARGE_SCREEN(TestClass)                                                                       \
    int main(int argc, char** argv) {                                                                                  \
        if (!gui::useLargeScreen())                                                                                    \
            return 1;                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

// Declares `var` as the required control, and leaves the test function when it is missing.
#define GUI_REQUIRE(var, Type, root, name)                                                                             \
    Type* var = gui::require<Type>(root, name, __FILE__, __LINE__);                                                    \
    if (!var)                                                                                                          \
    return

// Clicks a control the test needs; fails with its name when it is missing, hidden or disabled, and leaves the test
// function then.
#define GUI_CLICK(root, name)                                                                                          \
    do {                                                                                                               \
        QWidget* clicked_ = gui::require<QWidget>(root, name, __FILE__, __LINE__);                                     \
        if (!clicked_)                                                                                                 \
            return;                                                                                                    \
        QVERIFY2(gui::click(clicked_), qPrintable(QStringLiteral("could not click \"%1\"").arg(name)));                \
    } while (false)

// Runs a helper that checks as it goes, and leaves the test function when it failed.
#define GUI_CHECK(call)                                                                                                \
    do {                                                                                                               \
        call;                                                                                                          \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)
