/*
Tamsrove.nsh: show the Tamsrove progress window while the installer works, learn how it ended,
and end it when the work is done. For Unicode installers, 32-bit and 64-bit targets.

  !addincludedir "path\to\installer\nsis"
  !include "Tamsrove.nsh"

  Section
    InitPluginsDir
    File "/oname=$PLUGINSDIR\Tamsrove.exe" "Tamsrove.exe"
    ${TamsroveShow} "$PLUGINSDIR\Tamsrove.exe"
    ; ... the work; between steps:
    ${TamsroveState} $0
    ${If} $0 == 1223
      ; the user chose Terminate: stop the work
    ${EndIf}
    ; ...
    ${TamsroveFinish} $0   ; 0 when the window saw the flag
  SectionEnd

The window reads the string value "frx" under HKCU\Software\Marrowfen once a second and ends
when it begins with "1". Its exit code says how it ended:
  0     it saw the flag (and wrote "0" back)
  1223  the user chose Terminate (ERROR_CANCELLED)
  1460  no flag came within 201 seconds (ERROR_TIMEOUT)
  183   this start showed no window: one was already showing for the user (ERROR_ALREADY_EXISTS)

Only one installer at a time may use the flag. ${TamsroveShow} takes a named mutex, waiting
(at most TAMSROVE_FLAG_WAIT_MS) while another installer holds it, and ${TamsroveFinish} lets it
go. A mutex belongs to a thread: call both from sections (or both from the same function).
A mutex left by an installer that ended without ${TamsroveFinish} is free again at its end.
*/

!ifndef TAMSROVE_NSH_INCLUDED
!define TAMSROVE_NSH_INCLUDED

!verbose push 3
!define /IfNDef _TAMSROVE_VERBOSE 3
!verbose ${_TAMSROVE_VERBOSE}

!include LogicLib.nsh
!include Util.nsh

!define TAMSROVE_FLAG_KEY "Software\Marrowfen"
!define TAMSROVE_FLAG_VALUE "frx"
; The mutex that keeps two installers off the flag at the same time (per session).
!define /IfNDef TAMSROVE_FLAG_MUTEX "Local\Tamsrove.InstallerFlag"
; How long ${TamsroveShow} waits for another installer: longer than a window can live (201 s).
!define /IfNDef TAMSROVE_FLAG_WAIT_MS 240000
; How long ${TamsroveFinish} waits for the window to end; it takes about one second.
!define /IfNDef TAMSROVE_FINISH_WAIT_MS 5000

!define _TAMSROVE_WAIT_TIMEOUT 258     ; WAIT_TIMEOUT
!define _TAMSROVE_ALREADY_EXISTS 183   ; ERROR_ALREADY_EXISTS
!if ${NSIS_PTR_SIZE} > 4
  !define _TAMSROVE_STARTUPINFO_SIZE 104   ; sizeof(STARTUPINFOW), 64-bit
!else
  !define _TAMSROVE_STARTUPINFO_SIZE 68    ; sizeof(STARTUPINFOW), 32-bit
!endif

; The kit's state, declared on first use so that an unused include costs nothing.
;   Tamsrove_Flag     the mutex handle, 0 when not taken
;   Tamsrove_Window   process handle of the latest start, 0 when none
;   Tamsrove_Earlier  process handle of an earlier start that was still running when the window
;                     was started again (the latest start then gives 183), 0 when none
!macro _TamsroveDeclare
  !ifndef _TAMSROVE_DECLARED
    !define _TAMSROVE_DECLARED
    Var /GLOBAL Tamsrove_Flag
    Var /GLOBAL Tamsrove_Window
    Var /GLOBAL Tamsrove_Earlier
  !endif
!macroend

; ${TamsroveShow} "PATH\Tamsrove.exe"
;   Creates HKCU\Software\Marrowfen "frx" = "0" and starts the window without waiting for it.
;   Sets the error flag when the value cannot be written or the program cannot be started.
;   Called again while its window still shows, it starts the program again (that start gives
;   183) and keeps answering for the window that shows; it does not wait for its own mutex.
!define TamsroveShow `!insertmacro TamsroveShowCall`
!define un.TamsroveShow `!insertmacro TamsroveShowCall`
!macro TamsroveShowCall _PATH
  !verbose push
  !verbose ${_TAMSROVE_VERBOSE}
  !insertmacro _TamsroveDeclare
  Push `${_PATH}`
  ${CallArtificialFunction} _TamsroveShow
  !verbose pop
!macroend

; ${TamsroveState} $0
;   "running" while the window runs, else its exit code (0, 1223, 1460, or 183 while the
;   window of an earlier ${TamsroveShow} still shows). Empty, with the error flag set, when
;   no window was started. Poll it during long work and stop when it gives 1223.
!define TamsroveState `!insertmacro TamsroveStateCall`
!define un.TamsroveState `!insertmacro TamsroveStateCall`
!macro TamsroveStateCall _RESULT
  !verbose push
  !verbose ${_TAMSROVE_VERBOSE}
  !insertmacro _TamsroveDeclare
  ${CallArtificialFunction} _TamsroveState
  Pop ${_RESULT}
  !verbose pop
!macroend

; ${TamsroveFinish} $0
;   When the window still runs, writes "1" and waits at most TAMSROVE_FINISH_WAIT_MS for it to
;   end. Gives its exit code, or "running" when it did not end (it then still clears the "1"
;   when it sees it). Once the window has gone, "frx" reads "0": Finish sets it back when the
;   window ended without clearing it (Terminate, time-out, a "1" it never saw). Closes the
;   handles and lets the mutex go.
;   Empty, with the error flag set, when no window was started.
!define TamsroveFinish `!insertmacro TamsroveFinishCall`
!define un.TamsroveFinish `!insertmacro TamsroveFinishCall`
!macro TamsroveFinishCall _RESULT
  !verbose push
  !verbose ${_TAMSROVE_VERBOSE}
  !insertmacro _TamsroveDeclare
  ${CallArtificialFunction} _TamsroveFinish
  Pop ${_RESULT}
  !verbose pop
!macroend

; ---- Helpers (registers as named; the callers save them) -------------------------------------

; $R = "1" while the process behind HANDLE runs, else "0".
!macro _TamsroveRunning _HANDLE _R
  System::Call 'kernel32::WaitForSingleObject(p ${_HANDLE}, i 0) i .s'
  Pop ${_R}
  ${If} ${_R} = ${_TAMSROVE_WAIT_TIMEOUT}
    StrCpy ${_R} 1
  ${Else}
    StrCpy ${_R} 0
  ${EndIf}
!macroend

; $R = "1" while the window of the latest start or of an earlier one runs, else "0".
!macro _TamsroveAnyRunning _R
  !insertmacro _TamsroveRunning $Tamsrove_Window ${_R}
  ${If} ${_R} = 0
  ${AndIf} $Tamsrove_Earlier P<> 0
    !insertmacro _TamsroveRunning $Tamsrove_Earlier ${_R}
  ${EndIf}
!macroend

; Closes HANDLE unless it is 0, then sets it to 0.
!macro _TamsroveClose _HANDLE
  ${If} ${_HANDLE} P<> 0
    System::Call 'kernel32::CloseHandle(p ${_HANDLE})'
    StrCpy ${_HANDLE} 0
  ${EndIf}
!macroend

; Takes the mutex unless this installer holds it already. Uses $1, $2.
!macro _TamsroveTakeFlag
  ${If} $Tamsrove_Flag P= 0
    System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${TAMSROVE_FLAG_MUTEX}") p .r1'
    ${If} $1 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r1, i 0) i .r2'
      ${If} $2 = ${_TAMSROVE_WAIT_TIMEOUT}
        DetailPrint "Waiting for another installer's progress window to end..."
        ; Past the wait, go on all the same: a window that cannot be ended is better than none.
        System::Call 'kernel32::WaitForSingleObject(p r1, i ${TAMSROVE_FLAG_WAIT_MS}) i .r2'
      ${EndIf}
      StrCpy $Tamsrove_Flag $1
    ${EndIf}
  ${EndIf}
!macroend

; Releases and closes the mutex. ReleaseMutex fails harmlessly when this thread does not own it.
!macro _TamsroveLetFlagGo
  ${If} $Tamsrove_Flag P<> 0
    System::Call 'kernel32::ReleaseMutex(p $Tamsrove_Flag)'
    !insertmacro _TamsroveClose $Tamsrove_Flag
  ${EndIf}
!macroend

; Before a new start: keep the handle of the window that shows, drop the others. Uses $1.
!macro _TamsroveKeepShowingWindow
  ${If} $Tamsrove_Earlier P<> 0
    !insertmacro _TamsroveRunning $Tamsrove_Earlier $1
    ${If} $1 = 1
      ; The latest start met this window (and gives 183): the earlier one still answers.
      !insertmacro _TamsroveClose $Tamsrove_Window
    ${Else}
      !insertmacro _TamsroveClose $Tamsrove_Earlier
    ${EndIf}
  ${EndIf}
  ${If} $Tamsrove_Window P<> 0
    !insertmacro _TamsroveRunning $Tamsrove_Window $1
    ${If} $1 = 1
      StrCpy $Tamsrove_Earlier $Tamsrove_Window
      StrCpy $Tamsrove_Window 0
    ${Else}
      !insertmacro _TamsroveClose $Tamsrove_Window
    ${EndIf}
  ${EndIf}
!macroend

; Starts the program at path $0 without waiting; its process handle goes to Tamsrove_Window.
; Sets the error flag when CreateProcess fails. Uses $1 to $5.
!macro _TamsroveStart
  System::Alloc ${_TAMSROVE_STARTUPINFO_SIZE}   ; zero-filled
  Pop $1
  System::Call '*$1(i ${_TAMSROVE_STARTUPINFO_SIZE})'
  System::Call '*(p, p, i, i) p .r2'            ; PROCESS_INFORMATION
  StrCpy $3 '"$0"'                              ; the command line: the quoted path alone
  System::Call 'kernel32::CreateProcessW(w r0, w r3, p 0, p 0, i 0, i 0, p 0, p 0, p r1, p r2) i .r4'
  ${If} $4 <> 0
    System::Call '*$2(p .r4, p .r5)'
    System::Call 'kernel32::CloseHandle(p r5)'
    StrCpy $Tamsrove_Window $4
  ${Else}
    SetErrors
  ${EndIf}
  System::Free $1
  System::Free $2
!macroend

; $R = the answer as ${TamsroveState} gives it. Uses $1, $2.
!macro _TamsroveAnswer _R
  ${If} $Tamsrove_Window P= 0
    StrCpy ${_R} ""
    SetErrors
  ${Else}
    !insertmacro _TamsroveRunning $Tamsrove_Window $1
    ${If} $1 = 1
      StrCpy ${_R} running
    ${Else}
      System::Call 'kernel32::GetExitCodeProcess(p $Tamsrove_Window, *i .r2)'
      StrCpy ${_R} $2
      ${If} $2 = ${_TAMSROVE_ALREADY_EXISTS}
      ${AndIf} $Tamsrove_Earlier P<> 0
        ; The window of the earlier start shows: once it has ended, its code is the answer.
        !insertmacro _TamsroveRunning $Tamsrove_Earlier $1
        ${If} $1 = 0
          System::Call 'kernel32::GetExitCodeProcess(p $Tamsrove_Earlier, *i .r2)'
          StrCpy ${_R} $2
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; Waits for HANDLE until the tick count $3 + TAMSROVE_FINISH_WAIT_MS. Uses $1.
!macro _TamsroveWaitUntilDeadline _HANDLE
  System::Call 'kernel32::GetTickCount() i .r1'
  IntOp $1 $1 - $3
  IntOp $1 ${TAMSROVE_FINISH_WAIT_MS} - $1
  ; Kept within [0, the wait] whatever the tick count did in between (it wraps every 49.7 days).
  ${If} $1 < 0
    StrCpy $1 0
  ${ElseIf} $1 > ${TAMSROVE_FINISH_WAIT_MS}
    StrCpy $1 ${TAMSROVE_FINISH_WAIT_MS}
  ${EndIf}
  System::Call 'kernel32::WaitForSingleObject(p ${_HANDLE}, i r1)'
!macroend

; ---- The functions ------------------------------------------------------------------------------

!macro _TamsroveShow
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  ClearErrors
  !insertmacro _TamsroveTakeFlag
  WriteRegStr HKCU "${TAMSROVE_FLAG_KEY}" "${TAMSROVE_FLAG_VALUE}" "0"
  ${IfNot} ${Errors}
    !insertmacro _TamsroveKeepShowingWindow
    !insertmacro _TamsroveStart
  ${EndIf}
  ${If} $Tamsrove_Window P= 0
    ; This start failed: the window of an earlier start, if any, answers again.
    StrCpy $Tamsrove_Window $Tamsrove_Earlier
    StrCpy $Tamsrove_Earlier 0
  ${EndIf}
  ${If} ${Errors}
  ${AndIf} $Tamsrove_Window P= 0
    ; No window to answer for: another installer may have the flag.
    !insertmacro _TamsroveLetFlagGo
    SetErrors
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
!macroend

!macro _TamsroveState
  Push $0
  Push $1
  Push $2
  ClearErrors
  !insertmacro _TamsroveAnswer $0
  Pop $2
  Pop $1
  Exch $0
!macroend

!macro _TamsroveFinish
  Push $0
  Push $1
  Push $2
  Push $3
  ClearErrors
  ${If} $Tamsrove_Window P= 0
    StrCpy $0 ""
    SetErrors
  ${Else}
    !insertmacro _TamsroveAnyRunning $0
    ${If} $0 = 1
      ; Only a window that still runs can clear the "1".
      WriteRegStr HKCU "${TAMSROVE_FLAG_KEY}" "${TAMSROVE_FLAG_VALUE}" "1"
      System::Call 'kernel32::GetTickCount() i .r3'
      !insertmacro _TamsroveWaitUntilDeadline $Tamsrove_Window
      ${If} $Tamsrove_Earlier P<> 0
        !insertmacro _TamsroveWaitUntilDeadline $Tamsrove_Earlier
      ${EndIf}
      !insertmacro _TamsroveAnyRunning $0
    ${EndIf}
    ${If} $0 = 1
      ; A window that did not end in time still clears the "1" when it sees it.
      StrCpy $0 running
    ${Else}
      ; Every window has gone: nobody is left to clear the flag. A window that saw this "1"
      ; has written "0" already; one that ended otherwise (Terminate, time-out, a "1" that the
      ; installer wrote itself) leaves it to us.
      WriteRegStr HKCU "${TAMSROVE_FLAG_KEY}" "${TAMSROVE_FLAG_VALUE}" "0"
      !insertmacro _TamsroveAnswer $0
    ${EndIf}
  ${EndIf}
  !insertmacro _TamsroveClose $Tamsrove_Window
  !insertmacro _TamsroveClose $Tamsrove_Earlier
  !insertmacro _TamsroveLetFlagGo
  Pop $3
  Pop $2
  Pop $1
  Exch $0
!macroend

!verbose pop
!endif
