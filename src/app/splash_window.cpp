#include "app/splash_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "base/ss_logging.h"
#include "services/program_texts.h"
#include "ui/artwork.h"
#include "ui/look.h"
#include "ui/qt_text.h"

namespace kestrova::app {

frmSplash::frmSplash(const SsLogging& log, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), log_(log) {
    setObjectName(QStringLiteral("frmSplash"));
    const QSize size(480, 270);
    setFixedSize(size);
    picture_ = new QLabel(this);
    picture_->setPixmap(ui::productArtwork(size));
    picture_->setGeometry(rect());
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setFont(ui::proportionalFont(11.25));
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = lblVersion->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    lblVersion->setPalette(palette);
    lblVersion->setGeometry(size.width() - 220, size.height() - 34, 200, 24);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    Form_Load();
}

void frmSplash::Form_Load() {
    log_.InfoLog("frmSplash:Form_Load");
    lblVersion->setText(ui::qtText(versionLine()));
}

void frmSplash::kill() {
    log_.InfoLog("frmSplash:kill");
    close();
}

}  // namespace kestrova::app
