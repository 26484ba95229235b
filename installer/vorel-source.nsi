; The Vorel source's Windows installer, built by makensis with
;   -DBIN=<folder of vorelsrc.ds and VOREL32.dll>
;   -DRESOURCES=<folder of resource_ids.h>
;   -DOUTFILE=<the setup program to write>
;
; It puts vorelsrc.ds, and when asked (/SIM=1 or the component) the
; simulated scanner library VOREL32.dll, into the twain_32 folder of the
; Windows folder, where source managers look for sources; writes the
; source's profile defaults unless a profile is already there; and
; registers an uninstaller that takes away what was put there. The version
; is the one in vorelsrc.ds's version resource, the names those of the
; source's string table.
;
; Command line: /S silent, /SIM=1 or /SIM=0 with or without the simulated
; scanner. The uninstaller: /S silent, /REMOVESETTINGS=1 also deletes
; vorelsrc.ini.
;
; Exit codes: 0 installed (or uninstalled); 1 cancelled by the user; 2 a
; file to replace or remove is held by a running application and the user
; (or silent mode) chose not to retry.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef BIN | RESOURCES | OUTFILE
  !error "makensis -DBIN=... -DRESOURCES=... -DOUTFILE=... vorel-source.nsi"
!endif

!getdllversion "${BIN}/vorelsrc.ds" VERSION_
!define VERSION "${VERSION_1}.${VERSION_2}.${VERSION_3}.${VERSION_4}"
!searchparse /file "${RESOURCES}/resource_ids.h" `#define TEXT_MANUFACTURER "` PUBLISHER `"`
!searchparse /file "${RESOURCES}/resource_ids.h" `#define TEXT_PRODUCT_NAME "` PRODUCT `"`

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VorelSource"
!define UNINSTALLER "vorelsrc-uninstall.exe"
!define SETTINGS "$WINDIR\vorelsrc.ini"
!define ABORTED_FILE_IN_USE 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Source managers look for 32-bit sources here; the place is not a choice.
InstallDir "$WINDIR\twain_32"
; A label shows "&&" as "&".
!searchreplace PUBLISHER_LABEL "${PUBLISHER}" "&" "&&"
BrandingText "${PUBLISHER_LABEL}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Waits until the file on the stack can be replaced or removed: a running
; application that loaded the source holds it. The user is asked to close
; that application and retry; Cancel, and silent mode, end the run with
; ABORTED_FILE_IN_USE. A file that is not there is no obstacle.
!macro DEFINE_WAIT_UNTIL_FREE PREFIX
Function ${PREFIX}WaitUntilFree
  Exch $R0
  Push $R1
  retry:
  ${If} ${FileExists} "$R0"
    ClearErrors
    FileOpen $R1 "$R0" a
    ${If} ${Errors}
      DetailPrint "In use: $R0"
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "$R0 is in use by a running program.$\r$\n$\r$\nClose every program that scans or shows the ${PRODUCT} window, then press Retry. Cancel stops here and changes nothing more." \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel ${ABORTED_FILE_IN_USE}
      Abort "$R0 is in use by a running program."
    ${EndIf}
    FileClose $R1
  ${EndIf}
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro DEFINE_WAIT_UNTIL_FREE ""
!insertmacro DEFINE_WAIT_UNTIL_FREE "un."

!macro WAIT_UNTIL_FREE PATH
  Push "${PATH}"
  Call WaitUntilFree
!macroend

!macro UN_WAIT_UNTIL_FREE PATH
  Push "${PATH}"
  Call un.WaitUntilFree
!macroend

Var simulatorInstalled  ; 1 when VOREL32.dll in $INSTDIR is ours

; Every file this run replaces is checked first, so that a file in use
; stops the run before anything changed.
Section "-Check files in use"
  Call CheckFilesInUse
SectionEnd

Section "${PRODUCT} (vorelsrc.ds)" SourceSection
  SectionIn RO
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${BIN}/vorelsrc.ds"
SectionEnd

Section /o "Simulated scanner (VOREL32.dll)" SimulatorSection
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${BIN}/VOREL32.dll"
  StrCpy $simulatorInstalled 1
SectionEnd

Function CheckFilesInUse
  !insertmacro WAIT_UNTIL_FREE "$INSTDIR\vorelsrc.ds"
  !insertmacro WAIT_UNTIL_FREE "$INSTDIR\${UNINSTALLER}"
  ${If} ${SectionIsSelected} ${SimulatorSection}
    !insertmacro WAIT_UNTIL_FREE "$INSTDIR\VOREL32.dll"
  ${EndIf}
FunctionEnd

; The profile defaults, only when there is no profile: a user's settings
; are never replaced.
Section "-Settings"
  ${IfNot} ${FileExists} "${SETTINGS}"
    WriteINIStr "${SETTINGS}" "Test" "Highlight" "220"
    WriteINIStr "${SETTINGS}" "Test" "GammaX10" "22"
    FlushINI "${SETTINGS}"
  ${EndIf}
SectionEnd

Section "-Uninstaller"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  StrCpy $R9 0
  Push "$INSTDIR\vorelsrc.ds"
  Call AddFileSize
  Push "$INSTDIR\${UNINSTALLER}"
  Call AddFileSize
  ${If} $simulatorInstalled == 1
    Push "$INSTDIR\VOREL32.dll"
    Call AddFileSize
  ${EndIf}
  IntOp $R9 $R9 + 1023
  IntOp $R9 $R9 / 1024
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_1}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_2}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vorelsrc.ds,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R9
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "SimulatedScanner" $simulatorInstalled
SectionEnd

; Adds the size in bytes of the file on the stack to $R9.
Function AddFileSize
  Exch $R0
  Push $R1
  Push $R2
  ClearErrors
  FileOpen $R1 "$R0" r
  ${IfNot} ${Errors}
    FileSeek $R1 0 END $R2
    FileClose $R1
    IntOp $R9 $R9 + $R2
  ${EndIf}
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

Function .onInit
  ; A simulated scanner put here by an earlier run stays ours and is
  ; replaced again, unless the command line says otherwise.
  ClearErrors
  ReadRegDWORD $simulatorInstalled HKLM "${UNINSTALL_KEY}" "SimulatedScanner"
  ${If} ${Errors}
  ${OrIf} $simulatorInstalled != 1
    StrCpy $simulatorInstalled 0
  ${Else}
    !insertmacro SelectSection ${SimulatorSection}
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SIM=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == 1
      !insertmacro SelectSection ${SimulatorSection}
    ${Else}
      !insertmacro UnselectSection ${SimulatorSection}
    ${EndIf}
  ${EndIf}
FunctionEnd

; The uninstaller removes the files the installer put here and its key;
; the settings only when asked.
Var removeSimulator

Section "un.${PRODUCT}" UnSourceSection
  SectionIn RO
  ClearErrors
  ReadRegDWORD $removeSimulator HKLM "${UNINSTALL_KEY}" "SimulatedScanner"
  ${If} ${Errors}
    StrCpy $removeSimulator 0
  ${EndIf}
  !insertmacro UN_WAIT_UNTIL_FREE "$INSTDIR\vorelsrc.ds"
  ${If} $removeSimulator == 1
    !insertmacro UN_WAIT_UNTIL_FREE "$INSTDIR\VOREL32.dll"
  ${EndIf}
  Delete "$INSTDIR\vorelsrc.ds"
  ${If} $removeSimulator == 1
    Delete "$INSTDIR\VOREL32.dll"
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings (vorelsrc.ini)" UnSettingsSection
  Delete "${SETTINGS}"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == 1
    !insertmacro SelectSection ${UnSettingsSection}
  ${EndIf}
FunctionEnd
