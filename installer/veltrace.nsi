; The Windows installer: Quorvane Veltrace, per machine, 64-bit. Built by
; makensis with these defined on its command line:
;   VERSION   1.5.0.1
;   MODULE    the built QvMfxVeltrace.dll
;   CLAP      the built Veltrace.clap
;   VST3      the built VST3 binary (Veltrace.vst3 of the bundle's x86_64-win folder)
;   README    the user's README text
;   LICENSE   the licence text
;   OUTFILE   where the installer goes
;   SIGN      optional: a command that signs the file it is given in place
; It copies the module, the README and the licence into
; Program Files\Quorvane\Veltrace, registers the module through its own
; DllRegisterServer, puts the CLAP and VST3 editions where hosts look for
; them (Common Files\CLAP\Veltrace.clap, Common Files\VST3\Veltrace.vst3),
; writes an uninstaller and an entry under the installed programs. Installing
; over an earlier install unregisters the old module first. /S runs it
; silently, /D=FOLDER installs elsewhere (the CLAP and VST3 editions stay
; where hosts look).

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
  SetOutPath "$COMMONFILES64\CLAP"
  File "/oname=Veltrace.clap" "${CLAP}"
  SetOutPath "$COMMONFILES64\VST3\Veltrace.vst3\Contents\x86_64-win"
  File "/oname=Veltrace.vst3" "${VST3}"
  SetOutPath "$INSTDIR"
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
  Delete "$COMMONFILES64\CLAP\Veltrace.clap"
  RMDir "$COMMONFILES64\CLAP"            ; other plug-ins' folders stay
  Delete "$COMMONFILES64\VST3\Veltrace.vst3\Contents\x86_64-win\Veltrace.vst3"
  RMDir "$COMMONFILES64\VST3\Veltrace.vst3\Contents\x86_64-win"
  RMDir "$COMMONFILES64\VST3\Veltrace.vst3\Contents"
  RMDir "$COMMONFILES64\VST3\Veltrace.vst3"
  RMDir "$COMMONFILES64\VST3"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
