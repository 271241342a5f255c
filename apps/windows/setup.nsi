; The Windows installer, built by scripts/package-windows.sh with makensis:
;   makensis -DSTAGE=<staged package folder> -DICON=<quorix.ico> -DOUTFILE=<setup.exe> setup.nsi
;
; Per user, without administrator rights: the programs go to
; %LOCALAPPDATA%\Programs\Quorix (or /D=FOLDER), the working folder to
; Documents\Quorix (Compiler\TheFile.asm and Compiler\OpCode.qrx, as the
; workbench's relative paths need), and the Start menu gets Quorix and the
; Nuvedo editor, both started in the working folder. The uninstaller removes
; the files, shortcuts and registry entries it made, each by name, and leaves
; the working folder: it holds the user's work. /S installs and uninstalls
; silently.
Target amd64-unicode
Unicode true
!include MUI2.nsh

!ifndef STAGE | ICON | OUTFILE
  !error "STAGE, ICON and OUTFILE must be defined"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorix"

Name "Quorix"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Quorix"
InstallDirRegKey HKCU "Software\Quorix" "InstallDir"
SetCompressor /SOLID lzma
BrandingText "Quorix 1.0"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs the Quorix workbench and its Nuvedo editor for you alone; no administrator rights are needed.$\r$\n$\r$\nYour working folder will be Documents\Quorix, with Compiler\TheFile.asm to start from. Files already there are kept."
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorix.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Quorix"
!define MUI_FINISHPAGE_RUN_FUNCTION StartWorkbench
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function StartWorkbench
  SetOutPath "$DOCUMENTS\Quorix"
  Exec '"$INSTDIR\quorix.exe"'
FunctionEnd

Section "Quorix"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}\quorix.exe"
  File "${STAGE}\quorix-asm.exe"
  File "${STAGE}\quorix-run.exe"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\Compiler"
  File "${STAGE}\Compiler\Nuvedo.exe"
  SetOutPath "$INSTDIR\Licenses\Unicorn"
  File "${STAGE}\Licenses\Unicorn\COPYING"
  File "${STAGE}\Licenses\Unicorn\COPYING.LGPL2"
  File "${STAGE}\Licenses\Unicorn\COPYING_GLIB"

  ; The working folder: the user's files there are never replaced.
  SetOutPath "$DOCUMENTS\Quorix\Compiler"
  SetOverwrite off
  File "${STAGE}\Compiler\TheFile.asm"
  File "${STAGE}\Compiler\OpCode.qrx"
  SetOverwrite on

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; Shortcuts start in the working folder (the current output path).
  SetOutPath "$DOCUMENTS\Quorix"
  CreateDirectory "$SMPROGRAMS\Quorix"
  CreateShortcut "$SMPROGRAMS\Quorix\Quorix.lnk" "$INSTDIR\quorix.exe" "" "$INSTDIR\quorix.exe" 0
  CreateShortcut "$SMPROGRAMS\Quorix\Nuvedo editor.lnk" "$INSTDIR\Compiler\Nuvedo.exe" \
      '"$DOCUMENTS\Quorix\Compiler\TheFile.asm"' "$INSTDIR\Compiler\Nuvedo.exe" 0
  CreateShortcut "$SMPROGRAMS\Quorix\Uninstall Quorix.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKCU "Software\Quorix" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "Software\Quorix" "WorkingFolder" "$DOCUMENTS\Quorix"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quorix"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "1.0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorix.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Quorix\Quorix.lnk"
  Delete "$SMPROGRAMS\Quorix\Nuvedo editor.lnk"
  Delete "$SMPROGRAMS\Quorix\Uninstall Quorix.lnk"
  RMDir "$SMPROGRAMS\Quorix"

  Delete "$INSTDIR\quorix.exe"
  Delete "$INSTDIR\quorix-asm.exe"
  Delete "$INSTDIR\quorix-run.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Compiler\Nuvedo.exe"
  Delete "$INSTDIR\Licenses\Unicorn\COPYING"
  Delete "$INSTDIR\Licenses\Unicorn\COPYING.LGPL2"
  Delete "$INSTDIR\Licenses\Unicorn\COPYING_GLIB"
  Delete "$INSTDIR\Uninstall.exe"
  ; Folders go only when nothing else is in them.
  RMDir "$INSTDIR\Licenses\Unicorn"
  RMDir "$INSTDIR\Licenses"
  RMDir "$INSTDIR\Compiler"
  RMDir "$INSTDIR"

  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Quorix"
SectionEnd
