; The clock's installer: per user, without administrator rights (the
; program's own manifest asks for "asInvoker" too), into the user's own
; programs folder, with a Start-menu shortcut and an entry in Apps &
; features, and if chosen a start with the user's session. /S installs and
; uninstalls silently; /S /AUTOSTART installs with the session start.
;   makensis -DVERSION=<x.y.z> -DFOLDER=<portable folder> -DFILES=<files.nsh>
;            -DICON=<icon.ico> -DRUN_VALUE=<name> -DAPP_ID=<id>
;            -DPUBLISHER=<holder> -DCOPYRIGHT=<year and holder>
;            -DOUTFILE=<setup.exe> timer.nsi
; RUN_VALUE is the name of the value under the Run key, which the clock's
; own 시작 시 실행 writes too; APP_ID names the objects by which a running
; clock is found and asked to end (session/singleinstance_win.cpp).
; files.nsh comes from nsis_files.cmake.
;
; A running clock holds timer.exe and Glass.dll open, so that Windows
; refuses to replace or delete them. Both the installer and the uninstaller
; ask it to end before they touch a file; one that does not end leaves the
; installation as it was: a silent run then exits with code 3.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Tarvenel Timer"
!define PRODUCT_KO "타르베넬 타이머"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvenelTimer"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT_KO}.lnk"
; The shortcut's name up to 0.3.1.
!define OLD_SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Where the clock keeps the player's setup and alarms (session/userfiles_win.cpp).
!define SETTINGS_DIR "$APPDATA\tarvenel-timer"

!define CLOCK_MUTEX "Local\${APP_ID}.running"
!define CLOCK_QUIT_EVENT "Local\${APP_ID}.quit"
!define CLOCK_PID_MAPPING "Local\${APP_ID}.pid"
; How long a clock asked to end is given before the player is told.
!define CLOCK_END_MS 10000
!define SYNCHRONIZE 0x00100000
!define EVENT_MODIFY_STATE 0x0002
!define FILE_MAP_READ 0x0004
!define ERROR_CLOCK_RUNS 3

!include "FileFunc.nsh"
!include "LogicLib.nsh"
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
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
; The first language is the one for systems whose own NSIS has no texts.
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_KOREAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_KOREAN} "LegalCopyright" "© ${COPYRIGHT}"

Var clockWasRunning

; Ends the clock that runs in this session, if any, and waits until its
; process is gone. Leaves in $0 "none" (no clock ran), "ended", or "runs":
; it has no quit event, as clocks up to 0.3.1, or it did not end in time.
; Uses $0 to $4.
!macro TIMER_END_CLOCK un
Function ${un}EndClock
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${CLOCK_MUTEX}") p.r0'
    ${If} $0 P= 0
        StrCpy $0 "none"
        Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'

    ; The process, opened before it is asked to end, so that its id cannot
    ; have gone to another process by the time it is waited for.
    StrCpy $1 0
    System::Call 'kernel32::OpenFileMappingW(i ${FILE_MAP_READ}, i 0, w "${CLOCK_PID_MAPPING}") p.r0'
    ${If} $0 P<> 0
        System::Call 'kernel32::MapViewOfFile(p r0, i ${FILE_MAP_READ}, i 0, i 0, p 4) p.r2'
        ${If} $2 P<> 0
            System::Call '*$2(i .r3)'
            System::Call 'kernel32::UnmapViewOfFile(p r2)'
            ${If} $3 <> 0
                System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r3) p.r1'
            ${EndIf}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}

    StrCpy $4 "runs"
    System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w "${CLOCK_QUIT_EVENT}") p.r0'
    ${If} $0 P<> 0
        System::Call 'kernel32::SetEvent(p r0)'
        System::Call 'kernel32::CloseHandle(p r0)'
        ${If} $1 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p r1, i ${CLOCK_END_MS}) i.r2'
            ${If} $2 = 0
                StrCpy $4 "ended"
            ${EndIf}
        ${Else}
            ; Without its id, the mutex going away tells that it has ended.
            StrCpy $2 0
            ${DoUntil} $2 >= ${CLOCK_END_MS}
                Sleep 100
                IntOp $2 $2 + 100
                System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${CLOCK_MUTEX}") p.r0'
                ${If} $0 P= 0
                    StrCpy $4 "ended"
                    ${Break}
                ${EndIf}
                System::Call 'kernel32::CloseHandle(p r0)'
            ${Loop}
        ${EndIf}
    ${EndIf}
    ${If} $1 P<> 0
        System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
    StrCpy $0 $4
FunctionEnd

; Ends a running clock before anything is touched; one that stays is
; reported, and the installation is left as it is.
Function ${un}StopClock
    ${Do}
        Call ${un}EndClock
        ${If} $0 == "ended"
            StrCpy $clockWasRunning 1
        ${EndIf}
        ${If} $0 != "runs"
            Return
        ${EndIf}
        IfSilent stuck
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "${PRODUCT_KO}가 실행 중입니다. 타이머를 종료한 뒤 다시 시도해 주세요.$\r$\n$\r$\n\
${PRODUCT} is running. Quit it, then try again." IDCANCEL stuck
    ${Loop}
stuck:
    SetErrorLevel ${ERROR_CLOCK_RUNS}
    Quit
FunctionEnd
!macroend
!insertmacro TIMER_END_CLOCK ""
!insertmacro TIMER_END_CLOCK "un."

Section
    StrCpy $clockWasRunning 0
    Call StopClock
    ; An older copy goes first, through its own uninstaller, so that no file
    ; that this version no longer ships stays behind.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    StrCmp $0 "" fresh
    IfFileExists "$0\uninstall.exe" 0 fresh
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
fresh:
    Delete "${OLD_SHORTCUT}"
    !insertmacro TIMER_INSTALL_FILES
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\timer.exe" "" "$INSTDIR\timer.exe" 0 \
        SW_SHOWNORMAL "" "${PRODUCT}"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\timer.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    ; In KB, as Apps & features expects it.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; The clock that was ended for the update comes back, now the new one.
    ${If} $clockWasRunning = 1
        Exec '"$INSTDIR\timer.exe"'
    ${EndIf}
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

Section "-un.Main"
    Call un.StopClock
    Delete "${SHORTCUT}"
    Delete "${OLD_SHORTCUT}"
    !insertmacro TIMER_REMOVE_FILES
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: the user may keep files of their own there.
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
SectionEnd

; Off unless the player ticks it: a silent uninstall, and every update,
; which runs the older copy's uninstaller silently, keeps them.
Section /o "un.설정 파일 삭제" SEC_UN_SETTINGS
    Delete "${SETTINGS_DIR}\timer.ini"
    Delete "${SETTINGS_DIR}\alarms.ini"
    ; The copies the clock kept of files it could not use.
    Delete "${SETTINGS_DIR}\timer.ini.broken-*"
    Delete "${SETTINGS_DIR}\alarms.ini.broken-*"
    RMDir "${SETTINGS_DIR}"
SectionEnd
