#pragma once

#include <QWidget>

class QLabel;

namespace kestrova {
class SsLogging;
}

namespace kestrova::app {

/// The splash window: the product artwork and the version line.
class frmSplash : public QWidget {
    Q_OBJECT

  public:
    explicit frmSplash(const SsLogging& log, QWidget* parent = nullptr);

    /// Closes the window.
    void kill();

  private:
    void Form_Load();

    const SsLogging& log_;
    QLabel* picture_ = nullptr;
    QLabel* lblVersion = nullptr;
};

}  // namespace kestrova::app
