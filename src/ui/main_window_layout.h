#pragma once

#include <array>
#include <string_view>

#include <QList>
#include <QPoint>
#include <QRect>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolBar;
class QWidget;

namespace kestrova::ui {

/// The designed client area of the main window, in twips.
inline constexpr int kClientWidth = 14565;
inline constexpr int kClientHeight = 9330;
/// Below the designed area, in pixels: the progress of an export and its stop button.
inline constexpr int kStatusHeight = 28;

/// Where the design puts one control: a rectangle in twips within its parent.
struct DesignedRect {
    std::string_view name;    ///< the control's object name
    std::string_view parent;  ///< "frmTFLink" (the window) or "Fra_TFJVOut" (the frame)
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

/// The main window's designed controls, in the order they are made: whatever comes later
/// lies on top.
inline constexpr auto kMainWindowLayout = std::to_array<DesignedRect>({
    {"Shape4", "frmTFLink", 5160, 840, 9255, 1935},
    {"Shape3", "frmTFLink", 5160, 2880, 9255, 3255},
    {"Shape2", "frmTFLink", 5160, 6240, 9255, 1095},
    {"Label2", "frmTFLink", 120, 840, 4935, 495},
    {"Label1", "frmTFLink", 120, 4080, 4935, 495},
    {"lbl_TTL1", "frmTFLink", 120, 960, 4215, 375},
    {"lbl_TTL2", "frmTFLink", 120, 4200, 4935, 495},
    {"Lbl_Help_3", "frmTFLink", 5280, 960, 7365, 495},
    {"Lbl_Help_4", "frmTFLink", 5280, 1320, 9045, 495},
    {"Lbl_Help_7", "frmTFLink", 5280, 1680, 9045, 495},
    {"Lbl_Help_5", "frmTFLink", 5280, 2040, 7605, 495},
    {"Lbl_Help_6", "frmTFLink", 5280, 2400, 7605, 495},
    {"Lbl_Help_1", "frmTFLink", 5280, 3000, 6045, 375},
    {"Lbl_Help_2", "frmTFLink", 11400, 3480, 2925, 495},
    {"Lbl_Help_0", "frmTFLink", 11280, 3720, 2925, 495},
    {"Lbl_Help_8", "frmTFLink", 11280, 3960, 2925, 495},
    {"ToBar1", "frmTFLink", 0, 0, kClientWidth, 615},
    {"cmd_TFJVOut", "frmTFLink", 11280, 50, 2055, 530},
    {"lst_ThisW", "frmTFLink", 120, 1320, 4935, 2610},
    {"cmd_On", "frmTFLink", 2520, 4155, 1000, 350},
    {"cmd_Off", "frmTFLink", 3840, 4155, 1000, 350},
    {"lst_DataSel", "frmTFLink", 120, 4560, 4935, 4650},
    {"lst_YKcom", "frmTFLink", 5280, 3360, 6015, 2610},
    {"Fra_TFJVOut", "frmTFLink", 5280, 6360, 9015, 855},
    {"lblTFJVTLT", "Fra_TFJVOut", 120, 360, 5895, 255},
    {"txt_TFJVPath", "Fra_TFJVOut", 6000, 280, 1815, 375},
    {"cmd_TFJV_SGN", "Fra_TFJVOut", 7920, 240, 975, 495},
    {"lst_Log", "frmTFLink", 5160, 7560, 9255, 1635},
});

/// The table's entry for `name`; throws std::out_of_range for a name it does not hold.
const DesignedRect& designedRect(std::string_view name);
/// A designed rectangle in pixels at `dpi`.
QRect designedPixels(const DesignedRect& rect, double dpi);

/// The main window's controls, made and placed by buildMainWindowControls.
struct MainWindowControls {
    QToolBar* ToBar1 = nullptr;
    QPushButton* cmd_TFJVOut = nullptr;
    QLabel* lbl_TTL1 = nullptr;
    QListWidget* lst_ThisW = nullptr;
    QLabel* lbl_TTL2 = nullptr;
    QPushButton* cmd_On = nullptr;
    QPushButton* cmd_Off = nullptr;
    QListWidget* lst_DataSel = nullptr;
    QListWidget* lst_YKcom = nullptr;
    QGroupBox* Fra_TFJVOut = nullptr;
    QLabel* lblTFJVTLT = nullptr;
    QLineEdit* txt_TFJVPath = nullptr;
    QPushButton* cmd_TFJV_SGN = nullptr;
    QListWidget* lst_Log = nullptr;
    std::array<QLabel*, 9> Lbl_Help{};
    QProgressBar* prg_Export = nullptr;
    QLabel* lbl_Progress = nullptr;
    QPushButton* cmd_Stop = nullptr;
};

/// Makes the controls as children of `window` (which it sizes: the designed client area and
/// the status line below it), with their fonts, colours and texts, placed from
/// kMainWindowLayout at the window's dpi. Nothing is connected to the window.
MainWindowControls buildMainWindowControls(QWidget& window);

/// Fills the toolbar (after clearing it): quit, a gap, version information, online help and
/// the data description, each action named by its key ("End", "VarInfo", "Help", "Help2").
QList<QAction*> fillToolbar(QToolBar& bar);

/// Where `window` opens unless a saved position says otherwise: centred on the primary
/// screen, its top left corner on that screen.
QPoint designedPosition(const QWidget& window);
/// True when enough of the title bar of a window at `frame` lies on a screen to grab it.
bool reachable(const QRect& frame);

}  // namespace kestrova::ui
