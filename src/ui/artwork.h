#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace kestrova::ui {

/// ImgLst: the toolbar pictures by key ("I_END", "I_SETTING", "I_INFO", "I_HELP",
/// "I_HELP2"), drawn here; a null icon for any other key.
QIcon toolbarImage(const QString& key);

/// The small folder picture of the host-folder button.
QPixmap folderPicture(int size);

/// The product artwork of the splash and version windows.
QPixmap productArtwork(QSize size);

}  // namespace kestrova::ui
