; SETUP2.EXE, the second phase of the sample ZEV! medium.
;
; An example for those who ship ZEV! on a medium of their own: a plain
; NSIS 3 script that does what a second phase has to do and no more. It
; needs nothing beyond NSIS itself:
;
;     makensis -DOUTFILE=SETUP2.EXE setup2.nsi
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
; WHAT IT LEAVES FOR A LATER ADD-ON
; An add-on medium (SETUP1.EXE with the target code S) finds the product
; through the registry: it walks the version keys below
; HKCU\Software\Tessaric\ZEV! (then HKLM), takes the newest version that
; has a ZODOZ key, and reads the string value Directory there (a trailing
; "\USER" folder is cut off). So this installer writes, per user:
;
;     HKCU\Software\Tessaric\ZEV!\4.20\ZODOZ    Directory = C:\ZEV
;     HKCU\Software\Tessaric\ZEV!\4.20\Compatibility
;
; The files on the medium are only ever read: nothing there is changed, and
; the product folder may not lie on the medium. What the installer received
; and where each file came from goes to INSTALL.LOG in the product folder.
; Exit code 0 when installed, 1 when the user cancelled, 2 on an error.

!ifndef OUTFILE
  !define OUTFILE "SETUP2.EXE"
!endif

Unicode false                ; plain ANSI, like the first phase
Name "ZEV!"
Caption "ZEV! Setup"
OutFile "${OUTFILE}"
InstallDir "C:\ZEV"
; Everything goes to the user's own registry hive: no administrator rights.
RequestExecutionLevel user
ShowInstDetails show

!include LogicLib.nsh
!include FileFunc.nsh        ; ${GetParameters}: the command line less the program

Var OwnLine                  ; what the user typed after SETUP1.EXE
Var Target                   ; the plan's target value, e.g. 4 or 4+N
Var Source                   ; the folder SETUP1.EXE was started from
Var Version                  ; the edition's version key: 4.20 or 3.40
Var Log                      ; INSTALL.LOG in the product folder

Page directory
Page instfiles

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
    SetErrorLevel 2
    Abort
  ${EndIf}
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
  ${If} ${FileExists} "$EXEDIR\$0"
    CopyFiles /SILENT "$EXEDIR\$0" "$INSTDIR\$0"
    StrCpy $2 "$EXEDIR\$0"
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
  FileWrite $Log "staging directory: $EXEDIR$\r$\n"
  FileWrite $Log "ZEV! $Version in $INSTDIR$\r$\n"

  ; The product's files: name in the staging and product folders, name on
  ; the medium. The plan stages ZEV.CFG as ZEV.INI, and ZEVKB.SYS lies on
  ; the medium as ZEVKB.SY$ (the first phase copies it back to .SYS).
  !insertmacro TakeFile "README.TXT" "README.TXT"
  !insertmacro TakeFile "ZEV.INI" "ZEV.CFG"
  !insertmacro TakeFile "ZEVKB.SYS" "ZEVKB.SY$$"
  !insertmacro TakeFile "ZEV1.HLP" "ZEV1.HLP"
  !insertmacro TakeFile "ZEV2.HLP" "ZEV2.HLP"

  ; Registered last, so that an add-on never finds a half-installed
  ; product, and the Directory value last of all. The Compatibility key is
  ; there from the start, empty.
  ClearErrors
  WriteRegStr HKCU "Software\Tessaric\ZEV!\$Version\Compatibility" "" ""
  DeleteRegValue HKCU "Software\Tessaric\ZEV!\$Version\Compatibility" ""
  WriteRegStr HKCU "Software\Tessaric\ZEV!\$Version\ZODOZ" "Directory" "$INSTDIR"
  ${If} ${Errors}
    FileWrite $Log "could not register ZEV! $Version$\r$\n"
    FileClose $Log
    MessageBox MB_OK|MB_ICONSTOP "ZEV! Setup could not register ZEV! $Version." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  DetailPrint "Registered ZEV! $Version in $INSTDIR for this user"
  FileWrite $Log "registered: HKCU\Software\Tessaric\ZEV!\$Version\ZODOZ Directory=$INSTDIR$\r$\n"
  FileClose $Log
SectionEnd
