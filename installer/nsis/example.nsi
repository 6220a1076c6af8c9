; An installer that shows the Tamsrove progress window while it works, stops its work when the
; user chooses Terminate, and ends the window when the work is done.
;
;   makensis -DTAMSROVE_EXE=path/to/Tamsrove.exe example.nsi
;   makensis -DTARGET=x86-unicode ...        (a 32-bit installer; the default is 64-bit)
;
; Its exit code is the window's answer: 0 when the window saw the flag, 1223 when the user
; terminated, 1460 when the window timed out, 259 when it did not end in time, 2 when it could
; not be shown.
; Its work is a stand-in; options shape it:
;   /WORK=SECONDS  how long the work takes (default 3)
;   /RESHOW        shows the window a second time after a second of work, as a retried step
;                  would; the exit code is then that second start's answer (183: the window
;                  already showed) unless the window itself ended otherwise than finished.
;   /SELFEND       with /RESHOW: right after the second start, ends the window through the flag
;                  itself (writes "1", waits for "0"), as a step that drives the flag by hand
;                  would, before ${TamsroveFinish} runs.

Unicode true
!define /IfNDef TARGET amd64-unicode
Target ${TARGET}
!define /IfNDef TAMSROVE_EXE "Tamsrove.exe"
!define /IfNDef OUTFILE "TamsroveExample.exe"

!addincludedir "${__FILEDIR__}"
!include "Tamsrove.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "Tamsrove example"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ShowInstDetails show

Var WorkSteps    ; steps of 100 ms
Var Reshow       ; "" or the second start's answer
Var SelfEnd      ; "" or "yes"

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/WORK=" $1
  ${If} ${Errors}
    StrCpy $1 3
  ${EndIf}
  IntOp $WorkSteps $1 * 10
  ClearErrors
  ${GetOptions} $0 "/RESHOW" $1
  ${IfNot} ${Errors}
    StrCpy $Reshow pending
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/SELFEND" $1
  ${IfNot} ${Errors}
    StrCpy $SelfEnd yes
  ${EndIf}
FunctionEnd

; Shows the window again and waits (at most 2 s) for that start's answer.
Function ShowAgain
  ${TamsroveShow} "$PLUGINSDIR\Tamsrove.exe"
  ${For} $2 1 20
    ${TamsroveState} $Reshow
    ${IfThen} $Reshow != running ${|} ${Break} ${|}
    Sleep 100
  ${Next}
  DetailPrint "Second start: $Reshow"
  ${If} $SelfEnd == yes
    WriteRegStr HKCU "Software\Marrowfen" "frx" "1"
    ${For} $2 1 30
      Sleep 100
      ReadRegStr $3 HKCU "Software\Marrowfen" "frx"
      ${IfThen} $3 == "0" ${|} ${Break} ${|}
    ${Next}
  ${EndIf}
FunctionEnd

Section "Install"
  InitPluginsDir
  File "/oname=$PLUGINSDIR\Tamsrove.exe" "${TAMSROVE_EXE}"
  ${TamsroveShow} "$PLUGINSDIR\Tamsrove.exe"
  ${If} ${Errors}
    DetailPrint "The progress window could not be shown."
  ${EndIf}

  ; The installation's own work, in steps; between steps, see whether the user terminated.
  ${For} $1 1 $WorkSteps
    Sleep 100
    ${If} $1 = 10
    ${AndIf} $Reshow == pending
      Call ShowAgain
    ${EndIf}
    ${TamsroveState} $0
    ${IfThen} $0 == 1223 ${|} ${Break} ${|}
  ${Next}

  ${TamsroveFinish} $0
  DetailPrint "The progress window's answer: $0"
  ${If} $0 == ""
    StrCpy $0 2     ; no window was shown
  ${ElseIf} $0 == running
    StrCpy $0 259   ; STILL_ACTIVE
  ${ElseIf} $0 == 0
  ${AndIf} $Reshow != ""
    StrCpy $0 $Reshow
  ${EndIf}
  SetErrorLevel $0
  ${If} $0 == 1223
    Abort "Terminated by the user."
  ${EndIf}
SectionEnd
