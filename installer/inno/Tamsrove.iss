#ifndef _TAMSROVE_ISS_
#define _TAMSROVE_ISS_
[Code]
(*
  Tamsrove.iss: show the Tamsrove progress window while the installer works, learn how it ended,
  and end it when the work is done. For Inno Setup 6 (Unicode; Setup is a 32-bit program).

  Include it before the script's own code: #include "path\to\installer\inno\Tamsrove.iss";
  ship the program as a temporary file, in the Files section:
    Source: "Tamsrove.exe"; Flags: dontcopy noencryption
  and drive it from the Code section:
    procedure CurStepChanged(CurStep: TSetupStep);
    begin
      if CurStep = ssInstall then
      begin
        ExtractTemporaryFile('Tamsrove.exe');
        if not TamsroveShow(ExpandConstant('{tmp}\Tamsrove.exe')) then
          Log('The progress window could not be shown.');
        { ... the work; between steps: if TamsroveState = 1223 then the user chose Terminate }
      end
      else if CurStep = ssPostInstall then
        Log(Format('The progress window''s answer: %d', [TamsroveFinish]));  { 0: it saw the flag }
    end;

  The window reads the string value "frx" under HKCU\Software\Marrowfen once a second and ends
  when it begins with "1". Its exit code says how it ended:
    0     it saw the flag (and wrote "0" back)
    1223  the user chose Terminate (ERROR_CANCELLED)
    1460  no flag came within 201 seconds (ERROR_TIMEOUT)
    183   this start showed no window: one was already showing for the user (ERROR_ALREADY_EXISTS)

  Only one installer at a time may use the flag. TamsroveShow takes a named mutex, waiting (at
  most TamsroveFlagWaitMs) while another installer holds it, and TamsroveFinish lets it go.
  Setup runs all code on its one thread, so any two events may call them. When Setup ends
  without TamsroveFinish (an error, a cancel), the kit calls it itself from DeinitializeSetup.

  Every name the kit keeps to itself begins with _Tamsrove.
*)

{ How long TamsroveShow waits for another installer: longer than a window can live (201 s). }
#ifndef TamsroveFlagWaitMs
  #define TamsroveFlagWaitMs 240000
#endif
{ How long TamsroveFinish waits for the window to end; it takes about one second. }
#ifndef TamsroveFinishWaitMs
  #define TamsroveFinishWaitMs 5000
#endif

const
  { TamsroveState and TamsroveFinish: the window still runs. }
  TamsroveRunning = -1;
  { TamsroveState and TamsroveFinish: no window was started. }
  TamsroveNoWindow = -2;

  _TamsroveFlagKey = 'Software\Marrowfen';
  _TamsroveFlagValue = 'frx';
  { The mutex that keeps two installers off the flag at the same time (per session). }
  _TamsroveFlagMutex = 'Local\Tamsrove.InstallerFlag';
  _TamsroveWaitTimeout = 258;    { WAIT_TIMEOUT }
  _TamsroveAlreadyExists = 183;  { ERROR_ALREADY_EXISTS }
  _TamsroveStartupInfoSize = 68; { sizeof(STARTUPINFOW) in a 32-bit process }

type
  { STARTUPINFOW and PROCESS_INFORMATION of a 32-bit process: handles and pointers are Longint. }
  _TamsroveStartupInfo = record
    Size: Cardinal;
    Reserved, Desktop, Title: Longint;
    X, Y, XSize, YSize, XCountChars, YCountChars, FillAttribute, Flags: Cardinal;
    ShowWindow, Reserved2Size: Word;
    Reserved2, StdInput, StdOutput, StdError: Longint;
  end;
  _TamsroveProcessInformation = record
    Process, Thread: Longint;
    ProcessId, ThreadId: Cardinal;
  end;

function _TamsroveCreateProcess(ApplicationName, CommandLine: String;
  ProcessAttributes, ThreadAttributes, InheritHandles: Longint; CreationFlags: Cardinal;
  Environment, CurrentDirectory: Longint; var StartupInfo: _TamsroveStartupInfo;
  var ProcessInformation: _TamsroveProcessInformation): Longint;
  external 'CreateProcessW@kernel32.dll stdcall';
function _TamsroveWaitForSingleObject(Handle: Longint; Milliseconds: Cardinal): Cardinal;
  external 'WaitForSingleObject@kernel32.dll stdcall';
function _TamsroveGetExitCodeProcess(Process: Longint; var ExitCode: Cardinal): Longint;
  external 'GetExitCodeProcess@kernel32.dll stdcall';
function _TamsroveCloseHandle(Handle: Longint): Longint;
  external 'CloseHandle@kernel32.dll stdcall';
function _TamsroveCreateMutex(MutexAttributes, InitialOwner: Longint; Name: String): Longint;
  external 'CreateMutexW@kernel32.dll stdcall';
function _TamsroveReleaseMutex(Mutex: Longint): Longint;
  external 'ReleaseMutex@kernel32.dll stdcall';

var
  { The mutex handle, 0 when not taken. }
  _TamsroveFlag: Longint;
  { Process handle of the latest start, 0 when none. }
  _TamsroveWindow: Longint;
  { Process handle of an earlier start that was still running when the window was started
    again (the latest start then gives 183), 0 when none. }
  _TamsroveEarlier: Longint;

{ True while the process behind Handle runs. }
function _TamsroveIsRunning(Handle: Longint): Boolean;
begin
  Result := (Handle <> 0) and (_TamsroveWaitForSingleObject(Handle, 0) = _TamsroveWaitTimeout);
end;

{ True while the window of the latest start or of an earlier one runs. }
function _TamsroveAnyRunning: Boolean;
begin
  Result := _TamsroveIsRunning(_TamsroveWindow) or _TamsroveIsRunning(_TamsroveEarlier);
end;

{ The exit code of an ended process. }
function _TamsroveExitCode(Process: Longint): Integer;
var
  Code: Cardinal;
begin
  Code := 0;
  _TamsroveGetExitCodeProcess(Process, Code);
  Result := Code;
end;

{ Closes Handle unless it is 0, then sets it to 0. }
procedure _TamsroveClose(var Handle: Longint);
begin
  if Handle <> 0 then
  begin
    _TamsroveCloseHandle(Handle);
    Handle := 0;
  end;
end;

{ Takes the mutex unless this installer holds it already. }
procedure _TamsroveTakeFlag;
var
  Mutex: Longint;
begin
  if _TamsroveFlag <> 0 then
    exit;
  Mutex := _TamsroveCreateMutex(0, 0, _TamsroveFlagMutex);
  if Mutex = 0 then
    exit;
  if _TamsroveWaitForSingleObject(Mutex, 0) = _TamsroveWaitTimeout then
  begin
    Log('Waiting for another installer''s progress window to end...');
    { Past the wait, go on all the same: a window that cannot be ended is better than none. }
    _TamsroveWaitForSingleObject(Mutex, {#TamsroveFlagWaitMs});
  end;
  _TamsroveFlag := Mutex;
end;

{ Releases and closes the mutex. ReleaseMutex fails harmlessly when this thread does not own it. }
procedure _TamsroveLetFlagGo;
begin
  if _TamsroveFlag <> 0 then
  begin
    _TamsroveReleaseMutex(_TamsroveFlag);
    _TamsroveClose(_TamsroveFlag);
  end;
end;

{ Before a new start: keeps the handle of the window that shows, drops the others. }
procedure _TamsroveKeepShowingWindow;
begin
  if _TamsroveEarlier <> 0 then
  begin
    if _TamsroveIsRunning(_TamsroveEarlier) then
      { The latest start met this window (and gives 183): the earlier one still answers. }
      _TamsroveClose(_TamsroveWindow)
    else
      _TamsroveClose(_TamsroveEarlier);
  end;
  if _TamsroveWindow <> 0 then
  begin
    if _TamsroveIsRunning(_TamsroveWindow) then
    begin
      _TamsroveEarlier := _TamsroveWindow;
      _TamsroveWindow := 0;
    end
    else
      _TamsroveClose(_TamsroveWindow);
  end;
end;

{ Starts the program without waiting; its process handle goes to _TamsroveWindow. }
function _TamsroveStart(const ExePath: String): Boolean;
var
  StartupInfo: _TamsroveStartupInfo;
  Info: _TamsroveProcessInformation;
  CommandLine: String;
begin
  { Pascal Script starts every variable zero-filled: only the size is set. }
  StartupInfo.Size := _TamsroveStartupInfoSize;
  { The command line: the quoted path alone. CreateProcessW may write to it, so it is a
    string of its own. }
  CommandLine := '"' + ExePath + '"';
  Result := _TamsroveCreateProcess(ExePath, CommandLine, 0, 0, 0, 0, 0, 0, StartupInfo,
    Info) <> 0;
  if Result then
  begin
    _TamsroveCloseHandle(Info.Thread);
    _TamsroveWindow := Info.Process;
  end;
end;

{ The answer as TamsroveState gives it. }
function _TamsroveAnswer: Integer;
begin
  if _TamsroveWindow = 0 then
    Result := TamsroveNoWindow
  else if _TamsroveIsRunning(_TamsroveWindow) then
    Result := TamsroveRunning
  else
  begin
    Result := _TamsroveExitCode(_TamsroveWindow);
    { The window of the earlier start shows: once it has ended, its code is the answer. }
    if (Result = _TamsroveAlreadyExists) and (_TamsroveEarlier <> 0) and
       not _TamsroveIsRunning(_TamsroveEarlier) then
      Result := _TamsroveExitCode(_TamsroveEarlier);
  end;
end;

{ Creates HKCU\Software\Marrowfen "frx" = "0" and starts the window without waiting for it.
  False when the value cannot be written or the program cannot be started.
  Called again while its window still shows, it starts the program again (that start gives
  183) and keeps answering for the window that shows; it does not wait for its own mutex. }
function TamsroveShow(const ExePath: String): Boolean;
var
  Written: Boolean;
begin
  _TamsroveTakeFlag;
  Written := RegWriteStringValue(HKEY_CURRENT_USER, _TamsroveFlagKey, _TamsroveFlagValue, '0');
  Result := False;
  if Written then
  begin
    _TamsroveKeepShowingWindow;
    Result := _TamsroveStart(ExePath);
  end;
  if _TamsroveWindow = 0 then
  begin
    { This start failed: the window of an earlier start, if any, answers again. }
    _TamsroveWindow := _TamsroveEarlier;
    _TamsroveEarlier := 0;
  end;
  if _TamsroveWindow = 0 then
    { No window to answer for: another installer may have the flag. }
    _TamsroveLetFlagGo;
end;

{ TamsroveRunning while the window runs, else its exit code (0, 1223, 1460, or 183 while the
  window of an earlier TamsroveShow still shows); TamsroveNoWindow when no window was started.
  Poll it during long work and stop when it gives 1223. }
function TamsroveState: Integer;
begin
  Result := _TamsroveAnswer;
end;

{ When the window still runs, writes "1" and waits at most TamsroveFinishWaitMs for it to end.
  Gives its exit code, or TamsroveRunning when it did not end (it then still clears the "1"
  when it sees it); TamsroveNoWindow when no window was started. Once the window has gone,
  "frx" reads "0": Finish sets it back when the window ended without clearing it (Terminate,
  time-out, a "1" it never saw). Closes the handles and lets the mutex go. }
function TamsroveFinish: Integer;
var
  Waited: Integer;
begin
  if _TamsroveWindow = 0 then
    Result := TamsroveNoWindow
  else
  begin
    if _TamsroveAnyRunning then
    begin
      { Only a window that still runs can clear the "1". }
      RegWriteStringValue(HKEY_CURRENT_USER, _TamsroveFlagKey, _TamsroveFlagValue, '1');
      Waited := 0;
      while _TamsroveAnyRunning and (Waited < {#TamsroveFinishWaitMs}) do
      begin
        { Wakes as soon as the window ends. }
        if _TamsroveIsRunning(_TamsroveWindow) then
          _TamsroveWaitForSingleObject(_TamsroveWindow, 100)
        else
          _TamsroveWaitForSingleObject(_TamsroveEarlier, 100);
        Waited := Waited + 100;
      end;
    end;
    if _TamsroveAnyRunning then
      { A window that did not end in time still clears the "1" when it sees it. }
      Result := TamsroveRunning
    else
    begin
      { Every window has gone: nobody is left to clear the flag. A window that saw this "1"
        has written "0" already; one that ended otherwise (Terminate, time-out, a "1" that
        the installer wrote itself) leaves it to us. }
      RegWriteStringValue(HKEY_CURRENT_USER, _TamsroveFlagKey, _TamsroveFlagValue, '0');
      Result := _TamsroveAnswer;
    end;
  end;
  _TamsroveClose(_TamsroveWindow);
  _TamsroveClose(_TamsroveEarlier);
  _TamsroveLetFlagGo;
end;

{ Setup ends: a window still shown is ended, so that it does not outlive the installer. }
<event('DeinitializeSetup')>
procedure _TamsroveDeinitializeSetup;
begin
  if _TamsroveWindow <> 0 then
    TamsroveFinish;
end;

#endif
