#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;
class VirtualDisplay;

// What the day runs in: a fresh home folder (HOME and the XDG folders below one temporary root) and a
// virtual X server of its own. Set up before the application object exists, torn down after it is gone.
class DayRig {
public:
    DayRig();
    ~DayRig();
    DayRig(const DayRig&) = delete;
    DayRig& operator=(const DayRig&) = delete;

    // Points the environment at the fresh home and starts Xvfb; false (with `error()`) when it cannot.
    bool start();
    QString error() const { return error_; }

    QString root() const { return root_; }
    QString home() const { return root_ + "/home"; }
    QString configFile() const;  // the user defaults (XDG config)
    QString dataFolder() const;  // the application's data folder (XDG data)
    QString trashFolder() const; // the desktop trash of the fresh home
    QString display() const;

private:
    QString root_;
    QString error_;
    std::unique_ptr<VirtualDisplay> display_;
};

namespace day {

// Writes the window's picture to `<folder>/day-NN-<step>.png` when a folder is set (ORVANE_DAY_SCREENSHOTS),
// else below the build folder. Returns the path written, empty on failure.
QString capture(QWidget* window, int number, const QString& step);

// Interactive accessible objects below `root` that lack a role or a name, described for a failure message.
QStringList unnamedAccessibles(QWidget* root);
// Visible widgets that take the keyboard focus but give a screen reader no role or no name.
QStringList unnamedFocusableWidgets(QWidget* root);
// How many interactive accessible objects the walk met (so an empty walk cannot pass unnoticed).
int interactiveAccessibles(QWidget* root);

} // namespace day
