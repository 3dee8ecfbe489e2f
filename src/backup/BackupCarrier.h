#pragma once

#include "BackupPictures.h"

#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Carries pictures of one pictures folder over into another on threads of their own: a hard link where the file
// system has them, a copy where it has not. A carried file is only ever linked or copied, never opened for
// writing, so the folders that share it cannot change under each other.
class BackupCarrier {
public:
    // Starts at once. `links` false copies every picture (a file system known to have no hard links).
    BackupCarrier(const QString& from, const QString& to, const QList<BackupPictures::Key>& pictures, bool links);
    ~BackupCarrier();
    BackupCarrier(const BackupCarrier&) = delete;
    BackupCarrier& operator=(const BackupCarrier&) = delete;

    // Waits until every picture is carried over; returns the ones `from` did not hold (or held as something else
    // than a file of its own). Throws BackupError when one could not be carried over.
    QSet<BackupPictures::Key> finish();

private:
    struct Item {
        int folder; // in BackupPictures::folders
        std::string name;
        BackupPictures::Key key;
    };

    void run();
    void fail(const Item& item, int error);
    void join();

    std::vector<int> fromFolders_;
    std::vector<int> toFolders_;
    std::vector<Item> items_;
    std::vector<char> missing_; // each written by the one thread that took the item
    std::atomic<size_t> next_{0};
    std::atomic<bool> links_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    QString failure_;
    std::vector<std::thread> threads_;
};
