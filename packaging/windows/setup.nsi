; The player's setup program. It installs the launcher's folder for the current user only: no
; administrator rights, so the launcher can later replace its own files. Made by
; scripts/build-windows:
;   makensis -DPLAYER_DIR=DIR -DOUT_FILE=EXE -DVERSION=X.Y.Z -DARCH=i686|x86_64 -DICON=ICO
;            -DUNINSTALL_LIST=NSH setup.nsi
; where NSH deletes each file of PLAYER_DIR in $INSTDIR.
; Silent: Setup.exe /S [/D=FOLDER]; uninstall.exe /S [/RemoveGame].
Unicode true
!if "${ARCH}" == "x86_64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Ostravel Launcher"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OstravelLauncher"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
; The game's default folder is a sibling of this one named Ostravel.
InstallDir "$LOCALAPPDATA\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" ""

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\VornLauncher.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_COMPONENTSPAGE_TEXT_TOP "The game folder is kept unless you tick it."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

Var GameDir

Section "Launcher"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${PLAYER_DIR}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\VornLauncher.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\VornLauncher.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VornLauncher.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the launcher ships or writes beside itself is removed, never anything else a
; player put into the folder; the folder goes only when that leaves it empty.
Section "-un.Launcher"
  SetShellVarContext current
  Delete "$DESKTOP\${PRODUCT}.lnk"
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  !include "${UNINSTALL_LIST}"
  RMDir /r "$INSTDIR\logs"
  RMDir /r "$INSTDIR\cache"
  RMDir /r "$INSTDIR\.self-update-backup"
  Delete "$INSTDIR\launcher.ini"
  Delete "$INSTDIR\channel-sequence.json"
  Delete "$INSTDIR\self-version.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Game folder" SecGame
  ; Only a folder the launcher manages (it holds .vorn) is removed: a game folder setting that
  ; names a drive or a folder of the player's own must never take it with it.
  ${If} $GameDir != ""
  ${AndIf} ${FileExists} "$GameDir\.vorn\*.*"
    RMDir /r "$GameDir"
  ${EndIf}
SectionEnd

Function un.onInit
  ; launcher.ini keeps the player's game folder; without it the game sits beside this folder.
  ReadINIStr $GameDir "$INSTDIR\launcher.ini" "Game" "Root"
  ${If} $GameDir != ""
    ; The settings store doubles backslashes and may quote the value.
    StrCpy $0 $GameDir 1
    ${If} $0 == '"'
      StrCpy $GameDir $GameDir -1 1
    ${EndIf}
    GetFullPathName $GameDir $GameDir
  ${EndIf}
  ${If} $GameDir == ""
    GetFullPathName $GameDir "$INSTDIR\..\Ostravel"
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveGame" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecGame} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
