#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

// A real file system of a few kilobytes, mounted for the test's life (tmpfs; tests run as root). Writes to it fail
// the way a full disk fails: with ENOSPC, possibly after part of the data went in.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes) {
        if (!dir_.isValid())
            return;
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0;
        if (!mounted_)
            error_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool isMounted() const { return mounted_; }
    // Why the mount failed (tests need root to mount).
    QString error() const { return error_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

    // Fills what is left with a ballast file, keeping `keep` bytes free; freeSpace() removes it again.
    void fill(qint64 keep = 0) {
        QFile ballast(filePath(QStringLiteral(".ballast")));
        if (!ballast.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'x');
        while (ballast.write(block) == block.size()) {
        }
        ballast.close();
        if (keep > 0)
            ballast.resize(qMax<qint64>(0, ballast.size() - keep - 4096));
    }
    void freeSpace() { QFile::remove(filePath(QStringLiteral(".ballast"))); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString error_;
};
