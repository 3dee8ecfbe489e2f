#include "FfmpegTool.h"

#include <QByteArray>
#include <QList>
#include <QStandardPaths>

#include <spawn.h>
#include <sys/wait.h>

#include <vector>

namespace FfmpegTool {

bool isAvailable() {
    return !QStandardPaths::findExecutable("ffmpeg").isEmpty();
}

bool run(const QStringList& arguments, const QString& target) {
    // posix_spawn rather than QProcess: valgrind misreads the way QProcess waits for its child.
    const QStringList all = QStringList{"ffmpeg", "-nostdin", "-v", "error", "-y"} + arguments + QStringList{target};
    QList<QByteArray> bytes;
    for (const QString& argument : all)
        bytes << argument.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace FfmpegTool
