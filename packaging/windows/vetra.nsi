; The installer of the workstation for Windows x64, made by scripts/package-windows.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y -DSTAGE=folder -DOUTFILE=file vetra.nsi
; The stage holds the deployed program (scripts/deploy-windows.sh) and the sample program
; directory under "пример"; files.nsh, written beside this script, lists the program's files
; so that the uninstaller removes exactly those.
;
; The settings live beside the executable, so the default folder is one the operator can
; write without administrator rights, and the installer asks for none. An upgrade replaces
; the program's own files only; the operator's files (settings, calibration, well data,
; journal, history) are never overwritten nor removed.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Хроматограф"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vetra"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "C:\Vetra"
InstallDirRegKey HKCU "Software\Vetra" "InstallDir"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\vetra.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка программы ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "Vetra"

Section "Программа"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "files.nsh"

  ; The sample program directory only on a first install: once there, its settings and
  ; calibration are the operator's.
  IfFileExists "$INSTDIR\хроматограф.ini" sample_done
  SetOverwrite off
  File /r "${STAGE}/пример/*"
  SetOverwrite on
  sample_done:

  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vetra.exe" "" "$INSTDIR\vetra.exe" 0
  CreateShortCut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\vetra.exe" "" "$INSTDIR\vetra.exe" 0

  WriteRegStr HKCU "Software\Vetra" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vetra.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !include "unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Vetra"
  ; Only when nothing of the operator's is left in it.
  RMDir "$INSTDIR"
  IfFileExists "$INSTDIR\*.*" 0 +2
  MessageBox MB_OK|MB_ICONINFORMATION "Программа удалена. Файлы оператора (настройки, калибровка, данные скважин, журнал, история) оставлены в папке $INSTDIR." /SD IDOK
SectionEnd
