#pragma once

#include <atomic>

#include <QObject>
#include <QPointer>
#include <QString>

#include "base/user_interface.h"

class QWidget;

namespace kestrova::ui {

/// The core's UserInterface in a Qt program. Safe to call from any thread: activity lines
/// travel as queued signals to the GUI thread, in order; a message box is shown on the GUI
/// thread while the calling worker waits for the answer. breathe() lets the window paint
/// when it is called on the GUI thread and does nothing on a worker.
class QtUserInterface : public QObject, public UserInterface {
    Q_OBJECT

  public:
    explicit QtUserInterface(QObject* parent = nullptr);

    /// The window that owns the message boxes.
    void setWindow(QWidget* window) { window_ = window; }
    /// From now on message boxes are not shown: the window is going away, and the core has
    /// logged what it would have said.
    void silence() { silent_ = true; }

    void clearActivity() override;
    void addActivity(std::string_view line) override;
    Answer question(std::string_view prompt) override;
    void info(std::string_view prompt) override;
    void warning(std::string_view text) override;
    void breathe() override;

  signals:
    void activityCleared();
    void activityAdded(const QString& line);

  private:
    Answer ask(int kind, std::string_view text);

    QPointer<QWidget> window_;
    std::atomic<bool> silent_ = false;
};

}  // namespace kestrova::ui
