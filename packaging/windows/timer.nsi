; The clock's installer: per user, without administrator rights (the
; program's own manifest asks for "asInvoker" too), into the user's own
; programs folder, with a Start-menu shortcut and an entry in Apps &
; features, and if chosen a start with the user's session. /S installs and
; uninstalls silently; /S /AUTOSTART installs with the session start.
;   makensis -DVERSION=<x.y.z> -DFOLDER=<portable folder> -DFILES=<files.nsh>
;            -DICON=<icon.ico> -DRUN_VALUE=<name> -DOUTFILE=<setup.exe> timer.nsi
; RUN_VALUE is the name of the value under the Run key, which the clock's
; own 시작 시 실행 writes too.
; files.nsh comes from nsis_files.cmake.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Tarvenel Timer"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvenelTimer"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

!include "FileFunc.nsh"
!include "MUI2.nsh"
!include "Sections.nsh"
!include "${FILES}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\timer.exe"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first language is the one for systems whose own NSIS has no texts.
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_KOREAN} "LegalCopyright" "The ${PRODUCT} developers"

Section
    ; An older copy goes first, through its own uninstaller, so that no file
    ; that this version no longer ships stays behind.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    StrCmp $0 "" fresh
    IfFileExists "$0\uninstall.exe" 0 fresh
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
fresh:
    !insertmacro TIMER_INSTALL_FILES
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\timer.exe" "" "$INSTDIR\timer.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\timer.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The same command as the clock's own menu entry writes.
Section /o "시작 시 실행" SEC_AUTOSTART
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\timer.exe" --autostart'
SectionEnd

Function .onInit
    ; An install over a copy that starts with the session keeps it so: the
    ; old copy's uninstaller, which runs first, removes the value.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    StrCmp $0 "" 0 autostart
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART" $1
    IfErrors done
autostart:
    !insertmacro SelectSection ${SEC_AUTOSTART}
done:
FunctionEnd

Section "Uninstall"
    Delete "${SHORTCUT}"
    !insertmacro TIMER_REMOVE_FILES
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: the user may keep files of their own there.
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
SectionEnd
