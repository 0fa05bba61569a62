// Takes the single-instance lock and dies without releasing it, as a crashed window does:
//   lock_holder LOCKFILE
#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QLockFile>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        return 2;
    }
    QLockFile lock(QString::fromLocal8Bit(argv[1]));
    if (!lock.tryLock(0)) {
        return 1;
    }
    std::raise(SIGKILL);
    return 0;
}
