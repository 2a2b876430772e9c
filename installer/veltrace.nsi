; The Windows installer: Quorvane Veltrace, per machine, 64-bit. Built by
; makensis with these defined on its command line:
;   VERSION   1.5.0.1
;   MODULE    the built QvMfxVeltrace.dll
;   README    the user's README text
;   LICENSE   the licence text
;   OUTFILE   where the installer goes
;   SIGN      optional: a command that signs the file it is given in place
; It copies the module, the README and the licence into
; Program Files\Quorvane\Veltrace, registers the module through its own
; DllRegisterServer, writes an uninstaller and an entry under the installed
; programs. Installing over an earlier install unregisters the old module
; first. /S runs it silently, /D=FOLDER installs elsewhere.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; No file times in the installer: the same files give the same installer.
SetDateSave off
RequestExecutionLevel admin

!ifdef SIGN
  ; The uninstaller is signed before the installer stores it, so the one it
  ; writes is signed; the installer once makensis has written it.
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

!define PRODUCT "Quorvane Veltrace"
!define PUBLISHER "Quorvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneVeltrace"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quorvane\Veltrace"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

LicenseData "${LICENSE}"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Veltrace"
  SetOutPath "$INSTDIR"
  ; An earlier install: take its module out of the registry before replacing it.
  IfFileExists "$INSTDIR\QvMfxVeltrace.dll" 0 +2
    UnRegDLL "$INSTDIR\QvMfxVeltrace.dll"
  File "/oname=QvMfxVeltrace.dll" "${MODULE}"
  File "/oname=README.txt" "${README}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  RegDLL "$INSTDIR\QvMfxVeltrace.dll"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size in KB, of what this install put on the disk.
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  UnRegDLL "$INSTDIR\QvMfxVeltrace.dll"
  Delete "$INSTDIR\QvMfxVeltrace.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"                      ; only when empty: nothing of anyone else's goes
  RMDir "$PROGRAMFILES64\Quorvane"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
