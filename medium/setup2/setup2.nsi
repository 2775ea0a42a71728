; SETUP2.EXE, the second phase of the sample ZEV! medium.
;
; An example for those who ship ZEV! on a medium of their own: a plain
; NSIS 3 script that does what a second phase has to do and no more. It
; needs nothing beyond NSIS itself:
;
;     makensis -DOUTFILE=SETUP2.EXE setup2.nsi
;
; (with -DAMD64 a 64-bit program, which the tests use where no 32-bit
; program runs.)
;
; SIGNED, AS THE FIRST PHASE IS
; Given a sign command, makensis signs the installer and the uninstaller it
; writes, each once it is made ("%1" is the file; the build fails when the
; command does):
;
;     makensis -DOUTFILE=SETUP2.EXE
;       "-DSIGN_COMMAND=tools/sign --cert CERT.pem --key KEY.pem" setup2.nsi
;
; The uninstaller is signed before it is packed into the installer, so
; UNINSTALL.EXE in the product folder carries its own signature.
;
; HOW IT IS STARTED
; SETUP1.EXE, the first phase on the medium, copies this program and the
; files that SETUP1.INF names into the staging folder (the plan's tempdir),
; starts this program from there (under the name of the plan's run value;
; the sample medium calls it PHASE2.EXE) and ends at once, without waiting:
;
;     C:\ZEVSTAGE\SETUP2.EXE /S -p4 A:\
;     "C:\ZEV STAGE\SETUP2.EXE" -p4 D:\ZEV MEDIA\DISK 1
;
;  - the program part is in double quotes only when the staging path holds
;    a blank;
;  - then, when the user typed anything after SETUP1.EXE, one blank and
;    that text unchanged. "/S" there makes this installer silent (NSIS
;    reads it itself). NSIS's "/D=FOLDER" can't come this way: NSIS
;    wants it last, and the hand-over follows;
;  - then " -p" and the plan's target value unchanged: codes joined by
;    "+" (4 for ZEV! 4.20, 3 for ZEV! 3.40), and whatever follows a blank
;    in the value, which plays no part;
;  - then one blank and the folder SETUP1.EXE was started from (the source
;    directory). It is NOT quoted and may hold blanks: it is all the rest
;    of the line.
;  - The current directory is the staging folder, which is also the folder
;    this program lies in ($EXEDIR).
;
; THE STAGING FOLDER IS LEFT AS IT WAS FOUND
; Nobody else removes the staging folder: SETUP1.EXE has ended, and a
; program can't remove the file it runs from. So this program first copies
; itself into a fresh folder of its own under the user's TEMP, starts that
; copy with the same command line and ends (exit code 0); the copy does the
; work, reading the staged files from the staging folder, which it is told
; through two environment variables. When it has installed, or the user
; cancelled, or it stopped on an error, it removes from the staging folder
; what SETUP1.EXE staged there (the files that SETUP1.INF's copyfiles and
; renameto name, under the names SETUP1.EXE gave them), then the folder
; itself if that left it empty: a folder that held other things before
; (a typed C:\TEMP, say) keeps them. Nothing outside the staging folder is
; removed, and nothing at all when the staging folder is the medium's own
; folder. Its own copy under TEMP goes at the next restart, as an
; uninstaller's does.
;
; WHERE IT INSTALLS
; Into a folder that other users of the machine can't change: under the
; program files folder when it runs with administrator rights (as it does
; when an elevated SETUP1.EXE started it), else in the user's own folder
; for programs (%LOCALAPPDATA%\Programs). The directory page offers that
; folder; /S takes it.
;
; WHAT IT LEAVES FOR A LATER ADD-ON
; An add-on medium (SETUP1.EXE with the target code S) finds the product
; through the registry: it walks the version keys below
; HKCU\Software\Tessaric\ZEV! (then HKLM), takes the newest version that
; has a ZODOZ key, and reads the string value Directory there (a trailing
; "\USER" folder is cut off). So this installer writes, per user:
;
;     HKCU\Software\Tessaric\ZEV!\4.20\ZODOZ    Directory = C:\Program Files\ZEV
;     HKCU\Software\Tessaric\ZEV!\4.20\Compatibility
;
; AND HOW IT GOES AGAIN
; UNINSTALL.EXE in the product folder, listed in the user's own list of
; installed programs (HKCU\...\CurrentVersion\Uninstall\ZEV!), removes the
; registry keys above for each version registered in its folder, the list
; entry, the product's files (and the add-on's, which the add-on medium
; put there) and the folder, unless other files are left in it. Silent
; with /S.
;
; The files on the medium are only ever read: nothing there is changed, and
; the product folder may not lie on the medium. What the installer received
; and where each file came from goes to INSTALL.LOG in the product folder.
; Exit code of the copy: 0 when installed, 1 when the user cancelled, 2 on
; an error.

!ifndef OUTFILE
  !define OUTFILE "SETUP2.EXE"
!endif
!define PRODUCT_KEY "Software\Tessaric\ZEV!"
!define LIST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZEV!"
; What the first program tells its copy: the copy's folder (so that a copy
; knows itself) and the staging folder.
!define COPY_VARIABLE "ZEV_SETUP_COPY"
!define STAGING_VARIABLE "ZEV_SETUP_STAGING"

!ifdef AMD64
  ; The 64-bit test build's own second phase, for machines where no 32-bit
  ; program runs: NSIS builds 64-bit installers in Unicode only. Handles
  ; and pointers go to the System plug-in as "p", which fits either size.
  Target amd64-unicode
!else
  Unicode false              ; plain ANSI, like the first phase
!endif
Name "ZEV!"
Caption "ZEV! Setup"
UninstallCaption "ZEV! Uninstall"
OutFile "${OUTFILE}"
!ifdef SIGN_COMMAND
  !finalize '${SIGN_COMMAND} "%1"' = 0
  !uninstfinalize '${SIGN_COMMAND} "%1"' = 0
!endif
; Runs with the rights it was started with: SETUP1.EXE starts it with
; WinExec, which can't ask for more.
RequestExecutionLevel user
ShowInstDetails show
ShowUninstDetails show

!include LogicLib.nsh
!include FileFunc.nsh        ; ${GetParameters}: the command line less the program
!include x64.nsh             ; ${RunningX64}

Var OwnLine                  ; what the user typed after SETUP1.EXE
Var Target                   ; the plan's target value, e.g. 4 or 4+N
Var Source                   ; the folder SETUP1.EXE was started from
Var Version                  ; the edition's version key: 4.20 or 3.40
Var Log                      ; INSTALL.LOG in the product folder
Var Staging                  ; the staging folder; "" once it is dealt with
Var IsCopy                   ; 1 when this is the copy under TEMP
Var CopyList                 ; the plan's copyfiles and renameto
Var RenameList

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Splits the hand-over in $0 (the parameters with a blank put in front) at
; its first " -p": what stands before it is the user's own command line,
; then comes the target value, then one blank and the source directory,
; which is all the rest. The target value may itself hold blanks (only its
; part up to the first blank holds codes), so the source directory starts
; after the first blank that a full path follows ("X:\" or "\\"), or after
; the first blank when none does. $1 is 1 when $0 holds a hand-over.
Function SplitHandOver
  StrCpy $1 0
  StrLen $3 $0
  StrCpy $2 0
  ${Do}
    ${If} $2 >= $3
      Return                 ; no " -p": nothing handed over
    ${EndIf}
    StrCpy $4 $0 3 $2
    ${If} $4 S== " -p"
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  StrCpy $1 1
  IntOp $3 $2 - 1
  StrCpy $OwnLine $0 $3 1    ; less the blank put in front
  IntOp $2 $2 + 3
  StrCpy $0 $0 "" $2         ; "TARGET SOURCE DIRECTORY"
  StrLen $3 $0
  StrCpy $5 -1               ; the first blank
  StrCpy $2 0
  ${DoWhile} $2 < $3
    StrCpy $4 $0 1 $2
    ${If} $4 == " "
      ${If} $5 < 0
        StrCpy $5 $2
      ${EndIf}
      IntOp $6 $2 + 1
      StrCpy $7 $0 2 $6      ; "\\" of a network path
      IntOp $6 $6 + 1
      StrCpy $8 $0 2 $6      ; ":\" after a drive letter
      ${If} $7 == "\\"
      ${OrIf} $8 == ":\"
        StrCpy $5 $2
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  ${If} $5 < 0
    StrCpy $Target $0       ; no blank: no source directory either
    StrCpy $Source ""
    Return
  ${EndIf}
  StrCpy $Target $0 $5
  IntOp $5 $5 + 1
  StrCpy $Source $0 "" $5
  ; "A:\" and "A:" name the same folder; without the backslash, file names
  ; can be joined with one.
  StrCpy $4 $Source "" -1
  ${If} $4 == "\"
    StrCpy $Source $Source -1
  ${EndIf}
FunctionEnd

; The file functions, for the installer and the uninstaller alike.
!macro FileFunctions UN
; $4 = the identity of the file or folder $3 (volume serial number and file
; index), "" where the file system gives none (Windows 95 opens no folder,
; some network drives give every file the index 0). Uses $5 to $8.
Function ${UN}FileIdentity
  StrCpy $4 ""
  ; FILE_READ_ATTRIBUTES, every kind of sharing, OPEN_EXISTING,
  ; FILE_FLAG_BACKUP_SEMANTICS (which a folder needs)
  System::Call 'kernel32::CreateFile(t r3, i 0x80, i 7, p 0, i 3, i 0x02000000, p 0) p .r5'
  ${If} $5 = -1
    Return
  ${EndIf}
  System::Call '*(i, i, i, i, i, i, i, i, i, i, i, i, i) p .r6'
  System::Call 'kernel32::GetFileInformationByHandle(p r5, p r6) i .r7'
  ${If} $7 <> 0
    ; BY_HANDLE_FILE_INFORMATION: the volume's serial number is its 8th
    ; DWORD, the file index the 12th and 13th.
    System::Call '*$6(i, i, i, i, i, i, i, i .r7, i, i, i, i .r8, i .r4)'
    ${If} $8 = 0
    ${AndIf} $4 = 0
      StrCpy $4 ""
    ${Else}
      StrCpy $4 "$7:$8:$4"
    ${EndIf}
  ${EndIf}
  System::Free $6
  System::Call 'kernel32::CloseHandle(p r5)'
FunctionEnd

; $0 = 1 when the paths $1 and $2 name one file or folder, under whatever
; names (a short name, another drive letter, a share): by identity where
; the file system gives one, else by the full paths, long and short,
; without case. A folder is best named "FOLDER\." here. Uses $3 to $9.
Function ${UN}SameFile
  StrCpy $0 0
  StrCpy $3 $1
  Call ${UN}FileIdentity
  StrCpy $9 $4
  StrCpy $3 $2
  Call ${UN}FileIdentity
  ${If} $9 != ""
  ${AndIf} $4 != ""
    ${If} $9 == $4
      StrCpy $0 1
    ${EndIf}
    Return
  ${EndIf}
  GetFullPathName $3 $1
  GetFullPathName $4 $2
  ${If} $3 == $4
    StrCpy $0 1
  ${EndIf}
  GetFullPathName /SHORT $3 $1
  GetFullPathName /SHORT $4 $2
  ${If} $3 != ""
  ${AndIf} $3 == $4
    StrCpy $0 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro FileFunctions ""
!insertmacro FileFunctions "un."

; Copies this program into a fresh folder of its own under TEMP and starts
; the copy with the same command line, so that the staging folder can go
; when the copy is done; then this program ends. Where that can't be done,
; it returns and this program does the work itself.
Function StartCopy
  GetTempFileName $0         ; a fresh name: made as a file, taken for a folder
  Delete $0
  System::Call 'kernel32::CreateDirectory(t r0, p 0) i .r1'
  ${If} $1 = 0
    Return                   ; the folder was there after all, or can't be made
  ${EndIf}
  System::Call 'kernel32::CopyFile(t "$EXEPATH", t "$0\$EXEFILE", i 1) i .r1'
  ${If} $1 <> 0
    System::Call 'kernel32::SetEnvironmentVariable(t "${COPY_VARIABLE}", t r0)'
    System::Call 'kernel32::SetEnvironmentVariable(t "${STAGING_VARIABLE}", t "$EXEDIR")'
    ${GetParameters} $1
    SetOutPath $0            ; the copy's current folder: not the staging folder
    ClearErrors
    Exec '"$0\$EXEFILE" $1'
    ${IfNot} ${Errors}
      SetErrorLevel 0
      Quit
    ${EndIf}
    Delete "$0\$EXEFILE"
  ${EndIf}
  RMDir $0
FunctionEnd

; Removes the file $1 from the staging folder $R9. This program's own file
; there is still in use while the program that started this copy ends.
Function DeleteStaged
  ${If} $1 == $EXEFILE
  ${AndIf} $IsCopy == 1
    ${For} $0 1 100
      Delete "$R9\$1"
      ${IfNot} ${FileExists} "$R9\$1"
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
  ${Else}
    Delete "$R9\$1"
  ${EndIf}
FunctionEnd

; $1 = the entry of the list $0 up to its first comma, $0 = the rest after
; that comma, $2 = 1 when there was one.
Function FirstEntry
  StrCpy $2 0
  StrCpy $3 0
  ${Do}
    StrCpy $4 $0 1 $3
    ${If} $4 == ""
      StrCpy $1 $0
      StrCpy $0 ""
      Return
    ${EndIf}
    ${If} $4 == ","
      StrCpy $1 $0 $3
      IntOp $3 $3 + 1
      StrCpy $0 $0 "" $3
      StrCpy $2 1
      Return
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd

; $0 = 1 when the text $1 holds one of the characters of $2.
Function HasAny
  StrLen $3 $1
  StrCpy $4 0
  ${DoWhile} $4 < $3
    StrCpy $5 $1 1 $4
    StrCpy $6 0
    ${Do}
      StrCpy $7 $2 1 $6
      ${If} $7 == ""
        ${Break}
      ${EndIf}
      ${If} $7 S== $5
        StrCpy $0 1
        Return
      ${EndIf}
      IntOp $6 $6 + 1
    ${Loop}
    IntOp $4 $4 + 1
  ${Loop}
  StrCpy $0 0
FunctionEnd

; Removes from the staging folder $R9 what SETUP1.EXE staged there for the
; copy entry $R2 and its rename entry $R3, naming each file as SETUP1.EXE
; does: a match of the entry on the medium goes under its short name (its
; own name when it has none); X.SYS, found on the medium as X.SY$, under
; the name X.SYS; a file that an entry without "*" was renamed to, under
; that name. Only names are taken, never paths: nothing outside the
; staging folder is touched.
Function RemoveStagedEntry
  StrCpy $1 $R2
  StrCpy $2 "*?"
  Call HasAny
  StrCpy $R6 $0              ; a wildcard entry
  StrCpy $2 "\/:"
  Call HasAny
  StrCpy $R7 $0              ; an entry with a folder or drive in it
  StrCpy $1 $R2 "" -4
  StrCpy $2 $R2 -1
  ${If} $R6 == 0
  ${AndIf} $R7 == 0
  ${AndIf} $1 == ".SYS"
  ${AndIf} ${FileExists} "$Source\$2$$"
    StrCpy $1 $R2
    Call DeleteStaged
  ${ElseIf} $R2 != ""
    ; WIN32_FIND_DATA: 11 DWORDs, the name (260 bytes), the short name (14)
    System::Call '*(&i44, &t260, &t14) p .R5'
    System::Call 'kernel32::FindFirstFile(t "$Source\$R2", p R5) p .R8'
    ${If} $R8 <> -1
      ${Do}
        System::Call '*$R5(i .r2, i, i, i, i, i, i, i, i, i, i, &t260 .r3, &t14 .r4)'
        StrCpy $1 $4
        ${If} $1 == ""
          StrCpy $1 $3
        ${EndIf}
        IntOp $2 $2 & 0x10   ; FILE_ATTRIBUTE_DIRECTORY
        ${If} $2 = 0
          Call DeleteStaged
        ${EndIf}
        System::Call 'kernel32::FindNextFile(p R8, p R5) i .r2'
      ${LoopUntil} $2 = 0
      System::Call 'kernel32::FindClose(p R8)'
    ${EndIf}
    System::Free $R5
  ${EndIf}
  ; The name that an entry without "*" was renamed to: a plain name only.
  ${If} $R3 != ""
    StrCpy $1 $R2
    StrCpy $2 "*"
    Call HasAny
    StrCpy $R6 $0
    StrCpy $1 $R3
    StrCpy $2 "*?\/:"
    Call HasAny
    ${If} $0 == 0
    ${AndIf} $R6 == 0
      Call DeleteStaged
    ${EndIf}
  ${EndIf}
FunctionEnd

; Removes what SETUP1.EXE staged for this program (every entry of the plan,
; see RemoveStagedEntry), then the staging folder when that left it empty,
; then this copy's own folder under TEMP (at the next restart, as it is in
; use). Once only, and nothing when the staging folder is the medium's own.
Function RemoveStaging
  ${If} $Staging == ""
    Return
  ${EndIf}
  StrCpy $R9 $Staging
  StrCpy $Staging ""
  SetOutPath $TEMP           ; a process's current folder can't be removed
  StrCpy $0 0
  ${If} $Source != ""
    StrCpy $1 "$R9\."
    StrCpy $2 "$Source\."
    Call SameFile
  ${EndIf}
  ${If} $Source != ""
  ${AndIf} $0 == 0
    ; The two lists side by side; the walk ends with copyfiles.
    StrCpy $R0 $CopyList
    StrCpy $R1 $RenameList
    ${Do}
      StrCpy $0 $R0
      Call FirstEntry
      StrCpy $R0 $0
      StrCpy $R2 $1
      StrCpy $R4 $2
      StrCpy $0 $R1
      Call FirstEntry
      StrCpy $R1 $0
      StrCpy $R3 $1
      Call RemoveStagedEntry
    ${LoopWhile} $R4 == 1
    ${If} $IsCopy == 1
      RMDir $R9
    ${Else}
      ; This program could not move out of the staging folder: its own
      ; file, and with it the folder, go at the next restart.
      Delete /REBOOTOK "$R9\$EXEFILE"
      RMDir /REBOOTOK $R9
    ${EndIf}
  ${EndIf}
  ${If} $IsCopy == 1
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK $EXEDIR
  ${EndIf}
FunctionEnd

Function .onInit
  ${GetParameters} $0
  StrCpy $0 " $0"
  Call SplitHandOver
  ${If} $1 != 1
    ; NSIS takes all of the line after "/D=" as the product folder, and
    ; cuts it off the command line, hand-over and all.
    StrCpy $0 " $INSTDIR"
    Call SplitHandOver
    ${If} $1 == 1
      MessageBox MB_OK|MB_ICONSTOP "/D= can't be passed through SETUP1.EXE: please choose the folder on the next page." /SD IDOK
    ${Else}
      MessageBox MB_OK|MB_ICONSTOP "Please start SETUP1.EXE on the ZEV! medium." /SD IDOK
    ${EndIf}
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; The copy under TEMP knows itself by its folder; the program in the
  ; staging folder starts that copy and ends there, unless the staging
  ; folder is the medium's own, where nothing is removed.
  ReadEnvStr $0 ${COPY_VARIABLE}
  ${If} $0 != ""
  ${AndIf} $0 == $EXEDIR
    StrCpy $IsCopy 1
    ReadEnvStr $Staging ${STAGING_VARIABLE}
  ${Else}
    StrCpy $IsCopy 0
    StrCpy $Staging $EXEDIR
    StrCpy $1 "$EXEDIR\."
    StrCpy $2 "$Source\."
    Call SameFile
    ${If} $0 == 0
      Call StartCopy
    ${EndIf}
  ${EndIf}
  ; What SETUP1.EXE staged, read now while the medium is surely there.
  ${If} $Source != ""
    ReadINIStr $CopyList "$Source\SETUP1.INF" "phasetwo" "copyfiles"
    ReadINIStr $RenameList "$Source\SETUP1.INF" "phasetwo" "renameto"
  ${EndIf}

  ; The edition, from the codes (joined by "+", up to the first blank of
  ; the target value): 4 is ZEV! 4.20, 3 is ZEV! 3.40, and 4 wins when both
  ; are there. Other codes (N for the Linnet edition's picture, S for an
  ; add-on) are none of this program's business.
  StrCpy $Version ""
  StrCpy $0 "$Target "       ; the last code ends in a blank, too
  StrCpy $1 ""               ; the code being read
  StrCpy $2 0
  ${Do}
    StrCpy $4 $0 1 $2
    ${If} $4 == "+"
    ${OrIf} $4 == " "
      ${If} $1 == "4"
        StrCpy $Version "4.20"
      ${ElseIf} $1 == "3"
      ${AndIf} $Version == ""
        StrCpy $Version "3.40"
      ${EndIf}
      StrCpy $1 ""
    ${Else}
      StrCpy $1 "$1$4"
    ${EndIf}
    IntOp $2 $2 + 1
  ${LoopUntil} $4 == " "
  ${If} $Version == ""
    MessageBox MB_OK|MB_ICONSTOP "This medium names no edition of ZEV! (target codes $\"$Target$\")." /SD IDOK
    Call RemoveStaging
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; Where other users can't change the product: the program files folder
  ; for an administrator, else the user's own folder for programs.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
  ${OrIf} $LOCALAPPDATA == ""
    ; Some systems give it with an environment variable in it.
    ExpandEnvStrings $0 $PROGRAMFILES
    StrCpy $INSTDIR "$0\ZEV"
  ${Else}
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\ZEV"
  ${EndIf}
FunctionEnd

; Whatever the end, the staging folder goes.
Function .onInstSuccess
  Call RemoveStaging
FunctionEnd

Function .onInstFailed
  Call RemoveStaging
FunctionEnd

Function .onUserAbort
  Call RemoveStaging
FunctionEnd

; $0 is 1 when the product folder is the medium or lies on it.
Function OnMedium
  StrCpy $0 0
  ${If} $Source == ""
    Return
  ${EndIf}
  StrLen $1 $Source
  StrCpy $2 $INSTDIR $1      ; comparisons are not case-sensitive
  StrCpy $3 $INSTDIR 1 $1
  ${If} $2 == $Source
    ${If} $3 == ""
    ${OrIf} $3 == "\"
      StrCpy $0 1
    ${EndIf}
  ${EndIf}
FunctionEnd

; The directory page refuses a folder on the medium.
Function .onVerifyInstDir
  Call OnMedium
  ${If} $0 == 1
    Abort
  ${EndIf}
FunctionEnd

; Copies one file of the product into the product folder: from the staging
; folder under the name the plan gave it there, else from the medium under
; its name there. $0 is the name in the staging and product folders, $1 the
; name on the medium.
Function TakeFile
  ClearErrors
  ${If} ${FileExists} "$Staging\$0"
    CopyFiles /SILENT "$Staging\$0" "$INSTDIR\$0"
    StrCpy $2 "$Staging\$0"
  ${ElseIf} $Source != ""
  ${AndIf} ${FileExists} "$Source\$1"
    CopyFiles /SILENT "$Source\$1" "$INSTDIR\$0"
    StrCpy $2 "$Source\$1"
  ${Else}
    StrCpy $2 "$1 (on the medium)"
    SetErrors
  ${EndIf}
  ${If} ${Errors}
    FileWrite $Log "could not copy $2$\r$\n"
    FileClose $Log
    MessageBox MB_OK|MB_ICONSTOP "ZEV! Setup could not copy $2 to $INSTDIR." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  FileWrite $Log "$0 from $2$\r$\n"
FunctionEnd

!macro TakeFile NAME MEDIUM_NAME
  StrCpy $0 "${NAME}"
  StrCpy $1 "${MEDIUM_NAME}"
  Call TakeFile
!macroend

Section "ZEV!"
  AddSize 1                  ; the product's kilobytes, for the directory page
  Call OnMedium
  ${If} $0 == 1
    MessageBox MB_OK|MB_ICONSTOP "ZEV! can't be installed on its own medium ($INSTDIR)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  SetOutPath $INSTDIR
  ClearErrors
  FileOpen $Log "$INSTDIR\INSTALL.LOG" w
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "ZEV! Setup could not write to $INSTDIR." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  FileWrite $Log "command line: $CMDLINE$\r$\n"
  FileWrite $Log "own command line: $OwnLine$\r$\n"
  FileWrite $Log "target codes: $Target$\r$\n"
  FileWrite $Log "source directory: $Source$\r$\n"
  FileWrite $Log "staging directory: $Staging$\r$\n"
  FileWrite $Log "ZEV! $Version in $INSTDIR$\r$\n"

  ; The product's files: name in the staging and product folders, name on
  ; the medium. The plan stages ZEV.CFG as ZEV.INI, and ZEVKB.SYS lies on
  ; the medium as ZEVKB.SY$ (the first phase copies it back to .SYS).
  !insertmacro TakeFile "README.TXT" "README.TXT"
  !insertmacro TakeFile "ZEV.INI" "ZEV.CFG"
  !insertmacro TakeFile "ZEVKB.SYS" "ZEVKB.SY$$"
  !insertmacro TakeFile "ZEV1.HLP" "ZEV1.HLP"
  !insertmacro TakeFile "ZEV2.HLP" "ZEV2.HLP"

  ; The uninstaller, and the product's entry in this user's list of
  ; installed programs.
  ClearErrors
  WriteUninstaller "$INSTDIR\UNINSTALL.EXE"
  WriteRegStr HKCU "${LIST_KEY}" "DisplayName" "ZEV! $Version"
  WriteRegStr HKCU "${LIST_KEY}" "DisplayVersion" "$Version"
  WriteRegStr HKCU "${LIST_KEY}" "Publisher" "Tessaric"
  WriteRegStr HKCU "${LIST_KEY}" "UninstallString" '"$INSTDIR\UNINSTALL.EXE"'
  WriteRegStr HKCU "${LIST_KEY}" "QuietUninstallString" '"$INSTDIR\UNINSTALL.EXE" /S'
  WriteRegStr HKCU "${LIST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${LIST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${LIST_KEY}" "NoRepair" 1
  ${If} ${Errors}
    FileWrite $Log "could not write the uninstaller or its entry$\r$\n"
    FileClose $Log
    MessageBox MB_OK|MB_ICONSTOP "ZEV! Setup could not write its uninstaller to $INSTDIR." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  FileWrite $Log "uninstaller: $INSTDIR\UNINSTALL.EXE, listed as HKCU\${LIST_KEY}$\r$\n"

  ; Registered last, so that an add-on never finds a half-installed
  ; product, and the Directory value last of all. The Compatibility key is
  ; there from the start, empty.
  ClearErrors
  WriteRegStr HKCU "${PRODUCT_KEY}\$Version\Compatibility" "" ""
  DeleteRegValue HKCU "${PRODUCT_KEY}\$Version\Compatibility" ""
  WriteRegStr HKCU "${PRODUCT_KEY}\$Version\ZODOZ" "Directory" "$INSTDIR"
  ${If} ${Errors}
    FileWrite $Log "could not register ZEV! $Version$\r$\n"
    FileClose $Log
    MessageBox MB_OK|MB_ICONSTOP "ZEV! Setup could not register ZEV! $Version." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  DetailPrint "Registered ZEV! $Version in $INSTDIR for this user"
  FileWrite $Log "registered: HKCU\${PRODUCT_KEY}\$Version\ZODOZ Directory=$INSTDIR$\r$\n"
  FileClose $Log
SectionEnd

; ---- the uninstaller ------------------------------------------------------
; NSIS starts it from a copy of its own under TEMP, with $INSTDIR the folder
; UNINSTALL.EXE lies in, so that it can remove that folder.

; A product in the program files folder needs administrator rights to go;
; an uninstaller started without them (from the list of installed
; programs) asks for them, once.
Function un.onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    Return
  ${EndIf}
  ; Can this user change the product folder? A trial folder tells.
  System::Call 'kernel32::CreateDirectory(t "$INSTDIR\UNINST.TMP", p 0) i .r0'
  ${If} $0 <> 0
    RMDir "$INSTDIR\UNINST.TMP"
    Return
  ${EndIf}
  StrCpy $0 ""
  ${If} ${Silent}
    StrCpy $0 "/S "
  ${EndIf}
  ClearErrors
  ExecShell "runas" "$EXEPATH" '$0_?=$INSTDIR'
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Only an administrator can remove ZEV! from $INSTDIR." /SD IDOK
    SetErrorLevel 2
  ${EndIf}
  Quit
FunctionEnd

; Removes a key when it holds neither keys nor values.
!macro RemoveIfEmpty ROOT KEY
  DeleteRegKey /ifnosubkeys /ifnovalues ${ROOT} "${KEY}"
!macroend

; Removes the machine's and the default user's keys of the version $R1 of
; ZEV! (or, with $R1 empty, the maker's keys) that hold nothing: the add-on
; mode makes a version's keys empty there.
!macro RemoveEmpty
  ${If} $R1 != ""
    !insertmacro RemoveIfEmpty HKLM "${PRODUCT_KEY}\$R1\ZODOZ"
    !insertmacro RemoveIfEmpty HKLM "${PRODUCT_KEY}\$R1\Compatibility"
    !insertmacro RemoveIfEmpty HKLM "${PRODUCT_KEY}\$R1"
    !insertmacro RemoveIfEmpty HKU ".DEFAULT\${PRODUCT_KEY}\$R1\ZODOZ"
    !insertmacro RemoveIfEmpty HKU ".DEFAULT\${PRODUCT_KEY}\$R1\Compatibility"
    !insertmacro RemoveIfEmpty HKU ".DEFAULT\${PRODUCT_KEY}\$R1"
  ${EndIf}
  !insertmacro RemoveIfEmpty HKLM "${PRODUCT_KEY}"
  !insertmacro RemoveIfEmpty HKLM "Software\Tessaric"
  !insertmacro RemoveIfEmpty HKU ".DEFAULT\${PRODUCT_KEY}"
  !insertmacro RemoveIfEmpty HKU ".DEFAULT\Software\Tessaric"
!macroend

; The same in both views of the registry on 64-bit Windows: an add-on
; medium's SETUP1.EXE may have made its keys in either.
Function un.RemoveEmpty
  !insertmacro RemoveEmpty
!ifdef AMD64
  SetRegView 32
  !insertmacro RemoveEmpty
  SetRegView 64
!else
  ${If} ${RunningX64}
    SetRegView 64
    !insertmacro RemoveEmpty
    SetRegView 32
  ${EndIf}
!endif
FunctionEnd

Section "Uninstall"
  SetOutPath $TEMP           ; a process's current folder can't be removed

  ; Unregistered first, so that an add-on never goes into a half-removed
  ; product: every version of ZEV! registered (per user) in this folder,
  ; with its ZODOZ and Compatibility keys. A version registered elsewhere
  ; stays, and so does every key that still holds something.
  StrCpy $R0 0
  ${Do}
    EnumRegKey $R1 HKCU "${PRODUCT_KEY}" $R0
    ${If} $R1 == ""
      ${Break}
    ${EndIf}
    ReadRegStr $1 HKCU "${PRODUCT_KEY}\$R1\ZODOZ" "Directory"
    StrCpy $0 0
    ${If} $1 != ""
      StrCpy $1 "$1\."
      StrCpy $2 "$INSTDIR\."
      Call un.SameFile
    ${EndIf}
    ${If} $0 == 1
      DeleteRegKey HKCU "${PRODUCT_KEY}\$R1"
      DetailPrint "Unregistered ZEV! $R1"
      Call un.RemoveEmpty
    ${Else}
      IntOp $R0 $R0 + 1
    ${EndIf}
  ${Loop}
  StrCpy $R1 ""
  Call un.RemoveEmpty
  !insertmacro RemoveIfEmpty HKCU "${PRODUCT_KEY}"
  !insertmacro RemoveIfEmpty HKCU "Software\Tessaric"

  ; The entry in the list, when it is this folder's.
  ReadRegStr $1 HKCU "${LIST_KEY}" "InstallLocation"
  StrCpy $0 0
  ${If} $1 != ""
    StrCpy $1 "$1\."
    StrCpy $2 "$INSTDIR\."
    Call un.SameFile
  ${EndIf}
  ${If} $0 == 1
    DeleteRegKey HKCU "${LIST_KEY}"
  ${EndIf}

  ; The files the installer and the add-on put there, by name, and the
  ; folder when nothing else is left in it: never a whole tree, which
  ; might be a folder the user chose that holds other things.
  Delete "$INSTDIR\README.TXT"
  Delete "$INSTDIR\ZEV.INI"
  Delete "$INSTDIR\ZEVKB.SYS"
  Delete "$INSTDIR\ZEV1.HLP"
  Delete "$INSTDIR\ZEV2.HLP"
  Delete "$INSTDIR\INSTALL.LOG"
  Delete "$INSTDIR\VUZEVOD.RUD"
  Delete "$INSTDIR\VUZEVOD.TXT"
  Delete "$INSTDIR\UNINSTALL.EXE"
  RMDir $INSTDIR
  ${If} ${FileExists} "$INSTDIR\*.*"
    DetailPrint "$INSTDIR holds other files and stays."
  ${EndIf}
SectionEnd
