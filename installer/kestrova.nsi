; Kestrova's Windows installer (NSIS 3, makensis). scripts/build-windows.sh calls it as
;   makensis -DVERSION=<CMake project version> -DBIN_DIR=<folder of the two exes>
;            -DOUT_FILE=<...\Kestrova-<version>-setup.exe> installer/kestrova.nsi
; Installs for the current user without administrator rights into
; %LOCALAPPDATA%\Programs\Kestrova; with /ALLUSERS, started as administrator, for all users into
; Program Files. /S installs silently, /D=FOLDER (last) picks the folder.
; The uninstaller removes the program and keeps the user's settings, log and cache: a per-user
; program keeps them in its own folder, which it can write.

!ifndef VERSION | BIN_DIR | OUT_FILE
  !error "VERSION, BIN_DIR and OUT_FILE must be given with -D"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all

!define NAME "Kestrova"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define ERROR_ELEVATION_REQUIRED 740

Name "${NAME}"
OutFile "${OUT_FILE}"
BrandingText "${NAME} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "${NAME}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

Var AllUsers

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\kestrova.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

; In both languages whatever the system's: the one thing a user must know before removing.
!define MUI_UNCONFIRMPAGE_TEXT_TOP "プログラムを削除します。設定 (Kestrova.Ini)、ログとダウンロードのキャッシュは残ります。$\r$\nThe program is removed; your settings (Kestrova.Ini), log and download cache are kept."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString NeedsAdmin ${LANG_JAPANESE} "すべてのユーザー用のインストール (/ALLUSERS) は管理者として実行してください。"
LangString NeedsAdmin ${LANG_ENGLISH} "An installation for all users (/ALLUSERS) must be run as administrator."

; The entry in the system's list of installed programs.
!macro WriteUninstallEntry ROOT
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrova.exe"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD ${ROOT} "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD ${ROOT} "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  WriteRegDWORD ${ROOT} "${UNINSTALL_KEY}" "EstimatedSize" $0
!macroend

Function .onInit
  StrCpy $AllUsers 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ALLUSERS" $1
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_ICONSTOP "$(NeedsAdmin)" /SD IDOK
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ; /D=FOLDER has already set $INSTDIR.
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\${NAME}"
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${NAME}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "${NAME}"
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/kestrova.exe"
  File "${BIN_DIR}/kestrova-cli.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\kestrova.exe"

  ${If} $AllUsers == 1
    !insertmacro WriteUninstallEntry HKLM
  ${Else}
    !insertmacro WriteUninstallEntry HKCU
  ${EndIf}
SectionEnd

Function un.onInit
  ; The entry of all users names this folder when the program was installed for all users.
  SetShellVarContext current
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\kestrova.exe"
  Delete "$INSTDIR\kestrova-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  ; The program's working folders go only when empty: settings, log and cache stay.
  RMDir "$INSTDIR\temp"
  RMDir "$INSTDIR\backup"
  RMDir "$INSTDIR\icons"
  RMDir "$INSTDIR"

  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
