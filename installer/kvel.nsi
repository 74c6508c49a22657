; The installer of the Windows program, made by scripts/build-windows with Debian's NSIS:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0.1 -DSOURCE=<the program's folder> -DICON=<kvel.ico>
;            -DOUTFILE=<setup.exe> kvel.nsi
; It installs the folder into Program Files for every user of the computer, with shortcuts in
; the Start menu and on the desktop, offers the program for .db tables under "Open with", and
; registers an uninstaller that takes away exactly what it put in place.
; A 64-bit installer for a 64-bit program (it also runs where no 32-bit layer is installed).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "x64.nsh"

!ifndef VERSION
  !error "VERSION is not set"
!endif
!ifndef SOURCE
  !error "SOURCE is not set"
!endif
!ifndef OUTFILE
  !define OUTFILE "kvel-${VERSION}-setup.exe"
!endif

!define PRODUCT "ВРТ-ТК5"
!define COMPANY "Valdrenor"
!define EXE "kvel.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Valdrenor.KVEL"
!define APP_KEY "Software\Classes\Applications\${EXE}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка программы ${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© ${COMPANY}"

!ifndef ICON
  !error "ICON is not set"
!endif
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "Программа работает только в 64-разрядной Windows."
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "${PRODUCT}"
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  ; "Open with" for the program's tables: the application's own entry, and .db's list.
  WriteRegStr HKLM "${APP_KEY}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "${APP_KEY}\DefaultIcon" "" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${APP_KEY}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
  WriteRegStr HKLM "${APP_KEY}\SupportedTypes" ".db" ""
  WriteRegNone HKLM "Software\Classes\.db\OpenWithList\${EXE}" ""
  WriteRegNone HKLM "Software\Classes\.db\OpenWithProgids" "Valdrenor.KVEL.Table"
  WriteRegStr HKLM "Software\Classes\Valdrenor.KVEL.Table" "" "Таблица ${PRODUCT}"
  WriteRegStr HKLM "Software\Classes\Valdrenor.KVEL.Table\DefaultIcon" "" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "Software\Classes\Valdrenor.KVEL.Table\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'

  ; Programs and Features.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${APP_KEY}"
  DeleteRegValue HKLM "Software\Classes\.db\OpenWithList\${EXE}" ""
  DeleteRegKey /ifempty HKLM "Software\Classes\.db\OpenWithList\${EXE}"
  DeleteRegValue HKLM "Software\Classes\.db\OpenWithProgids" "Valdrenor.KVEL.Table"
  DeleteRegKey HKLM "Software\Classes\Valdrenor.KVEL.Table"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Only what the installer put there: the user's tables and settings are not the program's.
  RMDir /r "$INSTDIR\plugins"
  RMDir /r "$INSTDIR\translations"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\kvel.html"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd
