; The Vorel source's Windows installer, built by makensis with
;   -DBIN=<folder of vorelsrc.ds and VOREL32.dll>
;   -DRESOURCES=<folder of resource_ids.h>
;   -DOUTFILE=<the setup program to write>
;   -DBIN64=<folder of the 64-bit vorelsrc.ds> (optional)
;
; It puts vorelsrc.ds, and when asked (/SIM=1 or the component) the
; simulated scanner library VOREL32.dll, into the twain_32 folder of the
; Windows folder, where source managers look for sources; writes the
; source's profile defaults unless a profile is already there; and
; registers an uninstaller that takes away what was put there. Built with
; BIN64, it also puts the 64-bit source and its 32-bit helper vorelhost32.exe
; into the twain_64 folder on 64-bit Windows (and the simulated scanner
; beside them when it is installed: the helper loads the library beside
; itself); the uninstaller removes them too. The version
; is the one in vorelsrc.ds's version resource, the names those of the
; source's string table.
;
; Command line: /S silent, /SIM=1 or /SIM=0 with or without the simulated
; scanner. The uninstaller: /S silent, /REMOVESETTINGS=1 also deletes
; vorelsrc.ini.
;
; Exit codes: 0 installed (or uninstalled); 1 cancelled by the user; 2 a
; file to replace or remove is held by a running application and the user
; (or silent mode) chose not to retry; 3 installed, but the simulated
; scanner was left out because a VOREL32.dll that is not this installer's
; simulator is in its place (a scanner maker's library is never replaced).
;
; The simulated scanner this installer put in place is recorded by size and
; SHA-256 in the uninstall key; only a file that still matches the record
; (or is byte for byte the simulator carried here) counts as its own, to
; replace, to remove when a later install leaves it out, or to uninstall.

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
!define KEPT_MAKERS_LIBRARY 3

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
!ifdef BIN64
!include x64.nsh
!define TWAIN64 "$WINDIR\twain_64"
!endif

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_PAGE_CUSTOMFUNCTION_SHOW TitleWithoutSubcaption
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_SHOW TitleWithoutSubcaption
!insertmacro MUI_PAGE_INSTFILES
; Uninstalling frees space: the components page's "Space required" would
; only ever show 0.0 KB.
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.ComponentsWithoutSpace
!insertmacro MUI_UNPAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.TitleWithoutSubcaption
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Each page appends its subcaption (a single space) to the window's title.
Function TitleWithoutSubcaption
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(^SetupCaption)"
FunctionEnd

Function un.TitleWithoutSubcaption
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(^UninstallCaption)"
FunctionEnd

Function un.ComponentsWithoutSpace
  Call un.TitleWithoutSubcaption
  ShowWindow $mui.ComponentsPage.SpaceRequired ${SW_HIDE}
FunctionEnd

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

; The SHA-256 of the file on the stack, as 64 hexadecimal digits; "" when
; it cannot be read. Through the system's CryptoAPI.
!macro DEFINE_FILE_HASH PREFIX
Function ${PREFIX}FileHash
  Exch $R0   ; the file, then the hash
  Push $R1   ; file handle, then the hash value's bytes
  Push $R2   ; size
  Push $R3   ; the file's bytes
  Push $R4   ; provider
  Push $R5   ; hash object
  Push $R6   ; results
  Push $R7   ; the digits
  Push $R8
  StrCpy $R7 ""
  System::Call 'kernel32::CreateFileW(w R0, i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .R1'
  ${If} $R1 != -1
    System::Call 'kernel32::GetFileSize(p R1, p 0) i .R2'
    System::Alloc $R2
    Pop $R3
    System::Call 'kernel32::ReadFile(p R1, p R3, i R2, *i .R8, p 0) i .R6'
    System::Call 'kernel32::CloseHandle(p R1)'
    ${If} $R6 <> 0
    ${AndIf} $R8 == $R2
      ; PROV_RSA_AES (24), CRYPT_VERIFYCONTEXT; CALG_SHA_256 (0x800C)
      System::Call 'advapi32::CryptAcquireContextW(*p .R4, p 0, p 0, i 24, i 0xF0000000) i .R6'
      ${If} $R6 <> 0
        System::Call 'advapi32::CryptCreateHash(p R4, i 0x800C, p 0, i 0, *p .R5) i .R6'
        ${If} $R6 <> 0
          System::Call 'advapi32::CryptHashData(p R5, p R3, i R2, i 0) i .R6'
          ${If} $R6 <> 0
            ; HP_HASHVAL (2): 32 bytes, each written as two digits
            System::Alloc 32
            Pop $R1
            System::Call 'advapi32::CryptGetHashParam(p R5, i 2, p R1, *i 32 .R8, i 0) i .R6'
            ${If} $R6 <> 0
              StrCpy $R6 0
              ${Do}
                IntOp $R2 $R1 + $R6
                System::Call "*$R2(&i1 .R8)"
                IntOp $R8 $R8 & 0xFF
                IntFmt $R8 "%02x" $R8
                StrCpy $R7 "$R7$R8"
                IntOp $R6 $R6 + 1
              ${LoopUntil} $R6 >= 32
            ${EndIf}
            System::Free $R1
          ${EndIf}
          System::Call 'advapi32::CryptDestroyHash(p R5)'
        ${EndIf}
        System::Call 'advapi32::CryptReleaseContext(p R4, i 0)'
      ${EndIf}
    ${EndIf}
    System::Free $R3
  ${EndIf}
  StrCpy $R0 $R7
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; The size in bytes of the file on the stack; "" when there is none.
Function ${PREFIX}FileSize
  Exch $R0
  Push $R1
  ClearErrors
  FileOpen $R1 "$R0" r
  ${If} ${Errors}
    StrCpy $R0 ""
  ${Else}
    FileSeek $R1 0 END $R0
    FileClose $R1
  ${EndIf}
  Pop $R1
  Exch $R0
FunctionEnd

; Whether VOREL32.dll in $INSTDIR is the simulator this installer put there:
; its size and hash are those of the record. Pushes 1 or 0.
Function ${PREFIX}SimulatorIsOurs
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  StrCpy $R3 0
  ClearErrors
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "SimulatorSize"
  ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "SimulatorSHA256"
  ${IfNot} ${Errors}
  ${AndIf} $R1 != ""
  ${AndIf} ${FileExists} "$INSTDIR\VOREL32.dll"
    Push "$INSTDIR\VOREL32.dll"
    Call ${PREFIX}FileSize
    Pop $R2
    ${If} $R2 == $R0
      Push "$INSTDIR\VOREL32.dll"
      Call ${PREFIX}FileHash
      Pop $R2
      ${If} $R2 == $R1
        StrCpy $R3 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  StrCpy $R0 $R3
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd
!macroend
!insertmacro DEFINE_FILE_HASH ""
!insertmacro DEFINE_FILE_HASH "un."

Var simulatorInstalled  ; 1 when VOREL32.dll in $INSTDIR is ours
Var simulatorWasOurs    ; 1 when the VOREL32.dll found there is ours
Var keptMakersLibrary   ; 1 when a foreign VOREL32.dll stopped the simulator

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

; The simulator goes in where there is no VOREL32.dll or where the one there
; is ours (by the record, or byte for byte the simulator carried here); a
; scanner maker's library is kept, and the run says so.
Section /o "Simulated scanner (VOREL32.dll)" SimulatorSection
  SetOutPath "$INSTDIR"
  ${If} ${FileExists} "$INSTDIR\VOREL32.dll"
  ${AndIf} $simulatorWasOurs != 1
    SetOutPath "$PLUGINSDIR"
    File "${BIN}/VOREL32.dll"
    SetOutPath "$INSTDIR"
    Push "$PLUGINSDIR\VOREL32.dll"
    Call FileHash
    Pop $R0
    Push "$INSTDIR\VOREL32.dll"
    Call FileHash
    Pop $R1
    Delete "$PLUGINSDIR\VOREL32.dll"
    ${If} $R0 == ""
    ${OrIf} $R0 != $R1
      StrCpy $keptMakersLibrary 1
      DetailPrint "Kept $INSTDIR\VOREL32.dll: it is not this installer's simulated scanner"
      MessageBox MB_OK|MB_ICONINFORMATION \
        "$INSTDIR\VOREL32.dll is a scanner library that this installer did not put there, so the simulated scanner was not installed: the source uses that library.$\r$\n$\r$\nTo use the simulated scanner instead, remove that file and run this installer again." \
        /SD IDOK
      Return
    ${EndIf}
  ${EndIf}
  SetOverwrite on
  File "${BIN}/VOREL32.dll"
  StrCpy $simulatorInstalled 1
SectionEnd

; Left out this time: the simulator an earlier run installed goes, if it
; is still the file that run put there.
Section "-Simulator left out"
  ${IfNot} ${SectionIsSelected} ${SimulatorSection}
  ${AndIf} $simulatorWasOurs == 1
    Delete "$INSTDIR\VOREL32.dll"
    DetailPrint "Removed the simulated scanner installed earlier"
  ${EndIf}
SectionEnd

Function CheckFilesInUse
  !insertmacro WAIT_UNTIL_FREE "$INSTDIR\vorelsrc.ds"
  !insertmacro WAIT_UNTIL_FREE "$INSTDIR\${UNINSTALLER}"
!ifdef BIN64
  ${If} ${RunningX64}
    !insertmacro WAIT_UNTIL_FREE "${TWAIN64}\vorelsrc.ds"
    !insertmacro WAIT_UNTIL_FREE "${TWAIN64}\vorelhost32.exe"
    ${If} ${SectionIsSelected} ${SimulatorSection}
    ${OrIf} $simulatorWasOurs == 1
      !insertmacro WAIT_UNTIL_FREE "${TWAIN64}\VOREL32.dll"
    ${EndIf}
  ${EndIf}
!endif
  ${If} ${SectionIsSelected} ${SimulatorSection}
  ${OrIf} $simulatorWasOurs == 1
    !insertmacro WAIT_UNTIL_FREE "$INSTDIR\VOREL32.dll"
  ${EndIf}
FunctionEnd

!ifdef BIN64
; 64-bit applications' managers look in twain_64: the 64-bit source and the
; helper that runs the 32-bit scanner library for it. The simulated scanner
; goes beside them with the one in twain_32, under the same rule: a
; VOREL32.dll there that is neither the simulator carried here nor the one
; recorded by an earlier run is a maker's library, and is kept.
Section "-64-bit source"
  ${If} ${RunningX64}
    SetOutPath "${TWAIN64}"
    SetOverwrite on
    File "${BIN64}/vorelsrc.ds"
    File "${BIN}/vorelhost32.exe"
    StrCpy $R3 0  ; 1 when twain_64's VOREL32.dll is absent or ours
    ${If} ${FileExists} "${TWAIN64}\VOREL32.dll"
      Push "${TWAIN64}\VOREL32.dll"
      Call FileHash
      Pop $R1
      ClearErrors
      ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "SimulatorSHA256"
      ${If} $R1 != ""
      ${AndIf} $R1 == $R2
        StrCpy $R3 1
      ${EndIf}
      SetOutPath "$PLUGINSDIR"
      File "${BIN}/VOREL32.dll"
      SetOutPath "${TWAIN64}"
      Push "$PLUGINSDIR\VOREL32.dll"
      Call FileHash
      Pop $R2
      Delete "$PLUGINSDIR\VOREL32.dll"
      ${If} $R1 != ""
      ${AndIf} $R1 == $R2
        StrCpy $R3 1
      ${EndIf}
    ${Else}
      StrCpy $R3 1
    ${EndIf}
    ${If} $simulatorInstalled == 1
      ${If} $R3 == 1
        File "${BIN}/VOREL32.dll"
      ${Else}
        DetailPrint "Kept ${TWAIN64}\VOREL32.dll: it is not this installer's simulated scanner"
      ${EndIf}
    ${ElseIf} $R3 == 1
    ${AndIf} ${FileExists} "${TWAIN64}\VOREL32.dll"
      Delete "${TWAIN64}\VOREL32.dll"
      DetailPrint "Removed the simulated scanner installed earlier beside the 64-bit source"
    ${EndIf}
  ${EndIf}
SectionEnd
!endif

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
!ifdef BIN64
  ${If} ${RunningX64}
    Push "${TWAIN64}\vorelsrc.ds"
    Call AddFileSize
    Push "${TWAIN64}\vorelhost32.exe"
    Call AddFileSize
  ${EndIf}
!endif
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
  ${If} $simulatorInstalled == 1
    Push "$INSTDIR\VOREL32.dll"
    Call FileSize
    Pop $R0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "SimulatorSize" $R0
    Push "$INSTDIR\VOREL32.dll"
    Call FileHash
    Pop $R0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "SimulatorSHA256" $R0
  ${Else}
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "SimulatorSize"
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "SimulatorSHA256"
  ${EndIf}
  ${If} $keptMakersLibrary == 1
    SetErrorLevel ${KEPT_MAKERS_LIBRARY}
  ${EndIf}
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
  InitPluginsDir
  StrCpy $simulatorInstalled 0
  StrCpy $keptMakersLibrary 0
  ; The simulator an earlier run put here, still as that run left it, is
  ; ours: replaced again unless the command line says otherwise, and
  ; removed when left out.
  Call SimulatorIsOurs
  Pop $simulatorWasOurs
  ClearErrors
  ReadRegDWORD $R0 HKLM "${UNINSTALL_KEY}" "SimulatedScanner"
  ${IfNot} ${Errors}
  ${AndIf} $R0 == 1
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

!ifdef BIN64
; The 64-bit source and its helper, and the simulator beside them when it
; is byte for byte the one recorded. Every file of both folders is checked
; first, so that one in use stops the uninstaller before anything goes.
Section "-un.64-bit source"
  ${If} ${RunningX64}
    StrCpy $R3 0  ; 1 when twain_64's VOREL32.dll is the recorded simulator
    ${If} ${FileExists} "${TWAIN64}\VOREL32.dll"
      Push "${TWAIN64}\VOREL32.dll"
      Call un.FileHash
      Pop $R1
      ClearErrors
      ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "SimulatorSHA256"
      ${If} $R1 != ""
      ${AndIf} $R1 == $R2
        StrCpy $R3 1
      ${Else}
        DetailPrint "Kept ${TWAIN64}\VOREL32.dll: it is not the simulated scanner the installer put there"
      ${EndIf}
    ${EndIf}
    !insertmacro UN_WAIT_UNTIL_FREE "$INSTDIR\vorelsrc.ds"
    !insertmacro UN_WAIT_UNTIL_FREE "${TWAIN64}\vorelsrc.ds"
    !insertmacro UN_WAIT_UNTIL_FREE "${TWAIN64}\vorelhost32.exe"
    ${If} $R3 == 1
      !insertmacro UN_WAIT_UNTIL_FREE "${TWAIN64}\VOREL32.dll"
    ${EndIf}
    Delete "${TWAIN64}\vorelsrc.ds"
    Delete "${TWAIN64}\vorelhost32.exe"
    ${If} $R3 == 1
      Delete "${TWAIN64}\VOREL32.dll"
    ${EndIf}
  ${EndIf}
SectionEnd
!endif

; VOREL32.dll goes only when it is byte for byte the simulator the installer
; recorded: a maker's library, or a file changed since, stays.
Section "un.${PRODUCT}" UnSourceSection
  SectionIn RO
  Call un.SimulatorIsOurs
  Pop $removeSimulator
  ${If} $removeSimulator != 1
  ${AndIf} ${FileExists} "$INSTDIR\VOREL32.dll"
    DetailPrint "Kept $INSTDIR\VOREL32.dll: it is not the simulated scanner the installer put there"
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

; An uninstaller started by its name copies itself into a folder of its own
; in %TEMP% (~nsuN.tmp) and runs from there, where it cannot delete itself;
; NSIS leaves that folder to the next restart. A hidden command removes it
; once this process has ended: it tries every second for half a minute.
; Only that copy's folder, never the folder the uninstaller was installed
; in (run there with _?=).
Var removingOwnCopy
Function un.RemoveOwnCopyLater
  ${If} $removingOwnCopy == 1
    Return
  ${EndIf}
  StrCpy $removingOwnCopy 1
  StrLen $R1 "$TEMP\~nsu"
  StrCpy $R0 "$EXEDIR" $R1
  ${If} $R0 == "$TEMP\~nsu"
  ${AndIf} "$EXEDIR" != "$INSTDIR"
    ExecShell "open" "$SYSDIR\cmd.exe" \
      '/d /c for /l %i in (1,1,30) do (if exist "$EXEDIR\" (ping -n 2 127.0.0.1 >nul & rd /s /q "$EXEDIR" 2>nul))' \
      SW_HIDE
  ${EndIf}
FunctionEnd

Function un.onUninstSuccess
  Call un.RemoveOwnCopyLater
FunctionEnd

Function un.onUninstFailed
  Call un.RemoveOwnCopyLater
FunctionEnd

; The window closed, whatever the end (Cancel included).
Function un.onGUIEnd
  Call un.RemoveOwnCopyLater
FunctionEnd

Function un.onInit
  StrCpy $removingOwnCopy 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == 1
    !insertmacro SelectSection ${UnSettingsSection}
  ${EndIf}
FunctionEnd
