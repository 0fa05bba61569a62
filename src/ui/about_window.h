#pragma once

#include <filesystem>

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrova {
class SsLogging;
}

namespace kestrova::ui {

/// The version window: the version line, the folder the program runs from and the
/// system-information button.
class frmAbout : public QDialog {
    Q_OBJECT

  public:
    frmAbout(const std::filesystem::path& appFolder, const SsLogging& log,
             QWidget* parent = nullptr);

    void cmdOK_Click();
    void cmdSysInfo_Click();

  private:
    void Form_Load(const std::filesystem::path& appFolder);
    /// Starts the platform's system-information tool, or says that there is none.
    void StartSysInfo();

    const SsLogging& log_;
    QLabel* picIcon = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};

}  // namespace kestrova::ui
