#include "ui/about_window.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "base/errors.h"
#include "base/ss_logging.h"
#include "services/program_texts.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/look.h"
#include "ui/qt_text.h"
#include "ui/system_info.h"

namespace kestrova::ui {

namespace {

constexpr double kFontPoints = 11.25;

}  // namespace

frmAbout::frmAbout(const std::filesystem::path& appFolder, const SsLogging& log, QWidget* parent)
    : QDialog(parent), log_(log) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(proportionalFont(kFontPoints));
    const QSize art(320, 160);
    setFixedSize(art.width() + 24, art.height() + 100);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(productArtwork(art));
    picIcon->setGeometry(12, 12, art.width(), art.height());
    lblVersion = new QLabel(QStringLiteral("Ver 1.0.0"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(12, art.height() + 22, art.width(), 24);

    cmdSysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(12, height() - 44, 150, 32);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setGeometry(width() - 12 - 110, height() - 44, 110, 32);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    Form_Load(appFolder);
}

void frmAbout::Form_Load(const std::filesystem::path& appFolder) {
    log_.InfoLog("frmAbout:Form_Load");
    setWindowTitle(QStringLiteral("バージョン＆ユーザー情報 [") +
                   QDir::toNativeSeparators(qtPath(appFolder)) + QStringLiteral("]"));
    lblVersion->setText(qtText(versionLine()));
}

void frmAbout::cmdOK_Click() {
    log_.InfoLog("frmAbout:CmdOK_Click");
    close();
}

void frmAbout::cmdSysInfo_Click() {
    log_.InfoLog("frmAbout:cmdSysInfo_Click");
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    const auto tool = systemInfoTool();
    if (tool && QProcess::startDetached(*tool, {})) {
        return;
    }
    Dialogs::show(this, BoxKind::Plain, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
}

}  // namespace kestrova::ui
