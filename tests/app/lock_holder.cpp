// Takes the single-instance lock as another window program would:
//   lock_holder LOCKFILE         dies without releasing it, as a crashed window does (exit 3)
//   lock_holder LOCKFILE hold    holds it, says "locked", and waits to be killed
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include <QCoreApplication>
#include <QLockFile>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        return 2;
    }
    QLockFile lock(QString::fromLocal8Bit(argv[1]));
    if (!lock.tryLock(0)) {
        return 1;
    }
    if (argc == 2) {
        std::_Exit(3);  // no destructor: the lock file stays behind
    }
    std::cout << "locked" << std::endl;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
