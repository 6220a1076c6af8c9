; An installer that shows the Tamsrove progress window while it works, stops its work when the
; user chooses Terminate, and ends the window when the work is done.
;
;   iscc /DTamsroveExe=path\to\Tamsrove.exe example.iss
;
; Give ISCC Windows paths or relative ones: under Wine it takes a Unix path (/home/...) for an
; option. Its exit code is the window's answer: 0 when the window saw the flag, 1223 when the
; user terminated, 1460 when the window timed out, 259 when it did not end in time, 2 when it
; could not be shown.
; Its work is a stand-in; options shape it:
;   /WORK=SECONDS  how long the work takes (default 3)
;   /RESHOW        shows the window a second time after a second of work, as a retried step
;                  would; the exit code is then that second start's answer (183: the window
;                  already showed) unless the window itself ended otherwise than finished.
;   /SELFEND       with /RESHOW: right after the second start, ends the window through the flag
;                  itself (writes "1", waits for "0"), as a step that drives the flag by hand
;                  would, before TamsroveFinish runs.

#ifndef TamsroveExe
  #define TamsroveExe "Tamsrove.exe"
#endif

#include "Tamsrove.iss"

[Setup]
AppName=Tamsrove example
AppVersion=1.0
; Per user, without elevation. {autopf} is not writable this way under Wine: {localappdata} is.
PrivilegesRequired=lowest
DefaultDirName={localappdata}\Tamsrove example
DisableDirPage=yes
DisableProgramGroupPage=yes
Uninstallable=no
OutputBaseFilename=TamsroveExample

[Files]
; The program's file name stays Tamsrove.exe: ExtractTemporaryFile finds it by that name.
Source: "{#TamsroveExe}"; Flags: dontcopy noencryption

[Code]
var
  WorkSteps: Integer;  { steps of 100 ms }
  Reshow: Boolean;
  SelfEnd: Boolean;
  ReshowAnswer: Integer;
  Answer: Integer;

function HasOption(const Name: String): Boolean;
var
  I: Integer;
begin
  Result := False;
  for I := 1 to ParamCount do
    if CompareText(ParamStr(I), Name) = 0 then
      Result := True;
end;

function InitializeSetup: Boolean;
begin
  WorkSteps := StrToIntDef(ExpandConstant('{param:WORK|3}'), 3) * 10;
  Reshow := HasOption('/RESHOW');
  SelfEnd := HasOption('/SELFEND');
  Answer := TamsroveNoWindow;
  Result := True;
end;

{ Shows the window again and waits (at most 2 s) for that start's answer. }
procedure ShowAgain;
var
  I: Integer;
  Flag: String;
begin
  TamsroveShow(ExpandConstant('{tmp}\Tamsrove.exe'));
  for I := 1 to 20 do
  begin
    ReshowAnswer := TamsroveState;
    if ReshowAnswer <> TamsroveRunning then
      Break;
    Sleep(100);
  end;
  Log(Format('Second start: %d', [ReshowAnswer]));
  if SelfEnd then
  begin
    RegWriteStringValue(HKEY_CURRENT_USER, 'Software\Marrowfen', 'frx', '1');
    for I := 1 to 30 do
    begin
      Sleep(100);
      if RegQueryStringValue(HKEY_CURRENT_USER, 'Software\Marrowfen', 'frx', Flag) and
         (Flag = '0') then
        Break;
    end;
  end;
end;

{ The installation's own work, in steps; between steps, see whether the user terminated. }
procedure DoWork;
var
  Step: Integer;
begin
  for Step := 1 to WorkSteps do
  begin
    Sleep(100);
    if (Step = 10) and Reshow then
      ShowAgain;
    if TamsroveState = 1223 then
    begin
      Log('Terminated by the user: the work stops.');
      Break;
    end;
  end;
end;

procedure CurStepChanged(CurStep: TSetupStep);
begin
  if CurStep = ssInstall then
  begin
    ExtractTemporaryFile('Tamsrove.exe');
    if not TamsroveShow(ExpandConstant('{tmp}\Tamsrove.exe')) then
      Log('The progress window could not be shown.');
    DoWork;
  end
  else if CurStep = ssPostInstall then
  begin
    Answer := TamsroveFinish;
    Log(Format('The progress window''s answer: %d', [Answer]));
  end;
end;

{ Setup's exit code: the window's answer. }
function GetCustomSetupExitCode: Integer;
begin
  if Answer = TamsroveNoWindow then
    Result := 2
  else if Answer = TamsroveRunning then
    Result := 259  { STILL_ACTIVE }
  else if (Answer = 0) and Reshow then
    Result := ReshowAnswer
  else
    Result := Answer;
end;
