; Tavelko's Windows installer (NSIS 3, 64-bit, Unicode).
; Installs for the current user without administrator rights, or for all users
; when run as administrator. The uninstaller removes the program and leaves the
; restaurant's names and prices (HKCU\Software\Tavelko) where they are.
;   makensis -DVERSION=1.1.0 -DPROGRAM_DIR=<folder of tavelko.exe>
;            -DOUT_FILE=<setup.exe> -DICON_FILE=<tavelko.ico> tavelko.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

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
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString DESKTOP_LINK ${LANG_SIMPCHINESE} "${APP}"
LangString DESKTOP_LINK ${LANG_ENGLISH} "${APP}"

Var AllUsers

!macro ChooseScope
  ; An administrator installs for everyone, anyone else for themselves;
  ; /CurrentUser asks for the per-user install even as administrator.
  StrCpy $AllUsers 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CurrentUser" $2
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  !insertmacro ChooseScope
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
FunctionEnd

Section "Tavelko"
  SetOutPath "$INSTDIR"
  ; An upgrade replaces the whole program folder; the settings live in the
  ; registry and are not touched.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.dll"
  File /r "${PROGRAM_DIR}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\tavelko.exe" "" "$INSTDIR\tavelko.exe" 0
  CreateShortcut "$DESKTOP\$(DESKTOP_LINK).lnk" "$INSTDIR\tavelko.exe" "" "$INSTDIR\tavelko.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavelko.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  ; Uninstall the way it was installed: for this user when this user's
  ; uninstall entry names this folder, else for all users.
  SetShellVarContext all
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext current
  ${EndIf}
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
