#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

namespace kestrova::ui {

/// One job at a time on a thread of its own, for an object on the GUI thread. The job gets
/// copies of what it reads: it shares nothing with its owner but what the owner hands it.
class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { waitSilently(); }

    bool isRunning() const { return thread_ != nullptr; }

    /// Runs `job` on a new thread; once it has returned and its thread has been joined,
    /// `ended` runs on the thread of `owner` (not at all when `owner` is gone by then).
    void start(std::function<void()> job, QObject* owner, std::function<void()> ended) {
        silenced_ = false;
        thread_.reset(QThread::create(std::move(job)));
        QObject::connect(thread_.get(), &QThread::finished, owner,
                         [this, ended = std::move(ended)] {
                             // A call queued before waitSilently() began is not delivered.
                             if (silenced_ || !thread_) {
                                 return;
                             }
                             thread_->wait();
                             thread_.reset();
                             ended();
                         });
        thread_->start();
    }

    /// For the owner's destructor: waits for the job without calling its `ended`, while the
    /// GUI thread keeps serving events (the job may be waiting for a message box it asked
    /// for). Whatever the job posts to the owner meanwhile is delivered.
    void waitSilently() {
        if (!thread_) {
            return;
        }
        silenced_ = true;
        while (!thread_->wait(10)) {
            QCoreApplication::processEvents();
        }
        thread_.reset();
    }

  private:
    std::unique_ptr<QThread> thread_;
    bool silenced_ = false;
};

}  // namespace kestrova::ui
