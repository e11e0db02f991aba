; The Windows installer of Panelix (NSIS 3, Unicode). scripts/build-windows runs:
;   makensis -DVERSION=3.1 -DSTAGE=<staged folder> -DOUTFILE=<installer.exe> dist/windows/panelix.nsi
; It installs the staged folder for all users, adds a Start-menu folder and an
; uninstaller, and registers that with "Apps and features". /S installs silently.
; A 64-bit installer: Windows x64 only, as the programs are.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef STAGE
  !error "STAGE is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "panelix-${VERSION}-win64-setup.exe"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Panelix"

Name "Panelix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Panelix"
InstallDirRegKey HKLM "Software\Panelix" "InstallDir"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Section "Panelix"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Panelix"
  CreateShortCut "$SMPROGRAMS\Panelix\Panelix.lnk" "$INSTDIR\panelix.exe"
  CreateShortCut "$SMPROGRAMS\Panelix\Panelix (simulated module).lnk" "$INSTDIR\panelix.exe" "--simulator"
  CreateShortCut "$SMPROGRAMS\Panelix\Uninstall Panelix.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Panelix" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Panelix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Panelix authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\panelix.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The data directory (c:\dispkit\ by default) holds the user's pictures and lists:
; the uninstaller leaves it alone.
Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\Panelix\*.lnk"
  RMDir "$SMPROGRAMS\Panelix"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\iconengines"
  RMDir /r "$INSTDIR\translations"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Panelix"
SectionEnd
