Dim oArgs, oFSO, scriptArgs
Set oArgs = WScript.Arguments
Set oFSO = CreateObject("Scripting.FileSystemObject")

sSrcFolder = oFSO.GetParentFolderName(WScript.ScriptFullName)
sDstFolder = oFSO.GetSpecialFolder(2) + "\halvex_temp"

If Not oFSO.FolderExists(sDstFolder) Then
  Set oTempFolder = oFSO.CreateFolder(sDstFolder)
  Set oTempFolder = Nothing
Else
  If Not oFSO.FileExists (sDstFolder + "\halvex.tmp") Then
    oFSO.DeleteFolder(sDstFolder)
    Set oTempFolder = oFSO.CreateFolder(sDstFolder)
	   Set oTempFolder = Nothing
  End If
End If

If oFSO.FileExists (sDstFolder + "\halvex.tmp") Then
  WSCript.Quit(0)
Else
  Set oTempFile = oFSO.CreateTextFile(sDstFolder + "\halvex.tmp")
  oTempFile.WriteLine("halvex_temp")
  oTempFile.Close
End If

oFSO.CopyFolder sSrcFolder , sDstFolder

For Each listArg In oArgs
  scriptArgs = scriptArgs + Chr(32) + Chr(34) + listArg + Chr(34)
Next
scriptArgs = LTrim (scriptArgs)
If ( (Len(scriptArgs) Mod 2) = 0) Then
  ArgMiddle = Len(scriptArgs) \ 2
  ArgLeft = Left(scriptArgs, ArgMiddle) + Chr(34)
  ArgRight = Chr(34) + Right(scriptArgs, ArgMiddle)
  If (ArgLeft = ArgRight) Then
    scriptArgs = ArgLeft
  End If
End If

Set wshShell = WScript.CreateObject ("WSCript.shell")
wshShell.run sDstFolder + "\NORDAVIN\setup.exe -bexu R -mng yes" + Chr(32) + scriptArgs,, true
sDstFolder = oFSO.GetSpecialFolder(2) + "\halvex_temp"
oFSO.DeleteFile sDstFolder + "\halvex.tmp"

