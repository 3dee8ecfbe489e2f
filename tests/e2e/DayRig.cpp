#include "DayRig.h"

#include "VirtualDisplay.h"

#include <QAccessible>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef ORVANE_DAY_BUILD_DIR
#define ORVANE_DAY_BUILD_DIR "."
#endif

DayRig::DayRig() = default;

DayRig::~DayRig() {
    display_.reset();
    if (!root_.isEmpty() && qEnvironmentVariableIsEmpty("ORVANE_DAY_KEEP"))
        QDir(root_).removeRecursively();
}

QString DayRig::display() const {
    return display_ ? display_->display() : QString();
}

QString DayRig::configFile() const {
    return home() + "/.config/Orvane/Orvane.ini";
}

QString DayRig::dataFolder() const {
    return home() + "/.local/share/Orvane";
}

QString DayRig::trashFolder() const {
    return home() + "/.local/share/Trash/files";
}

bool DayRig::start() {
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/orvane-day-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error_ = QStringLiteral("no temporary folder: %1").arg(std::strerror(errno));
        return false;
    }
    root_ = QString::fromLocal8Bit(pattern);
    const QString homeDir = home();
    for (const char* sub : {"/.config", "/.local/share", "/.cache", "/runtime"})
        QDir().mkpath(homeDir + sub);
    QFile::setPermissions(homeDir + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", homeDir.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (homeDir + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (homeDir + "/.local/share").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (homeDir + "/.cache").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (homeDir + "/runtime").toLocal8Bit());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS"); // no desktop services of the machine running the test

    display_ = std::make_unique<VirtualDisplay>();
    if (!display_->started()) {
        error_ = display_->error();
        return false;
    }
    return true;
}

namespace day {

QString capture(QWidget* window, int number, const QString& step) {
    QString folder = qEnvironmentVariable("ORVANE_DAY_SCREENSHOTS");
    if (folder.isEmpty())
        folder = QStringLiteral(ORVANE_DAY_BUILD_DIR) + "/day-screenshots";
    QDir().mkpath(folder);
    const QString path = QStringLiteral("%1/day-%2-%3.png").arg(folder).arg(number, 2, 10, QChar('0')).arg(step);
    const QPixmap picture = window->grab();
    if (picture.isNull() || !picture.save(path, "PNG"))
        return {};
    return path;
}

namespace {

bool isInteractive(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::Dial:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::ButtonDropGrid:
    case QAccessible::Link:
    case QAccessible::PageTab:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

template <typename Visit> void walk(QAccessibleInterface* node, int depth, Visit&& visit) {
    if (!node || depth > 64)
        return;
    const QAccessible::State state = node->state();
    if (state.invisible)
        return;
    visit(node);
    const int count = node->childCount();
    for (int i = 0; i < count; ++i)
        walk(node->child(i), depth + 1, visit);
}

} // namespace

QStringList unnamedAccessibles(QWidget* root) {
    QStringList missing;
    walk(QAccessible::queryAccessibleInterface(root), 0, [&missing](QAccessibleInterface* node) {
        const QAccessible::Role role = node->role();
        if (!isInteractive(role) || node->state().disabled)
            return;
        if (node->text(QAccessible::Name).trimmed().isEmpty()) {
            QObject* object = node->object();
            missing << QStringLiteral("%1 '%2' (role %3)")
                           .arg(object ? object->metaObject()->className() : "?",
                                object ? object->objectName() : QString())
                           .arg(int(role));
        }
    });
    return missing;
}

QStringList unnamedFocusableWidgets(QWidget* root) {
    QStringList missing;
    QList<QWidget*> all{root};
    all << root->findChildren<QWidget*>();
    for (QWidget* widget : all) {
        if (!widget->isVisible() || !widget->isEnabled() || !(widget->focusPolicy() & Qt::TabFocus))
            continue;
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(widget);
        const QAccessible::Role role = node ? node->role() : QAccessible::NoRole;
        const QString name = node ? node->text(QAccessible::Name).trimmed() : QString();
        // Scroll areas take the focus to scroll; their content carries the names.
        if (role == QAccessible::Client && widget->inherits("QAbstractScrollArea"))
            continue;
        if (role == QAccessible::NoRole || name.isEmpty())
            missing << QStringLiteral("%1 '%2' (role %3, name '%4')")
                           .arg(widget->metaObject()->className(), widget->objectName())
                           .arg(int(role))
                           .arg(name);
    }
    return missing;
}

int interactiveAccessibles(QWidget* root) {
    int count = 0;
    walk(QAccessible::queryAccessibleInterface(root), 0, [&count](QAccessibleInterface* node) {
        if (isInteractive(node->role()))
            ++count;
    });
    return count;
}

} // namespace day
