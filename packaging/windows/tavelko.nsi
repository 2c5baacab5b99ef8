; Tavelko's Windows installer (NSIS 3, 64-bit, Unicode; this file is UTF-8).
; It installs the whole program folder that `cmake --install` makes: tavelko.exe,
; Qt's DLLs and plugins, libpq.dll (the shop database's client) with OpenSSL's
; libssl-3-x64.dll and libcrypto-3-x64.dll, and the compiler's runtime.
; Installs for the current user without administrator rights, or for all users
; into Program Files when run as administrator. The uninstaller of an install
; for all users asks for administrator rights itself, so that it also works
; when started from Settings; it removes the program, its shortcuts and its
; uninstall entry and leaves the restaurant's names and prices
; (HKCU\Software\Tavelko) where they are. Both refuse to go on while Tavelko
; runs, and the installer refuses Windows older than 10.
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.6.0 -DPROGRAM_DIR=<folder of tavelko.exe>
;            -DOUT_FILE=<setup.exe> -DICON_FILE=<tavelko.ico> tavelko.nsi
; Silent: /S; /CurrentUser installs for this user even as administrator;
; /NoDesktopShortcut leaves out the desktop shortcut.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "WinVer.nsh"

!define APP "Tavelko"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${APP}"
VIAddVersionKey /LANG=2052 "FileDescription" "${APP} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (c) 2026 the Tavelko developers"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavelko.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString DESKTOP_LINK ${LANG_SIMPCHINESE} "${APP}"
LangString DESKTOP_LINK ${LANG_ENGLISH} "${APP}"
LangString SECTION_PROGRAM ${LANG_SIMPCHINESE} "${APP} 程序"
LangString SECTION_PROGRAM ${LANG_ENGLISH} "${APP} program"
LangString SECTION_DESKTOP ${LANG_SIMPCHINESE} "桌面快捷方式"
LangString SECTION_DESKTOP ${LANG_ENGLISH} "Desktop shortcut"
LangString NEEDS_WIN10 ${LANG_SIMPCHINESE} "${APP} 需要 Windows 10 或更新的版本，无法在此版本的 Windows 上安装。"
LangString NEEDS_WIN10 ${LANG_ENGLISH} "${APP} needs Windows 10 or later; it cannot be installed on this version of Windows."
LangString STILL_RUNNING ${LANG_SIMPCHINESE} "${APP} 正在运行。请先关闭 ${APP}（关闭欢迎窗口），然后点“重试”；点“取消”退出。"
LangString STILL_RUNNING ${LANG_ENGLISH} "${APP} is running. Close it (close its welcome window), then press Retry; Cancel quits."
LangString NEEDS_ADMIN ${LANG_SIMPCHINESE} "${APP} 是为所有用户安装的，更新或卸载需要管理员权限。"
LangString NEEDS_ADMIN ${LANG_ENGLISH} "${APP} was installed for all users; updating or removing it needs administrator rights."

Var AllUsers

; Tavelko holds the mutex "Global\Tavelko.Running" while it runs (any user's
; copy); a running tavelko.exe also cannot be opened for writing. Either one
; means: ask to close it, retry or cancel. A silent run cancels (exit code 2).
!macro WaitWhileRunning un
Function ${un}WaitWhileRunning
  ${Do}
    StrCpy $1 0
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Global\Tavelko.Running") p .r0 ?e'
    Pop $2
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
      StrCpy $1 1
    ${ElseIf} $2 = 5  ; another user's copy: the mutex is there, not ours to open
      StrCpy $1 1
    ${ElseIf} ${FileExists} "$INSTDIR\tavelko.exe"
      ClearErrors
      FileOpen $3 "$INSTDIR\tavelko.exe" a
      ${If} ${Errors}
        StrCpy $1 1
      ${Else}
        FileClose $3
      ${EndIf}
    ${EndIf}
    ${If} $1 = 0
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(STILL_RUNNING)" /SD IDCANCEL IDRETRY`
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro WaitWhileRunning ""
!insertmacro WaitWhileRunning "un."

; Runs this program again with administrator rights (Windows asks for them)
; and ends this copy; $0 is the program, $1 its parameters.
!macro RunElevated un
Function ${un}RunElevated
  System::Call 'shell32::ShellExecuteW(p 0, w "runas", w r0, w r1, p 0, i 1) p .r2'
  ${If} $2 P> 32
    SetErrorLevel 0
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "$(NEEDS_ADMIN)" /SD IDOK
    SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
  ${EndIf}
  Quit
FunctionEnd
!macroend
!insertmacro RunElevated ""
!insertmacro RunElevated "un."

!macro IsAdmin result
  UserInfo::GetAccountType
  Pop ${result}
!macroend

!macro ChooseScope
  ; An administrator installs for everyone, anyone else for themselves;
  ; /CurrentUser asks for the per-user install even as administrator.
  StrCpy $AllUsers 0
  !insertmacro IsAdmin $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CurrentUser" $2
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${ElseIf} $AllUsers == 0
    ; Installed for all users before: the upgrade needs the same rights.
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $2 != ""
      StrCpy $0 "$EXEPATH"
      Call RunElevated
    ${EndIf}
  ${EndIf}
!macroend


Section "$(SECTION_PROGRAM)" SEC_PROGRAM
  SectionIn RO
  Call WaitWhileRunning  ; started again while the pages were shown
  SetOutPath "$INSTDIR"
  ; An upgrade replaces the whole program folder; the settings live in the
  ; registry and are not touched.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.dll"
  File /r "${PROGRAM_DIR}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\tavelko.exe" "" "$INSTDIR\tavelko.exe" 0
  ; An upgrade without the desktop shortcut removes the one made before.
  Delete "$DESKTOP\$(DESKTOP_LINK).lnk"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavelko.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; Settings shows the size; the project has no web site, so no URLInfoAbout.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "$(SECTION_DESKTOP)" SEC_DESKTOP
  CreateShortcut "$DESKTOP\$(DESKTOP_LINK).lnk" "$INSTDIR\tavelko.exe" "" "$INSTDIR\tavelko.exe" 0
SectionEnd

Function .onInit
  SetRegView 64
  ${IfNot} ${AtLeastWin10}
    MessageBox MB_OK|MB_ICONSTOP "$(NEEDS_WIN10)" /SD IDOK
    SetErrorLevel 1150  ; ERROR_OLD_WIN_VERSION
    Quit
  ${EndIf}
  !insertmacro ChooseScope
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/NoDesktopShortcut" $2
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SEC_DESKTOP}
  ${EndIf}
  ${If} $AllUsers == 1
    SetShellVarContext all
    StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ; An earlier install: upgrade it in place.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
  Call WaitWhileRunning
FunctionEnd

Function un.onInit
  SetRegView 64
  ; Uninstall the way it was installed: for this user when this user's
  ; uninstall entry names this folder, else for all users, which needs
  ; administrator rights (Settings starts the uninstaller without them).
  SetShellVarContext all
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext current
  ${Else}
    !insertmacro IsAdmin $0
    ${If} $0 != "Admin"
      ; The program folder's own uninstaller, which runs on from a copy of
      ; itself again, so that it can remove its folder.
      StrCpy $1 ""
      ${If} ${Silent}
        StrCpy $1 "/S"
      ${EndIf}
      StrCpy $0 "$INSTDIR\uninstall.exe"
      Call un.RunElevated
    ${EndIf}
  ${EndIf}
  Call un.WaitWhileRunning
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$DESKTOP\$(DESKTOP_LINK).lnk"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\tavelko.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; HKCU\Software\Tavelko (the names and prices) stays.
SectionEnd
