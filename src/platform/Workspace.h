#pragma once

#include <QString>
#include <QStringList>

// The desktop around the program: showing files in the file manager and moving them to the trash. The
// application uses the desktop's own; tests install a recording one.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the files selected in the file manager. Returns at once.
    virtual void revealInFileManager(const QStringList& paths) = 0;
    // True when the file went to the trash; otherwise `reason` (when given) holds the system's reason.
    virtual bool moveToTrash(const QString& path, QString* reason) = 0;

    static Workspace& current();
    // The caller keeps ownership; nullptr restores the desktop's.
    static void setCurrent(Workspace* workspace);
};

// Asks the freedesktop file manager service to show the items over D-Bus; where no such service answers,
// opens the folders that hold them instead.
class DesktopWorkspace final : public Workspace {
public:
    explicit DesktopWorkspace(QString service = QStringLiteral("org.freedesktop.FileManager1"));
    void revealInFileManager(const QStringList& paths) override;
    bool moveToTrash(const QString& path, QString* reason) override;

    // The folders opened when the file manager cannot be asked: each distinct parent folder, in order.
    static QStringList foldersOf(const QStringList& paths);

private:
    QString service_;
};
