; The Windows installer of Tivora, built by tools/build-windows with Debian's makensis:
;   makensis -DVERSION=<version> -DFOLDER=<the package folder> -DOUTFILE=<installer> tivora.nsi
; It installs the package folder into Program Files, adds the start-menu entries of the Linux desktop
; entry (Tivora asking for the test folder, the station self-test, the results program) and the
; uninstaller's, and an uninstaller that removes all it installed. The script is UTF-8 (makensis
; -INPUTCHARSET UTF8).
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | FOLDER | OUTFILE
  !error "VERSION, FOLDER and OUTFILE must be defined"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tivora"

Name "Tivora ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tivora"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Tivora"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File /r "${FOLDER}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Tivora"
  CreateShortcut "$SMPROGRAMS\Tivora\Tivora.lnk" "$INSTDIR\bin\tivora.exe" "--choose-folder"
  CreateShortcut "$SMPROGRAMS\Tivora\Test stanice.lnk" "$INSTDIR\bin\tivora.exe" "--self-test"
  CreateShortcut "$SMPROGRAMS\Tivora\Výsledky, protokoly a export.lnk" "$INSTDIR\bin\tivora-report.exe"
  CreateShortcut "$SMPROGRAMS\Tivora\Uninstall Tivora.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tivora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\Tivora\Tivora.lnk"
  Delete "$SMPROGRAMS\Tivora\Test stanice.lnk"
  Delete "$SMPROGRAMS\Tivora\Výsledky, protokoly a export.lnk"
  Delete "$SMPROGRAMS\Tivora\Uninstall Tivora.lnk"
  RMDir "$SMPROGRAMS\Tivora"
  ; Only the installed folders: test folders with results tables live elsewhere and are never touched.
  RMDir /r "$INSTDIR\bin"
  RMDir /r "$INSTDIR\share"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
