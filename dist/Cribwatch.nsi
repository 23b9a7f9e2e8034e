; Cribwatch installer (NSIS 3), built by the target dist of the i686 build
; (cmake/dist.cmake), which defines:
;   VERSION      the version, MAJOR.MINOR.PATCH
;   FILES        the folder with the release's files: Cribwatch.exe, the
;                two help files, LICENSE.txt and README.txt
;   ICON         the program's icon file
;   OUTFILE      the installer to write
;
; Per machine into Program Files\Kestrelon\Cribwatch (the 32-bit Program
; Files on a 64-bit Windows), a Start-menu shortcut that starts the program
; in Cribwatch in the Public Documents (where its protocol files go: every
; user can write and find them there), and an uninstall entry. The
; uninstaller keeps the user's settings unless the user asks for them to go;
; a silent uninstall (/S) keeps them, and both keep the protocol files. Setup
; and uninstall wait until a running Cribwatch has been ended.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Cribwatch"
!define MAKER "Kestrelon"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cribwatch"
!define SETTINGS_KEY "Software\Kestrelon\Cribwatch"
!define MAKER_KEY "Software\Kestrelon"
!define SHORTCUT "$SMPROGRAMS\Cribwatch.lnk"
!define PROTOCOL_FOLDER "$DOCUMENTS\Cribwatch"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\${MAKER}\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "© 2026 ${MAKER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_LICENSE "${FILES}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.OptionsPage un.OptionsLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

LangString UninstallTitle ${LANG_ENGLISH} "Uninstall ${PRODUCT}"
LangString UninstallTitle ${LANG_GERMAN} "${PRODUCT} entfernen"
LangString UninstallSubtitle ${LANG_ENGLISH} "Remove ${PRODUCT} from your computer."
LangString UninstallSubtitle ${LANG_GERMAN} "${PRODUCT} von diesem Computer entfernen."
LangString UninstallText ${LANG_ENGLISH} "${PRODUCT} will be removed from the folder $INSTDIR. Your settings stay unless you tick the box below."
LangString UninstallText ${LANG_GERMAN} "${PRODUCT} wird aus dem Ordner $INSTDIR entfernt. Ihre Einstellungen bleiben erhalten, wenn Sie das Feld unten nicht ankreuzen."
LangString RemoveSettings ${LANG_ENGLISH} "also remove my settings"
LangString RemoveSettings ${LANG_GERMAN} "auch meine Einstellungen entfernen"
LangString ProgramRunning ${LANG_ENGLISH} "${PRODUCT} is running. Please end it (Exit) and then click Retry."
LangString ProgramRunning ${LANG_GERMAN} "${PRODUCT} läuft. Bitte beenden Sie es (Beenden) und klicken Sie dann auf Wiederholen."

; Files in use are never replaced or removed halfway: while the program's
; window is there, ask the user to end it; silently, give up (exit code 2).
!macro WaitForProgramEnd
    ${Do}
        FindWindow $0 "#32770" "${PRODUCT}"
        ${If} $0 == 0
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(ProgramRunning)" /SD IDCANCEL IDRETRY +2
        Abort
    ${Loop}
!macroend

; The files of the program's folder, for installing and for removing:
; `action` is the macro run with each file's name.
!macro ProgramFiles action
    !insertmacro ${action} "Cribwatch.exe"
    !insertmacro ${action} "CribPC-Ger.chm"
    !insertmacro ${action} "CribPC-Eng.chm"
    !insertmacro ${action} "LICENSE.txt"
    !insertmacro ${action} "README.txt"
!macroend
!macro PutFile name
    File "${FILES}/${name}"
!macroend
!macro RemoveFile name
    Delete "$INSTDIR\${name}"
!macroend

Function .onInit
    SetShellVarContext all
    !insertmacro WaitForProgramEnd
FunctionEnd

Section "Cribwatch"
    SetOutPath "$INSTDIR"
    !insertmacro ProgramFiles PutFile
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; The shortcut's working folder is the current output path: the
    ; program keeps its protocol files in the folder it starts in.
    CreateDirectory "${PROTOCOL_FOLDER}"
    SetOutPath "${PROTOCOL_FOLDER}"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\Cribwatch.exe" "" "$INSTDIR\Cribwatch.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Cribwatch.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The finish page's offer: the program, started as its shortcut starts it.
Function StartProgram
    SetOutPath "${PROTOCOL_FOLDER}"
    Exec '"$INSTDIR\Cribwatch.exe"'
FunctionEnd

; ---------------------------------------------------------- uninstaller --

Var RemoveSettings
Var RemoveSettingsBox

Function un.onInit
    SetShellVarContext all
    !insertmacro WaitForProgramEnd
    StrCpy $RemoveSettings ${BST_UNCHECKED}
FunctionEnd

Function un.OptionsPage
    !insertmacro MUI_HEADER_TEXT "$(UninstallTitle)" "$(UninstallSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 36u "$(UninstallText)"
    Pop $0
    ${NSD_CreateCheckbox} 0 48u 100% 12u "$(RemoveSettings)"
    Pop $RemoveSettingsBox
    ${NSD_SetState} $RemoveSettingsBox $RemoveSettings
    nsDialogs::Show
FunctionEnd

Function un.OptionsLeave
    ${NSD_GetState} $RemoveSettingsBox $RemoveSettings
FunctionEnd

Section "Uninstall"
    !insertmacro ProgramFiles RemoveFile
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    ; The maker's folder goes too when nothing else is left in it.
    RMDir "$INSTDIR\.."
    Delete "${SHORTCUT}"
    ; The protocol files are the user's: their folder goes only when empty.
    RMDir "${PROTOCOL_FOLDER}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${If} $RemoveSettings == ${BST_CHECKED}
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        DeleteRegKey /ifempty HKCU "${MAKER_KEY}"
    ${EndIf}
SectionEnd
