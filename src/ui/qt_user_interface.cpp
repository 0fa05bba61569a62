#include "ui/qt_user_interface.h"

#include <QCoreApplication>
#include <QThread>
#include <QWidget>

#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace kestrova::ui {

QtUserInterface::QtUserInterface(QObject* parent) : QObject(parent) {}

void QtUserInterface::clearActivity() {
    emit activityCleared();
}

void QtUserInterface::addActivity(std::string_view line) {
    emit activityAdded(qtText(line));
}

Answer QtUserInterface::question(std::string_view prompt) {
    return ask(static_cast<int>(BoxKind::Question), prompt);
}

void QtUserInterface::info(std::string_view prompt) {
    ask(static_cast<int>(BoxKind::Info), prompt);
}

void QtUserInterface::warning(std::string_view text) {
    ask(static_cast<int>(BoxKind::Warning), text);
}

void QtUserInterface::breathe() {
    if (QThread::currentThread() == thread()) {
        // Paint and take timers, but no clicks: the caller is in the middle of something.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

Answer QtUserInterface::ask(int kind, std::string_view text) {
    if (silent_) {
        return Answer::No;
    }
    Answer answer = Answer::No;
    const QString shown = qtText(text);
    auto showBox = [&] {
        // Silenced while the request travelled to the GUI thread: say nothing after all.
        if (!silent_) {
            answer = Dialogs::show(window_, static_cast<BoxKind>(kind), shown);
        }
    };
    if (QThread::currentThread() == thread()) {
        showBox();
    } else {
        QMetaObject::invokeMethod(this, showBox, Qt::BlockingQueuedConnection);
    }
    return answer;
}

}  // namespace kestrova::ui
