; SPDX-License-Identifier: MIT
; Brellimar's setup program for Windows, built by scripts/build-windows.sh with makensis:
;   makensis -DVERSION=1.0.0.4 -DVERSION_TEXT=1.00.0004 -DOUTFILE=Brellimar-1.0.0.4-setup.exe
;            -DINSTALL_FILES=install.nsh -DUNINSTALL_FILES=uninstall.nsh packaging/brellimar.nsi
; INSTALL_FILES holds a File line for each file of the zip's folder, UNINSTALL_FILES a Delete line
; for each and an RMDir for each of its folders: the uninstaller removes what was installed, by
; name, and leaves anything else a user put there.
Unicode true
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brellimar"
!define PUBLISHER "The Brellimar developers"

Name "Brellimar ${VERSION}"
BrandingText "Brellimar ${VERSION}"
OutFile "${OUTFILE}"
; The 32-bit Program Files folder, as for every 32-bit program; an earlier installation's folder if any.
InstallDir "$PROGRAMFILES\Brellimar"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; The program changes Apache's files and services as an administrator; so does its setup.
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define MUI_ICON "../app/icons/brellimar.ico"
!define MUI_UNICON "../app/icons/brellimar.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Brellimar.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "Brellimar"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "Brellimar 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "InternalName" "Brellimar-setup"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "OriginalFilename" "Brellimar-${VERSION}-setup.exe"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}, MIT License"

Section "Brellimar" SecProgram
    SectionIn RO
    SetShellVarContext all
    ; An installed version goes first, by its own uninstaller, so that none of its files that this
    ; version no longer has stays behind where no uninstaller knows it.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        ExecWait '"$0\uninstall.exe" /S _?=$0'
    ${EndIf}
    !include "${INSTALL_FILES}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Brellimar.lnk" "$INSTDIR\Brellimar.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Brellimar"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Brellimar.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Section "桌面快捷方式" SecDesktop
    SetShellVarContext all
    CreateShortcut "$DESKTOP\Brellimar.lnk" "$INSTDIR\Brellimar.exe"
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Brellimar.lnk"
    Delete "$DESKTOP\Brellimar.lnk"
    !include "${UNINSTALL_FILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; Started from its folder, the uninstaller runs as a copy of itself in the temporary folder
    ; (~nsu*.tmp) and marks both for removal at the next restart: the folder first, while the copy is
    ; still in it, so that the folder would stay. Marked once more, after the copy, it goes as well.
    ${If} $EXEDIR != $INSTDIR
        RMDir /REBOOTOK "$EXEDIR"
    ${EndIf}
SectionEnd
