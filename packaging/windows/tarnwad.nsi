; The Windows installer of tarnwad: tarnwad.exe and tarnwad-gui.exe in
; Program Files, a Start-menu entry for the dialog, an "Unpack with
; Tarnhollow WAD Tool" action on .wad files, optionally tarnwad.exe on the
; PATH, and an uninstaller that takes all of it away again.
;
;   makensis -DVERSION=0.1.0 -DBITS=64 -DSTAGE=<dir> -DOUTFILE=<setup.exe> tarnwad.nsi
;
; STAGE holds tarnwad.exe, tarnwad-gui.exe, README.txt and LICENSE.txt.
; Silent: "setup.exe /S" installs without the PATH entry, "/S /PATH" with
; it, "/D=C:\dir" (last) chooses the folder; "uninstall.exe /S" removes.

Unicode true
!if ${BITS} == 64
    Target amd64-unicode
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define PRODUCT "Tarnhollow WAD Tool"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tarnwad"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; The archives' type, and the action offered on every .wad file whatever
; program opens it (other games' archives end in .wad as well).
!define PROGID "Tarnwad.WadArchive"
!define VERB_KEY "Software\Classes\SystemFileAssociations\.wad\shell\tarnwad.unpack"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES${BITS}\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "The tarnwad authors (MIT License)"

!define MUI_ICON "${STAGE}\tarnwad.ico"
!define MUI_UNICON "${STAGE}\tarnwad.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tarnwad-gui.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}" SecProgram
    SectionIn RO
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}\tarnwad.exe"
    File "${STAGE}\tarnwad-gui.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tarnwad-gui.exe"

    WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Tarnhollow WAD archive"
    WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\tarnwad-gui.exe,0"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open" "" "Unpack with ${PRODUCT}"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" \
        '"$INSTDIR\tarnwad-gui.exe" "%1"'
    WriteRegStr HKLM "Software\Classes\.wad\OpenWithProgids" "${PROGID}" ""
    WriteRegStr HKLM "${VERB_KEY}" "" "Unpack with ${PRODUCT}"
    WriteRegStr HKLM "${VERB_KEY}" "Icon" "$INSTDIR\tarnwad-gui.exe,0"
    WriteRegStr HKLM "${VERB_KEY}\command" "" '"$INSTDIR\tarnwad-gui.exe" "%1"'
    ; Opened by double-click only where no other program has the type.
    ReadRegStr $0 HKLM "Software\Classes\.wad" ""
    ${If} $0 == ""
        WriteRegStr HKLM "Software\Classes\.wad" "" "${PROGID}"
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The tarnwad authors"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarnwad-gui.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section /o "Add tarnwad.exe to the PATH" SecPath
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${WordFind} "$0" ";" "E/$INSTDIR" $1
    ${If} ${Errors}
        ${If} $0 == ""
            StrCpy $0 "$INSTDIR"
        ${Else}
            StrCpy $0 "$0;$INSTDIR"
        ${EndIf}
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
    ${EndIf}
    ; Remembered, so that the uninstaller takes out only what was put in.
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
SectionEnd

LangString DESC_SecProgram ${LANG_ENGLISH} \
    "The dialog and the command-line tool, a Start-menu entry, and $\"Unpack with ${PRODUCT}$\" on .wad files."
LangString DESC_SecPath ${LANG_ENGLISH} \
    "Lets a command prompt run tarnwad.exe from any folder."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_SecProgram)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} $(DESC_SecPath)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    !if ${BITS} == 64
        SetRegView 64
    !endif
    ; /PATH on the command line (of a silent install) ticks the PATH entry.
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} "$0" "/PATH" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecPath} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Function un.onInit
    !if ${BITS} == 64
        SetRegView 64
    !endif
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
    ${If} $0 == 1
        ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
        ${WordReplace} "$1" ";$INSTDIR" "" "+" $1
        ${WordReplace} "$1" "$INSTDIR;" "" "+" $1
        ${If} $1 == "$INSTDIR"
            StrCpy $1 ""
        ${EndIf}
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}

    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ReadRegStr $0 HKLM "Software\Classes\.wad" ""
    ${If} $0 == "${PROGID}"
        DeleteRegValue HKLM "Software\Classes\.wad" ""
    ${EndIf}
    DeleteRegValue HKLM "Software\Classes\.wad\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\.wad\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.wad"
    DeleteRegKey HKLM "Software\Classes\${PROGID}"
    DeleteRegKey HKLM "${VERB_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Classes\SystemFileAssociations\.wad\shell"
    DeleteRegKey /ifempty HKLM "Software\Classes\SystemFileAssociations\.wad"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    Delete "$INSTDIR\tarnwad.exe"
    Delete "$INSTDIR\tarnwad-gui.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
