; The Windows installer of the KTM-520 data manager, made by makensis (NSIS 3, Unicode).
; Defines given by the build: VERSION, DEPLOYED (the deployed folder), LISTS (the folder of
; install-files.nsh and uninstall-files.nsh), LICENSE_FILE, OUTFILE.
; Installs for the current user or, with administrator rights, for every user of the machine:
; the page asks, /CurrentUser or /AllUsers choose it on the command line, /S runs it silent.
; A 64-bit installer for a 64-bit program: it runs on every Windows the program runs on.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "KTM-520 Data Manager"
!define PRODUCT_KEY "Varnok KTM-520"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_KEY}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "Software\Varnok\KTM-520 Installer"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "Software\Varnok\KTM-520 Installer"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh

Name "$(ProductName)"
OutFile "${OUTFILE}"
BrandingText "Varnok ${VERSION}"

!define MUI_ABORTWARNING
!define MUI_LANGDLL_ALLLANGUAGES
!define MUI_LANGDLL_REGISTRY_ROOT SHCTX
!define MUI_LANGDLL_REGISTRY_KEY "Software\Varnok\KTM-520 Installer"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Language"
!define MUI_FINISHPAGE_RUN "$INSTDIR\ktm520.exe"
!define MUI_FINISHPAGE_TEXT "$(FinishText)"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; Chinese first: it is the installer's language unless English is chosen.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString ProductName ${LANG_SIMPCHINESE} "KTM-520 振弦读数仪数据管理"
LangString ProductName ${LANG_ENGLISH} "${PRODUCT}"
LangString ShortcutName ${LANG_SIMPCHINESE} "KTM-520 数据管理"
LangString ShortcutName ${LANG_ENGLISH} "KTM-520 Data Manager"
LangString UninstallName ${LANG_SIMPCHINESE} "卸载 KTM-520 数据管理"
LangString UninstallName ${LANG_ENGLISH} "Uninstall KTM-520 Data Manager"
LangString FinishText ${LANG_SIMPCHINESE} "已安装 KTM-520 数据管理。$\r$\n$\r$\n用数据线连接读数仪后，在“设备管理器”的“端口 (COM 和 LPT)”下可以看到它的串口号（例如 COM3），在程序的“串口”中选择该串口。"
LangString FinishText ${LANG_ENGLISH} "The KTM-520 Data Manager is installed.$\r$\n$\r$\nWith the readout connected by its cable, the Device Manager shows its port under $\"Ports (COM & LPT)$\" (for example COM3): choose that port in the program."

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Varnok"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Varnok, GPL-3.0-or-later"

Function .onInit
  !insertmacro MULTIUSER_INIT
  StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  !include "${LISTS}/install-files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\KTM-520"
  CreateShortcut "$SMPROGRAMS\KTM-520\$(ShortcutName).lnk" "$INSTDIR\ktm520.exe" "" "$INSTDIR\ktm520.exe" 0
  CreateShortcut "$SMPROGRAMS\KTM-520\$(UninstallName).lnk" "$INSTDIR\uninstall.exe"

  ; Where the uninstaller finds the shortcuts' names, whatever language it runs in.
  WriteRegStr SHCTX "Software\Varnok\KTM-520 Installer" "Shortcut" "$SMPROGRAMS\KTM-520\$(ShortcutName).lnk"
  WriteRegStr SHCTX "Software\Varnok\KTM-520 Installer" "UninstallShortcut" "$SMPROGRAMS\KTM-520\$(UninstallName).lnk"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "$(ProductName)"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Varnok"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ktm520.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there, file by file; the user's data (the archive, the log and
; the settings, kept in the user's own folders) stays.
Section "Uninstall"
  !include "${LISTS}/uninstall-files.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ReadRegStr $0 SHCTX "Software\Varnok\KTM-520 Installer" "Shortcut"
  ReadRegStr $1 SHCTX "Software\Varnok\KTM-520 Installer" "UninstallShortcut"
  StrCmp $0 "" +2
  Delete "$0"
  StrCmp $1 "" +2
  Delete "$1"
  RMDir "$SMPROGRAMS\KTM-520"

  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "Software\Varnok\KTM-520 Installer"
SectionEnd
