; Veltraw's installer: the programs under Program Files, the clock service
; installed and started, a Start-menu entry, an entry in "Add or remove
; programs", and an uninstaller that ends a running Veltraw and removes the
; service before it removes anything. The build (installer/CMakeLists.txt)
; passes VERSION, VERSION_MAJOR, VERSION_MINOR, VELTRAW_EXE, QUERY_EXE,
; SERVICE_EXE, ICON and OUTFILE. Both run silently with /S; a silent uninstall keeps the
; settings.

Unicode true
; 64-bit like the programs: Program Files and the registry without redirection.
Target amd64-unicode
RequestExecutionLevel admin
ManifestDPIAware true
ManifestSupportedOS all
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltraw"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The value the program itself writes when it is to start with Windows.
!define AUTOLAUNCH_VALUE "VeltrawNTPClient"
!define SETTINGS_KEY "Software\Orvantis\Veltraw"
!define SHORTCUT "$SMPROGRAMS\Veltraw.lnk"

Name "Veltraw ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Orvantis\Veltraw"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Orvantis Veltraw ${VERSION}"

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.0.0"
VIFileVersion "${VERSION_MAJOR}.${VERSION_MINOR}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Veltraw"
VIAddVersionKey /LANG=1033 "CompanyName" "Orvantis"
VIAddVersionKey /LANG=1033 "FileDescription" "Veltraw ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Orvantis"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Veltraw now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartVeltraw

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; A running Veltraw keeps its file open: the program's own "-uninstall" asks it
; to quit and waits until it has (5 s at most).
!macro EndRunningVeltraw
  ${If} ${FileExists} "$INSTDIR\Veltraw.exe"
    ExecWait '"$INSTDIR\Veltraw.exe" -uninstall'
  ${EndIf}
!macroend

Section "Veltraw"
  SetOutPath "$INSTDIR"
  !insertmacro EndRunningVeltraw
  ; A running service keeps its program open: an older one is stopped first,
  ; and -install then updates its registration and starts the new one.
  ${If} ${FileExists} "$INSTDIR\VeltrawService.exe"
    ExecWait '"$INSTDIR\VeltrawService.exe" -stop'
  ${EndIf}
  File "/oname=Veltraw.exe" "${VELTRAW_EXE}"
  File "/oname=veltraw-query.exe" "${QUERY_EXE}"
  File "/oname=VeltrawService.exe" "${SERVICE_EXE}"
  ExecWait '"$INSTDIR\VeltrawService.exe" -install' $0
  ${If} $0 != 0
    ; Veltraw still runs without it, setting the clock itself where it may.
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "The Veltraw clock service could not be installed. Veltraw can set the clock only when it runs as administrator." \
      /SD IDOK
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Veltraw.exe" "" "$INSTDIR\Veltraw.exe" 0 \
    SW_SHOWNORMAL "" "Keeps this PC's clock in step with network time servers"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Veltraw"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvantis"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "http://www.orvantis.example/"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Veltraw.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Through Explorer, so that Veltraw runs as the user who is logged on, with
; that user's settings, and not with the installer's administrator rights.
Function StartVeltraw
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Veltraw.exe"'
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  !insertmacro EndRunningVeltraw
  ${If} ${FileExists} "$INSTDIR\VeltrawService.exe"
    ExecWait '"$INSTDIR\VeltrawService.exe" -remove'
  ${EndIf}
  ; Still in use (another user's Veltraw, say): gone at the next restart.
  Delete /REBOOTOK "$INSTDIR\Veltraw.exe"
  Delete /REBOOTOK "$INSTDIR\veltraw-query.exe"
  Delete /REBOOTOK "$INSTDIR\VeltrawService.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ; Only when nothing else of the maker's is left there.
  RMDir "$PROGRAMFILES64\Orvantis"
  Delete "${SHORTCUT}"

  ; Start with Windows: the program writes the machine's Run key; a user may
  ; have copied the entry into their own.
  DeleteRegValue HKLM "${RUN_KEY}" "${AUTOLAUNCH_VALUE}"
  DeleteRegValue HKCU "${RUN_KEY}" "${AUTOLAUNCH_VALUE}"

  ; The settings are the user's work (servers, log and monitor settings): kept
  ; unless the user says otherwise, and always kept by a silent uninstall.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Also remove Veltraw's settings (time servers, log, data file and monitor settings)?" \
    /SD IDNO IDNO keep_settings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Orvantis"
keep_settings:

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
