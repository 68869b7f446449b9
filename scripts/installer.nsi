; The Windows installer, built by scripts/package.sh with makensis from the folder it stages:
;   makensis -DPRODUCT=Aperlume -DPUBLISHER=... -DVERSION=x.y.z -DSTAGE=folder -DOUTFILE=setup.exe installer.nsi
; STAGE holds x64\ and x86\ (Aperlume.8bf and aperlume.exe each), README.html (the guide) and LICENSE.txt.
;
; A 32-bit program, so that one file runs everywhere. Into %ProgramFiles%\Aperlume (the 64-bit folder
; on 64-bit Windows) it puts Plug-Ins\x64 (the module for current editors, with the tool beside it, as
; the tool loads the module next to itself), Plug-Ins\x86 (for 32-bit editors; the only one on 32-bit
; Windows), the guide and the licence, and registers an uninstaller in the list of programs.
; Optional: a copy of the 64-bit module in Photoshop's shared plug-in folder (ticked when that folder
; exists), and the tool's folder on the installing user's PATH (off unless ticked, or /PATH in a
; silent install). What the options did is written into the uninstall key, so that the uninstaller
; removes exactly that and nothing else.
;
; Silent: setup.exe /S [/PATH] [/D=C:\Some Folder]   (/D= last, unquoted, as NSIS wants it)

Unicode true
; As -Werror for the C++: a warning here is usually a mistyped name.
!pragma warning error all
!ifndef PRODUCT | PUBLISHER | VERSION | STAGE | OUTFILE
  !error "define PRODUCT, PUBLISHER, VERSION, STAGE and OUTFILE (see scripts/package.sh)"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Photoshop's shared plug-in folder, in the 64-bit Program Files: the one that 64-bit Photoshop scans.
!define SHARED_PARENT "$COMMONFILES64\Adobe"
!define SHARED_FOLDER "${SHARED_PARENT}\Plug-Ins\CC"
!define MODULE "${PRODUCT}.8bf"
!define TOOL "aperlume.exe"
!define GUIDE "README.html"
!define LICENCE "LICENSE.txt"
!define SHORTCUT_FOLDER "$SMPROGRAMS\${PRODUCT}"
; The longest PATH worked on: a string's NSIS_MAX_STRLEN - 1 characters less the two separators that
; the search and the removal put around it.
!define /math PATH_MAX ${NSIS_MAX_STRLEN} - 3

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; Chosen in .onInit, unless /D= chose it already.
InstallDir ""
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\${GUIDE}"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the guide (installing into your editor, the settings)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\${LICENCE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The folder of the tool that matches this Windows, as it goes on PATH.
Var ToolFolder

; How many of the folders down to $0 do not exist yet: $1.
Function CountMissingFolders
  StrCpy $1 0
  StrCpy $2 $0
  ${DoUntil} ${FileExists} "$2\*.*"
    IntOp $1 $1 + 1
    ${GetParent} $2 $2
    ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
  ${Loop}
FunctionEnd

; Records under NAME how many of the folders down to $0 the installation is about to make, so that
; the uninstaller removes those (if empty by then) and never one it found. A reinstallation finds
; them there already, and keeps the count of the first.
!macro RecordFoldersMade NAME
  Call CountMissingFolders
  ClearErrors
  ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "${NAME}"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "${NAME}" $1
  ${EndIf}
!macroend

Section "-Common files"
  StrCpy $0 "$INSTDIR"
  !insertmacro RecordFoldersMade "FoldersCreated"
  SetOutPath "$INSTDIR"
  File "/oname=${GUIDE}" "${STAGE}\${GUIDE}"
  File "/oname=${LICENCE}" "${STAGE}\${LICENCE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateDirectory "${SHORTCUT_FOLDER}"
  CreateShortcut "${SHORTCUT_FOLDER}\${PRODUCT} guide.lnk" "$INSTDIR\${GUIDE}"

  ; Values a previous installation recorded (a PATH entry, a shared copy) stay: the uninstaller still
  ; has to undo them.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Plug-in for 64-bit editors" SecX64
  SectionIn RO
  SetOutPath "$INSTDIR\Plug-Ins\x64"
  File "${STAGE}\x64\${MODULE}"
  File "${STAGE}\x64\${TOOL}"
SectionEnd

Section "Plug-in for 32-bit editors" SecX86
  SetOutPath "$INSTDIR\Plug-Ins\x86"
  File "${STAGE}\x86\${MODULE}"
  File "${STAGE}\x86\${TOOL}"
SectionEnd

Section "Copy into Photoshop's shared plug-in folder" SecShared
  StrCpy $0 "${SHARED_FOLDER}"
  !insertmacro RecordFoldersMade "SharedFoldersCreated"
  SetOutPath "${SHARED_FOLDER}"
  File "${STAGE}\x64\${MODULE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "SharedPluginCopy" "${SHARED_FOLDER}\${MODULE}"
SectionEnd

Section /o "Add the command-line tool to my PATH" SecPath
  Call AddToolToPath
SectionEnd

Section "-Size for the list of programs"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecX64} "The plug-in for current (64-bit) editors, with the command-line tool, in Plug-Ins\x64."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecX86} "The plug-in for 32-bit editors, with a 32-bit command-line tool, in Plug-Ins\x86."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecShared} "Also put the 64-bit plug-in into ${SHARED_FOLDER}, where Photoshop finds it without further setup."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Lets you type aperlume in a command prompt or PowerShell without its folder. Your own PATH only."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Removes the folder $0 and then its parents, $1 levels in all, each only if empty.
Function un.RemoveFoldersMade
  ${DoWhile} $1 > 0
    RMDir $0
    ${GetParent} $0 $0
    IntOp $1 $1 - 1
  ${Loop}
FunctionEnd

!macro UnselectAndLock SECTION
  !insertmacro UnselectSection ${SECTION}
  !insertmacro SetSectionFlag ${SECTION} ${SF_RO}
!macroend

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
    ${IfNot} ${FileExists} "${SHARED_FOLDER}\*.*"
      !insertmacro UnselectSection ${SecShared}
    ${EndIf}
  ${Else}
    ; 32-bit Windows runs 32-bit editors only.
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${EndIf}
    !insertmacro UnselectAndLock ${SecX64}
    SectionSetText ${SecX64} ""
    !insertmacro UnselectAndLock ${SecShared}
    SectionSetText ${SecShared} ""
    !insertmacro SelectSection ${SecX86}
    !insertmacro SetSectionFlag ${SecX86} ${SF_RO}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; The user's PATH as NSIS can hold it: $R1 the value, $R2 "ok", "missing", or "unreadable" when it
; exists but is not text or is too long to work with. A string holds NSIS_MAX_STRLEN - 1 characters
; and anything longer is cut short without a word: reading a longer PATH gives an empty string, and
; the PATH with a separator at each end (as the search and the removal below see it) has to fit too.
; Writing back either would lose part of the user's PATH, so such a PATH is never written.
!macro ReadUserPath UN
Function ${UN}ReadUserPath
  ClearErrors
  ReadRegStr $R1 HKCU "Environment" "Path"
  ${IfNot} ${Errors}
    StrCpy $R2 "ok"
    StrLen $R3 $R1
    ${If} $R3 > ${PATH_MAX}
      StrCpy $R2 "unreadable"
      StrCpy $R1 ""
    ${EndIf}
    Return
  ${EndIf}
  StrCpy $R2 "missing"
  StrCpy $R3 0
  ${Do}
    ClearErrors
    EnumRegValue $R4 HKCU "Environment" $R3
    ${If} ${Errors}
    ${OrIf} $R4 == ""
      ${Break}
    ${EndIf}
    ${If} $R4 == "Path"  ; StrCmp ignores case, as the registry does
      StrCpy $R2 "unreadable"
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  StrCpy $R1 ""
FunctionEnd
!macroend
!insertmacro ReadUserPath ""
!insertmacro ReadUserPath "un."

!macro PathLeftAlone WHY ADVICE
  MessageBox MB_OK|MB_ICONEXCLAMATION "${WHY}, so it was left as it is.$\r$\n$\r$\n${ADVICE}" /SD IDOK
  DetailPrint "PATH left unchanged: ${WHY}"
!macroend

!macro TellEnvironmentChanged
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
!macroend

Function AddToolToPath
  ${If} ${RunningX64}
    StrCpy $ToolFolder "$INSTDIR\Plug-Ins\x64"
  ${Else}
    StrCpy $ToolFolder "$INSTDIR\Plug-Ins\x86"
  ${EndIf}
  Call ReadUserPath
  ${If} $R2 == "unreadable"
    !insertmacro PathLeftAlone "Your PATH is longer than this installer can safely rewrite (${PATH_MAX} characters)" \
      "To type aperlume without its folder, add this folder to your PATH yourself:$\r$\n$ToolFolder"
    Return
  ${EndIf}
  ; Already there (typed by hand, or by an earlier installation): nothing to add, nothing to undo.
  ${WordFind} ";$R1;" ";$ToolFolder;" "E*" $R3
  ${IfNot} ${Errors}
    DetailPrint "PATH already holds $ToolFolder"
    Return
  ${EndIf}
  StrCpy $R3 $R1
  StrCpy $R4 $R3 1 -1
  ${If} $R3 != ""
  ${AndIf} $R4 != ";"
    StrCpy $R3 "$R3;"
  ${EndIf}
  ; Check the sum, not the result (which would be cut short), against what the uninstaller can
  ; still work on.
  StrLen $R4 $R3
  StrLen $R5 $ToolFolder
  IntOp $R4 $R4 + $R5
  ${If} $R4 > ${PATH_MAX}
    !insertmacro PathLeftAlone "Adding the tool's folder would make your PATH longer than this installer can safely write (${PATH_MAX} characters)" \
      "To type aperlume without its folder, add this folder to your PATH yourself:$\r$\n$ToolFolder"
    Return
  ${EndIf}
  StrCpy $R3 "$R3$ToolFolder"
  WriteRegExpandStr HKCU "Environment" "Path" $R3
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PathEntry" $ToolFolder
  ${If} $R2 == "missing"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "PathCreated" 1
  ${EndIf}
  DetailPrint "Added to your PATH: $ToolFolder"
  !insertmacro TellEnvironmentChanged
FunctionEnd

; Takes the entry $0 out of the user's PATH wherever it stands, leaving everything else as it was.
Function un.RemoveFromPath
  Call un.ReadUserPath
  ${If} $R2 == "unreadable"
    !insertmacro PathLeftAlone "Your PATH is longer than this uninstaller can safely rewrite (${PATH_MAX} characters)" \
      "You may take this folder out of it yourself:$\r$\n$0"
    Return
  ${ElseIf} $R2 == "missing"
    Return
  ${EndIf}
  ${WordReplace} ";$R1;" ";$0;" ";" "+" $R3
  ${If} $R3 == ";$R1;"
    Return
  ${EndIf}
  ; Drop the two separators added around it above.
  StrCpy $R3 $R3 "" 1
  StrCpy $R3 $R3 -1
  ReadRegDWORD $R4 HKLM "${UNINSTALL_KEY}" "PathCreated"
  ${If} $R3 == ""
  ${AndIf} $R4 == 1
    DeleteRegValue HKCU "Environment" "Path"
  ${Else}
    WriteRegExpandStr HKCU "Environment" "Path" $R3
  ${EndIf}
  DetailPrint "Removed from your PATH: $0"
  !insertmacro TellEnvironmentChanged
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${If} $0 != ""
    Call un.RemoveFromPath
  ${EndIf}

  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "SharedPluginCopy"
  ${If} $0 != ""
    Delete $0
    ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "SharedFoldersCreated"
    ${GetParent} $0 $0
    Call un.RemoveFoldersMade
  ${EndIf}

  ; Only our own files, and then the folders if they are empty: /D= may have named a folder that
  ; holds other things too.
  Delete "$INSTDIR\Plug-Ins\x64\${MODULE}"
  Delete "$INSTDIR\Plug-Ins\x64\${TOOL}"
  Delete "$INSTDIR\Plug-Ins\x86\${MODULE}"
  Delete "$INSTDIR\Plug-Ins\x86\${TOOL}"
  RMDir "$INSTDIR\Plug-Ins\x64"
  RMDir "$INSTDIR\Plug-Ins\x86"
  RMDir "$INSTDIR\Plug-Ins"
  Delete "$INSTDIR\${GUIDE}"
  Delete "$INSTDIR\${LICENCE}"
  Delete "$INSTDIR\uninstall.exe"
  StrCpy $0 "$INSTDIR"
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "FoldersCreated"
  ${If} $1 < 1
    StrCpy $1 1  ; an installation folder found empty is still ours
  ${EndIf}
  Call un.RemoveFoldersMade

  SetShellVarContext all
  Delete "${SHORTCUT_FOLDER}\${PRODUCT} guide.lnk"
  RMDir "${SHORTCUT_FOLDER}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
