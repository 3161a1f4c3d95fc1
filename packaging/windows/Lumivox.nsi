; The Windows installer. Lumivox.exe goes into the user's own programs folder
; (%LOCALAPPDATA%\Programs\Lumivox): no administrator rights are needed, and
; the self-updater can write its new build beside the program. A Start-menu
; entry and an uninstaller (listed under the user's installed programs) come
; with it. Built by packaging/windows/Installer.cmake:
;   makensis -DPROGRAM=<Lumivox.exe> -DVERSION=<x.y> -DICON=<Lumivox.ico> -DOUTFILE=<setup.exe> Lumivox.nsi
; /S installs silently; /D=<folder> (last on the command line) installs elsewhere.
; A 64-bit installer for the 64-bit program (Wine on a machine without 32-bit
; support runs no other; Debian's NSIS has the amd64 stubs).
Target amd64-unicode
!ifndef PROGRAM | VERSION | OUTFILE | ICON
  !error "give -DPROGRAM=<Lumivox.exe> -DVERSION=<x.y> -DICON=<Lumivox.ico> -DOUTFILE=<installer>"
!endif

!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumivox"

Name "Lumivox"
OutFile "${OUTFILE}"
; The program's own icon (cmake/WindowsResources.cmake packs it).
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Lumivox"
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Lumivox"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Lumivox installer"
VIAddVersionKey "LegalCopyright" "2026 Lumivox developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A copy that runs (the installed program or a build the updater landed) keeps
; its file from being written: the installer says so and stops, changing nothing.
; The host's data (D:\Lumivox or %APPDATA%\Lumivox) is never touched.
Function StopWhileACopyRuns
  ClearErrors
  FindFirst $0 $1 "$INSTDIR\*.exe"
  IfErrors done
  next:
    StrCmp $1 "" done
    StrCmp $1 "Uninstall.exe" skip
    ClearErrors
    FileOpen $2 "$INSTDIR\$1" a
    IfErrors running
    FileClose $2
  skip:
    FindNext $0 $1
    Goto next
  running:
    FindClose $0
    MessageBox MB_OK|MB_ICONEXCLAMATION "Lumivox 正在运行，请先关闭它再安装。" /SD IDOK
    SetErrorLevel 2
    Quit
  done:
    FindClose $0
FunctionEnd

Section
  SetShellVarContext current
  Call StopWhileACopyRuns
  SetOutPath "$INSTDIR"
  File "/oname=Lumivox.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Lumivox.lnk" "$INSTDIR\Lumivox.exe" "" "$INSTDIR\Lumivox.exe" 0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Lumivox"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Lumivox developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Lumivox.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the installer put there and every build the self-updater landed
; beside the program (any ".exe" of the folder, which is the installer's own,
; and an unfinished download).
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Lumivox.lnk"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.exe.download"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
