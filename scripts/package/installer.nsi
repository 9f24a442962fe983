; The DJ's installer, built by scripts/package.sh with makensis. Per user, no administrator rights,
; nothing downloaded: it carries the plug-in, the wall files and the private Node.js runtime.
;
;   <Documents>\VirtualDJ\Plugins64\VideoEffect\LUMVO Video Wall.dll   the plug-in, where the host
;                                                                     loads 64-bit video effects
;   %LOCALAPPDATA%\LUMVO\video-wall\server, \web, \VERSION              the wall files
;   %LOCALAPPDATA%\LUMVO\runtime\node\node.exe                          the private Node.js runtime
;   %LOCALAPPDATA%\LUMVO\uninstall.exe                                  registered with Windows
;
; The wall folder also holds the DJ's own files (layout.ini, uploads, looks, the guest background
; and logos, wall.db and its backups, ...): the installer and the uninstaller touch only the wall
; files above, so those stay, whatever their case. package.sh checks that the wall files are
; exactly server\ and web\ and that no name in them is one of the DJ's.
;
; Defines from package.sh: VERSION (digits and dots), FILE_VERSION (the same in four parts),
; TEST_BUILD (0 or 1), STAGE (the staged folder: video-wall\, plugin\, runtime\node\), OUTFILE,
; MAKER_SITE (the maker's host), BRAND (brand/installer: the icon and the welcome page's picture).

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
SetDatablockOptimize on
CRCCheck on

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "LUMVO Video Wall"
!define PLUGIN_DLL "LUMVO Video Wall.dll"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LUMVO Video Wall"
!if ${TEST_BUILD} == 1
  !define SHOWN_VERSION "${VERSION} (test build)"
!else
  !define SHOWN_VERSION "${VERSION}"
!endif

Name "${PRODUCT} ${SHOWN_VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\LUMVO"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${SHOWN_VERSION}"

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey ProductVersion "${SHOWN_VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "${PRODUCT} ${SHOWN_VERSION} Setup"
VIAddVersionKey CompanyName "LUMVO"
VIAddVersionKey LegalCopyright "LUMVO"

Var PluginFolder     ; the host's 64-bit video-effect folder
Var InstalledVersion ; the version already installed, if any
Var InstalledVersionText

; --- Pages -----------------------------------------------------------------------------------

!define MUI_ABORTWARNING
!define MUI_ICON "${BRAND}/lumvo.ico"
!define MUI_UNICON "${BRAND}/lumvo.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${BRAND}/wizard.bmp"
!define MUI_WELCOMEPAGE_TITLE "${PRODUCT} ${SHOWN_VERSION}"
!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${SHOWN_VERSION} for you: the video effect for VirtualDJ, the wall server and its own Node.js. It needs no administrator rights and no internet, now or at the venue.$\r$\n$\r$\n$InstalledVersionText$\r$\n$\r$\nClose VirtualDJ before you go on."
!insertmacro MUI_PAGE_WELCOME

!define MUI_PAGE_HEADER_TEXT "Where it goes"
!define MUI_PAGE_HEADER_SUBTEXT "${PRODUCT} ${SHOWN_VERSION}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "The video effect goes into VirtualDJ's video-effect folder:$\r$\n$PluginFolder$\r$\n$\r$\nThe wall files and Node.js go into the folder below, where the effect looks for them. Your settings, photos and wall database there are kept."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Install folder"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW LockFolder
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Installing"
!define MUI_PAGE_HEADER_SUBTEXT "${PRODUCT} ${SHOWN_VERSION}"
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Installed"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "${PRODUCT} ${SHOWN_VERSION} is installed."
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES

; The same steps as the README's "Install on Windows".
!define MUI_FINISHPAGE_TITLE "Your video wall is ready"
!define MUI_FINISHPAGE_TEXT "What to do next:$\r$\n$\r$\n1. Open VirtualDJ.$\r$\n2. Add the $\"${PRODUCT}$\" effect (Video effects).$\r$\n3. Press $\"Open moderator$\".$\r$\n4. Scan the QR code on the TV with your phone.$\r$\n$\r$\nEverything runs on this PC: no internet is needed."
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "This removes the video effect, the wall files and Node.js. Your settings, photos, wall database and its backups stay in the folder below."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; --- Shared steps ------------------------------------------------------------------------------

; A loaded DLL (or a running node.exe) cannot be replaced or removed: while the host has the
; plug-in loaded, opening it for writing fails. Asks the DJ to close the host and try again; a
; silent run, or a DJ who cancels, ends with nothing changed.
!macro DefineCheckNotInUse un
Function ${un}CheckNotInUse
  retry:
  StrCpy $0 ""
  ${If} ${FileExists} "$PluginFolder\${PLUGIN_DLL}"
    ClearErrors
    FileOpen $1 "$PluginFolder\${PLUGIN_DLL}" a
    ${If} ${Errors}
      StrCpy $0 "VirtualDJ"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
  ${If} $0 == ""
  ${AndIf} ${FileExists} "$INSTDIR\runtime\node\node.exe"
    ClearErrors
    FileOpen $1 "$INSTDIR\runtime\node\node.exe" a
    ${If} ${Errors}
      StrCpy $0 "the wall server"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
  ${If} $0 == ""
    Return
  ${EndIf}
  DetailPrint "${PRODUCT} is in use by $0. Close VirtualDJ first."
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is in use: VirtualDJ has it loaded.$\r$\n$\r$\nClose VirtualDJ first (a loaded plug-in cannot be replaced), then press Retry." /SD IDCANCEL IDRETRY retry
  SetErrorLevel 3
  Abort "Close VirtualDJ first, then run this again."
FunctionEnd
!macroend
!insertmacro DefineCheckNotInUse ""
!insertmacro DefineCheckNotInUse "un."

; The wall files: the program's part of the wall folder. Nothing else in it is touched.
!macro RemoveWallFiles
  RMDir /r "$INSTDIR\video-wall\server"
  RMDir /r "$INSTDIR\video-wall\web"
  Delete "$INSTDIR\video-wall\VERSION"
!macroend

!macro FindPluginFolder
  ; The shell's Documents folder, wherever the DJ keeps it (another drive, a synced folder).
  StrCpy $PluginFolder "$DOCUMENTS\VirtualDJ\Plugins64\VideoEffect"
!macroend

; --- Install -----------------------------------------------------------------------------------

Function .onInit
  SetShellVarContext current
  ; The plug-in looks for its files here and nowhere else: no other folder is offered.
  StrCpy $INSTDIR "$LOCALAPPDATA\LUMVO"
  !insertmacro FindPluginFolder
  ReadRegStr $InstalledVersion HKCU "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $InstalledVersion != ""
    StrCpy $InstalledVersionText "${PRODUCT} $InstalledVersion is installed: it is replaced, and your settings, photos and wall database are kept."
  ${Else}
    StrCpy $InstalledVersionText "Your settings, photos and wall database, once you have them, are kept by every later install and by the uninstaller."
  ${EndIf}
FunctionEnd

Function LockFolder
  EnableWindow $mui.DirectoryPage.Directory 0
  EnableWindow $mui.DirectoryPage.BrowseButton 0
FunctionEnd

Section "Install"
  SetShellVarContext current
  SetOverwrite on
  Call CheckNotInUse

  ; An older version's wall files go first, so that none of its files is left behind.
  DetailPrint "Wall files: $INSTDIR\video-wall"
  !insertmacro RemoveWallFiles
  SetOutPath "$INSTDIR\video-wall"
  File /r "${STAGE}/video-wall/*"
  FileOpen $0 "$INSTDIR\video-wall\VERSION" w
  FileWrite $0 "${VERSION}$\n"
  FileClose $0

  DetailPrint "Node.js: $INSTDIR\runtime\node"
  SetOutPath "$INSTDIR\runtime\node"
  File "${STAGE}/runtime/node/node.exe"

  DetailPrint "Video effect: $PluginFolder"
  CreateDirectory "$PluginFolder"
  SetOutPath "$PluginFolder"
  Delete "$PluginFolder\${PLUGIN_DLL}.old"
  File "${STAGE}/plugin/${PLUGIN_DLL}"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "LUMVO"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "https://${MAKER_SITE}/"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "PluginFile" "$PluginFolder\${PLUGIN_DLL}"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR\video-wall\server" "/S=0K" $0 $1 $2
  ${GetSize} "$INSTDIR\video-wall\web" "/S=0K" $3 $1 $2
  ${GetSize} "$INSTDIR\runtime\node" "/S=0K" $4 $1 $2
  IntOp $0 $0 + $3
  IntOp $0 $0 + $4
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; --- Uninstall ---------------------------------------------------------------------------------

Function un.onInit
  SetShellVarContext current
  StrCpy $INSTDIR "$LOCALAPPDATA\LUMVO"
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "PluginFile"
  ${If} $0 != ""
    ${GetParent} $0 $PluginFolder
  ${Else}
    !insertmacro FindPluginFolder
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.CheckNotInUse
  Delete "$PluginFolder\${PLUGIN_DLL}"
  Delete "$PluginFolder\${PLUGIN_DLL}.old"
  !insertmacro RemoveWallFiles
  RMDir /r "$INSTDIR\runtime"
  Delete "$INSTDIR\uninstall.exe"
  ; Left only when they hold nothing: the wall folder keeps the DJ's files.
  RMDir "$INSTDIR\video-wall"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
