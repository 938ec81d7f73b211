#Requires -Version 7.2
<#
.SYNOPSIS
What only Windows itself shows of a Zelvane.exe: a standard user's run kept in that user's
VirtualStore copies, an administrator's elevated run over the installed profiles and the users'
copies, the removal of the running program from a FAT32 volume, and the listing of hidden and
system files.

.DESCRIPTION
Run it as an elevated administrator, on a machine that may be changed (a CI runner). It makes a
local standard user with a random password and lays out "Quindrel e2e" in the 32-bit Program Files
folder (C:\Program Files (x86)), with Zelvane.exe and, in appfiles\formats\, Legacy.qdx and
Legacy 2.qdx, which need upgrading, and Current.qdx, already in the 2.0.12 layout. Then:

1. The standard user runs Zelvane.exe /quiet /log:..., two ways: started by the user (an
   interactive logon, as from the desktop) and as a scheduled task registered with the user's
   password (a batch logon). Windows virtualises only the runs of interactive logons, and only
   while User Account Control is on. A virtualised run leaves the installed profiles as they were,
   makes a copy of each legacy profile alone in the user's VirtualStore, each upgraded in this one
   run (Windows opens a new copy for the write, which the run decides on again from its own bytes),
   and its log says that Windows kept the changes in the user's own copies; a run that is not
   virtualised stops at the first legacy profile, which it may not write (exit code 1), changes
   nothing, and says that it did not look at other users' copies. Where UAC is on, the interactive
   run must be virtualised.
2. The administrator's elevated run, /quiet /log:..., over the same folder, the user's copy of
   Legacy.qdx being legacy again (as the user's older Quindrel saved it): the installed Legacy.qdx
   and the user's copy are upgraded, and the log names "Legacy.qdx (<user>'s copy)".
3. The user makes their copies folder a junction (mklink /J, which needs no privilege) to a folder
   of the machine's holding a legacy profile, and the administrator's elevated run follows no such
   link: the user's copies are left as they were and named so, exit code 4, and the profile behind
   the junction stays as it was (where Windows has RedirectionGuard, it refuses the junction too).
4. Two /check /quiet runs append to one log at once, each over 200 profiles: every line arrives
   whole, once; then a third appender holds the log's lock, and a run waits for it 10 seconds by
   the clock, once, finishes, and says so in the log.
5. /check /quiet /log:... of a folder with .x.qdx, plain.qdx, a hidden and a system profile: the
   log names .x.qdx and plain.qdx only.
6. Where this machine can make a FAT32 volume (a VHD through diskpart), the end-to-end suite's
   removal cases (-E2e, zelvane_e2e.exe) run with their temporary folder on it. The cases where the
   running file is renamed are left out: FAT32 numbers a file by where its directory entry lies,
   which a rename may move, and where the system cannot say which file a renamed one is, the
   removal is refused by design. Where no volume can be made, it says so and goes on.

The user, its profile, the scheduled task, the folder under Program Files and the volume are removed
at the end. The logs stay in -Logs. Exits 1 when a check fails.

The profiles are made from a byte recipe, so that the script needs nothing but Zelvane.exe: the empty
legacy record (96 zero bytes) whose last text is "A" (01 00 41), which needs upgrading, as
tools/check-release makes it; and that record followed by an empty text and a zero byte (00 00 00),
which is what an upgrade makes of it. Every run's log is read as well, so a recipe that stopped
meaning this would show there.

.EXAMPLE
tools/windows/check-on-windows.ps1 -Exe dist\Zelvane.exe -E2e build\windows-native\e2e\zelvane_e2e.exe -Logs logs\windows-checks
#>
param(
  [Parameter(Mandatory)] [string] $Exe,   # the Zelvane.exe to check
  [Parameter(Mandatory)] [string] $Logs,  # a folder for the logs, made when missing
  [string] $E2e                           # zelvane_e2e.exe, for the removal from FAT32 (skipped without it)
)
Set-StrictMode -Version Latest
$ErrorActionPreference = 'Stop'
$script:failures = 0

. (Join-Path $PSScriptRoot checks.ps1)  # Say and Check: each result on the console and in the job's summary
function Skip([string] $what) { Write-Host "::notice::$what"; Say "skipped: $what" }
function Hex([byte[]] $bytes) { [BitConverter]::ToString($bytes) }
function Holds([string] $path, [byte[]] $bytes) {
  (Test-Path -LiteralPath $path) -and (Hex ([IO.File]::ReadAllBytes($path))) -eq (Hex $bytes)
}
function LogOf([string] $path) {
  if (-not (Test-Path -LiteralPath $path)) { return '' }
  $text = Get-Content -LiteralPath $path -Raw -Encoding utf8
  Write-Host ($text -replace '(?m)^', '    ')
  return $text
}
function HasLine([string] $log, [string] $line) { $log -match "(?m)^$([regex]::Escape($line))\r?$" }
function Quietly([scriptblock] $do) { try { & $do } catch { Write-Host "(cleaning up: $_)" } }
# Zelvane.exe started by this administrator, elevated, as a script does: its exit code.
function RunElevated([string] $program, [string[]] $arguments) {
  (Start-Process -FilePath $program -ArgumentList $arguments -Wait -PassThru).ExitCode
}
# A program started by the standard user (an interactive logon, as from the desktop): its exit code.
function RunAsUser([string] $program, [string] $arguments) {
  $start = [Diagnostics.ProcessStartInfo]::new($program, $arguments)
  $start.UserName = $user; $start.Domain = $env:COMPUTERNAME; $start.Password = $secure
  $start.LoadUserProfile = $true; $start.UseShellExecute = $false; $start.WorkingDirectory = $quindrel
  $run = [Diagnostics.Process]::Start($start)
  if (-not $run.WaitForExit(120000)) { $run.Kill(); throw "$program did not end within two minutes" }
  $run.ExitCode
}

# A FAT32 volume in a VHD at `vhd`, through diskpart: its drive letter, or nothing where this
# machine cannot make one (diskpart's output is in diskpart.log).
function MakeFat32([string] $vhd) {
  $letter = [char[]] 'ZYXWVUTSRQPONMLKJIHG' | Where-Object { -not (Test-Path "${_}:\") } | Select-Object -First 1
  if (-not $letter) { return $null }
  $commands = Join-Path $work 'fat32.txt'
  Set-Content -LiteralPath $commands -Encoding ascii -Value @(
    "create vdisk file=`"$vhd`" maximum=128 type=expandable", "select vdisk file=`"$vhd`"", 'attach vdisk',
    'convert mbr', 'create partition primary', 'format fs=fat32 quick label=ZELVANE', "assign letter=$letter")
  & diskpart.exe /s $commands *>&1 | Out-File -LiteralPath (Join-Path $Logs 'diskpart.log')
  if ($LASTEXITCODE -ne 0 -or -not (Test-Path "${letter}:\")) { return $null }
  try { if ((Get-Volume -DriveLetter $letter).FileSystem -eq 'FAT32') { return $letter } } catch { }
  return $null
}

$principal = [Security.Principal.WindowsPrincipal][Security.Principal.WindowsIdentity]::GetCurrent()
if (-not $principal.IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
  Write-Host '::error::Run this as an elevated administrator: it makes a user and a folder under Program Files.'
  exit 1
}
if ($env:GITHUB_STEP_SUMMARY) { Add-Content -LiteralPath $env:GITHUB_STEP_SUMMARY -Value '### What only Windows shows' }
$Exe = (Resolve-Path -LiteralPath $Exe).Path
if ($E2e) { $E2e = (Resolve-Path -LiteralPath $E2e).Path }
New-Item -ItemType Directory -Force -Path $Logs | Out-Null
$Logs = (Resolve-Path -LiteralPath $Logs).Path

[byte[]] $legacy = @(0) * 96 + @(1, 0, 0x41)
[byte[]] $upgraded = $legacy + @(0, 0, 0)
$programFiles = if (${env:ProgramFiles(x86)}) { ${env:ProgramFiles(x86)} } else { $env:ProgramFiles }
$quindrel = Join-Path $programFiles 'Quindrel e2e'
$formats = Join-Path $quindrel 'appfiles\formats'
$zelvane = Join-Path $quindrel 'Zelvane.exe'
$legacyNames = 'Legacy.qdx', 'Legacy 2.qdx'  # more than one: a virtualised run upgrades every one of them at once
$work = Join-Path ([IO.Path]::GetTempPath()) "zelvane-checks-$PID"
$victim = Join-Path $env:ProgramData "zelvane-checks-$PID"  # a folder of the machine's, made below
$user = 'zelvane-' + (-join ((48..57) + (97..122) | Get-Random -Count 6 | ForEach-Object { [char] $_ }))
$password = [Convert]::ToBase64String([Security.Cryptography.RandomNumberGenerator]::GetBytes(18)) + 'aA1!'  # and so every kind of character a policy may ask for
Write-Host "::add-mask::$password"
$secure = ConvertTo-SecureString $password -AsPlainText -Force
$task = "Zelvane check ($user)"
$computer = [ADSI] "WinNT://$env:COMPUTERNAME,computer"
$sid = $null
$vhd = $null

$policy = Get-ItemProperty -LiteralPath 'HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System'
function PolicyValue([string] $name, [int] $default) {
  $value = $policy.PSObject.Properties[$name]
  if ($value) { [int] $value.Value } else { $default }
}
$uac = (PolicyValue 'EnableLUA' 1) -ne 0 -and (PolicyValue 'EnableVirtualization' 1) -ne 0
Say ("User Account Control is $(if ($uac) { 'on, with file virtualisation' } else { 'off, or its file virtualisation is: Windows virtualises no run here' }).")

# The user's copies: the formats folder's path after its drive, below the user's VirtualStore.
function CopiesOf([string] $profileFolder) { Join-Path $profileFolder ('AppData\Local\VirtualStore' + $formats.Substring(2)) }
function ProfileFolder {
  $key = Get-ItemProperty -LiteralPath "HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\$sid" -ErrorAction SilentlyContinue
  if (-not $key) { throw "Windows made no profile for $user" }
  $key.ProfileImagePath
}

# The two ways a standard user's run starts; each gives the run's exit code.
$ways = @(
  [pscustomobject] @{
    Name = 'interactive'; MustBeVirtualised = $uac
    Says = 'started by the user (an interactive logon, as from the desktop)'
    Start = { param([string] $log) RunAsUser $zelvane "/quiet /log:`"$log`"" }
  },
  [pscustomobject] @{
    Name = 'task'; MustBeVirtualised = $false
    Says = "a scheduled task registered with the user's password (a batch logon)"
    Start = {
      param([string] $log)
      $action = New-ScheduledTaskAction -Execute $zelvane -Argument "/quiet /log:`"$log`"" -WorkingDirectory $quindrel
      $settings = New-ScheduledTaskSettingsSet -ExecutionTimeLimit (New-TimeSpan -Minutes 5) -AllowStartIfOnBatteries -DontStopIfGoingOnBatteries
      Register-ScheduledTask -TaskName $task -Action $action -Settings $settings -User "$env:COMPUTERNAME\$user" `
        -Password $password -RunLevel Limited -Force | Out-Null
      Start-ScheduledTask -TaskName $task | Out-Null
      $until = (Get-Date).AddMinutes(2)
      do {
        Start-Sleep -Milliseconds 500
        $info = Get-ScheduledTaskInfo -TaskName $task
        $done = (Get-ScheduledTask -TaskName $task).State -ne 'Running' -and $info.LastTaskResult -ne 0x41303  # 0x41303: not run yet
      } until ($done -or (Get-Date) -gt $until)
      if (-not $done) { throw 'the scheduled task did not end within two minutes' }
      [long] $info.LastTaskResult
    }
  }
)

try {
  Write-Host "== A standard user, $user, and the Quindrel folder $quindrel"
  New-Item -ItemType Directory -Force -Path $work, $victim | Out-Null
  # Through ADSI: the LocalAccounts cmdlets fail in PowerShell 7.3 and later. A new account is one
  # of the Users (through Authenticated Users), and nothing more.
  $account = $computer.Create('User', $user)
  $account.SetPassword($password)
  $account.SetInfo()
  $sid = ([Security.Principal.NTAccount] "$env:COMPUTERNAME\$user").Translate([Security.Principal.SecurityIdentifier]).Value
  # Performance Log Users holds "Log on as a batch job" by default, which a task registered with a
  # password needs; it gives no administrator's rights. Named by its SID, in any language.
  $batch = ([Security.Principal.SecurityIdentifier] 'S-1-5-32-559').Translate([Security.Principal.NTAccount]).Value.Split('\')[-1]
  ([ADSI] "WinNT://$env:COMPUTERNAME/$batch,group").Add("WinNT://$env:COMPUTERNAME/$user,user")
  & icacls.exe $Logs /grant "${user}:(OI)(CI)M" | Out-Null  # the user's runs write their logs there
  if ($LASTEXITCODE -ne 0) { throw "icacls could not let $user write to $Logs" }
  if (Test-Path -LiteralPath $quindrel) { Remove-Item -LiteralPath $quindrel -Recurse -Force }
  New-Item -ItemType Directory -Force -Path $formats | Out-Null
  foreach ($name in $legacyNames) { [IO.File]::WriteAllBytes((Join-Path $formats $name), $legacy) }
  [IO.File]::WriteAllBytes((Join-Path $formats 'Current.qdx'), $upgraded)
  Copy-Item -LiteralPath $Exe -Destination $zelvane

  foreach ($way in $ways) {
    Write-Host "== The standard user's run, $($way.Says)"
    $profileKnown = Get-ItemProperty -LiteralPath "HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\$sid" -ErrorAction SilentlyContinue
    if ($profileKnown) { Remove-Item -LiteralPath (CopiesOf (ProfileFolder)) -Recurse -Force -ErrorAction SilentlyContinue }
    $log = Join-Path $Logs "standard-user-$($way.Name).log"
    $code = & $way.Start $log
    $text = LogOf $log
    $copies = CopiesOf (ProfileFolder)
    $what = "a standard user's run, $($way.Says)"
    foreach ($name in $legacyNames) { Check (Holds (Join-Path $formats $name) $legacy) "$what, leaves the installed $name as it was" }
    Check (Holds (Join-Path $formats 'Current.qdx') $upgraded) "$what, leaves the installed Current.qdx as it was"
    if ($text.Contains('Windows kept the changes of this run in your own copies of the profiles')) {
      Say "Windows virtualised the run $($way.Says)."
      Check ($code -eq 0) "$what, ends with exit code 0 in one run (it ended with $code)"
      Check ((HasLine $text 'upgraded: Legacy.qdx') -and (HasLine $text 'upgraded: Legacy 2.qdx') -and (HasLine $text 'already in the 2.0.12 layout: Current.qdx')) "$what, logs both legacy profiles upgraded and Current.qdx already current"
      foreach ($name in $legacyNames) { Check (Holds (Join-Path $copies $name) $upgraded) "$what, leaves the user's copy of $name upgraded (its bytes, then 00 00 00) in $copies" }
      Check (-not (Test-Path -LiteralPath (Join-Path $copies 'Current.qdx'))) "$what, makes no copy of Current.qdx, which needed no change"
    } else {
      Check (-not $way.MustBeVirtualised) "Windows virtualised the run $($way.Says), as it does while User Account Control is on (the log does not say that Windows kept the changes in the user's copies)"
      Say "Windows did not virtualise the run $($way.Says)."
      Check ($code -eq 1) "$what, not virtualised, ends with exit code 1 (it ended with $code)"
      Check ($text -match '(?m)^failed: Legacy( 2)?\.qdx \(') "$what, not virtualised, logs that a legacy profile could not be upgraded"
      Check ($text.Contains("Other users' copies of the profiles, which Windows keeps for them, were not looked at")) "$what, not virtualised, says that it did not look at other users' copies"
      foreach ($name in $legacyNames) { Check (-not (Test-Path -LiteralPath (Join-Path $copies $name))) "$what, not virtualised, leaves no copy of $name" }
    }
  }

  Write-Host "== The administrator's elevated run over the installed profiles and $user's copy"
  $profileFolder = ProfileFolder
  $copies = CopiesOf $profileFolder
  New-Item -ItemType Directory -Force -Path $copies | Out-Null
  [IO.File]::WriteAllBytes((Join-Path $copies 'Legacy.qdx'), $legacy)  # as the user's older Quindrel saved it
  $log = Join-Path $Logs 'administrator.log'
  $code = RunElevated $zelvane @('/quiet', "/log:`"$log`"")
  $text = LogOf $log
  $name = Split-Path -Leaf $profileFolder
  Check ($code -eq 0) "the elevated run ends with exit code 0 (it ended with $code)"
  Check (Holds (Join-Path $formats 'Legacy.qdx') $upgraded) 'the elevated run upgrades the installed Legacy.qdx'
  Check (Holds (Join-Path $formats 'Current.qdx') $upgraded) 'the elevated run leaves the installed Current.qdx as it was'
  Check (Holds (Join-Path $copies 'Legacy.qdx') $upgraded) "the elevated run upgrades $name's copy of Legacy.qdx"
  Check ((HasLine $text 'upgraded: Legacy.qdx') -and (HasLine $text "upgraded: Legacy.qdx ($name's copy)")) "the elevated run logs the installed Legacy.qdx and `"Legacy.qdx ($name's copy)`" upgraded"
  Check (-not $text.Contains('Windows kept the changes')) 'the elevated run is not virtualised'

  Write-Host "== A junction $user made in their VirtualStore, then the elevated run"
  [IO.File]::WriteAllBytes((Join-Path $victim 'Legacy.qdx'), $legacy)  # the machine's: the user may not write it
  Remove-Item -LiteralPath $copies -Recurse -Force
  $made = RunAsUser 'cmd.exe' "/c mklink /J `"$copies`" `"$victim`""
  Check ($made -eq 0 -and (Get-Item -LiteralPath $copies).LinkType -eq 'Junction') "$user makes their copies folder a junction to $victim"
  $log = Join-Path $Logs 'administrator-junction.log'
  $code = RunElevated $zelvane @('/quiet', "/log:`"$log`"")
  $text = LogOf $log
  Check ($code -eq 4) "the elevated run over a user's junction ends with exit code 4 (it ended with $code)"
  Check (Holds (Join-Path $victim 'Legacy.qdx') $legacy) 'the elevated run leaves the profile the junction leads to as it was'
  Check ($text -match "(?m)^left as they were: the copies of $([regex]::Escape($name)) \(") "the elevated run logs $name's copies left as they were"

  Write-Host '== One log for two runs at once, and a third appender that holds its lock'
  $shared = Join-Path $work 'shared.log'
  $runs = foreach ($side in 'A', 'B') {
    $folder = Join-Path $work "Quindrel $side\appfiles\formats"
    New-Item -ItemType Directory -Force -Path $folder | Out-Null
    foreach ($i in 1..200) { [IO.File]::WriteAllBytes((Join-Path $folder ('{0} profile {1:d3}.qdx' -f $side, $i)), $legacy) }
    Start-Process -FilePath $Exe -ArgumentList '/check', '/quiet', "/folder:`"$(Split-Path -Parent (Split-Path -Parent $folder))`"", "/log:`"$shared`"" -PassThru
  }
  $runs | Wait-Process -Timeout 300
  $codes = $runs | ForEach-Object { $_.ExitCode }
  $lines = (Get-Content -LiteralPath $shared -Raw -Encoding utf8) -split "`r`n"
  $profileLines = @($lines | Where-Object { $_ -match '^would be upgraded: [AB] profile \d{3}\.qdx$' })
  Check (($codes | Where-Object { $_ -ne 5 }).Count -eq 0) "two checks appending to one log at once both end with exit code 5 ($($codes -join ', '))"
  Check ($profileLines.Count -eq 400 -and ($profileLines | Sort-Object -Unique).Count -eq 400) "the shared log holds each of the 400 profiles' lines once, whole ($($profileLines.Count))"
  Check (@($lines | Where-Object { $_ -match '^Summary: 200 profiles: 200 would be upgraded\. Exit code 5' }).Count -eq 2 -and $lines[-1] -eq '') 'the shared log holds both summaries whole, and ends with a line end'
  $holder = [IO.File]::Open($shared, 'Open', 'ReadWrite', 'ReadWrite, Delete')
  try {
    $holder.Lock(0x7FFFFFFFFFFFFFF0, 1)  # the byte appenders take turns by, as a run that hangs holds it
    $took = Measure-Command { $code = RunElevated $Exe @('/check', '/quiet', "/folder:`"$(Join-Path $work 'Quindrel A')`"", "/log:`"$shared`"") }
  } finally {
    $holder.Dispose()
  }
  $text = LogOf $shared
  Check ($code -eq 5 -and $took.TotalSeconds -ge 9 -and $took.TotalSeconds -lt 60) "a run whose log's lock another holds waits 10 seconds by the clock, once, and finishes ($([int] $took.TotalSeconds) s, exit code $code)"
  Check ($text.Contains('Another run has held the lock of the log for more than 10 seconds')) 'its log says that it stopped waiting for the lock'

  Write-Host '== /check of a folder with a dot file, a hidden and a system profile'
  $listing = Join-Path $work 'Quindrel'
  $listed = Join-Path $listing 'appfiles\formats'
  New-Item -ItemType Directory -Force -Path $listed | Out-Null
  foreach ($file in '.x.qdx', 'plain.qdx', 'hidden.qdx', 'system.qdx') { [IO.File]::WriteAllBytes((Join-Path $listed $file), $legacy) }
  (Get-Item -LiteralPath (Join-Path $listed 'hidden.qdx')).Attributes = [IO.FileAttributes]::Hidden
  (Get-Item -LiteralPath (Join-Path $listed 'system.qdx')).Attributes = [IO.FileAttributes]::System
  $log = Join-Path $Logs 'listing-check.log'
  $code = RunElevated $Exe @('/check', '/quiet', "/folder:`"$listing`"", "/log:`"$log`"")
  $text = LogOf $log
  Check ($code -eq 5) "the check ends with exit code 5 (it ended with $code)"
  Check ((HasLine $text 'would be upgraded: .x.qdx') -and (HasLine $text 'would be upgraded: plain.qdx')) 'the check lists .x.qdx and plain.qdx'
  Check ($text -notmatch 'hidden\.qdx|system\.qdx' -and $text -match '(?m)^Summary: 2 profiles') 'the check lists neither the hidden nor the system profile'

  Write-Host '== The removal of the running program from a FAT32 volume'
  if (-not $E2e) {
    Skip 'no end-to-end program was given (-E2e): the removal from a FAT32 volume was not checked'
  } else {
    $vhd = Join-Path $work 'fat32.vhd'
    $letter = MakeFat32 $vhd
    if (-not $letter) {
      Skip 'this machine could not make a FAT32 volume through diskpart (see diskpart.log): the removal from FAT32 was not checked'
    } else {
      $temporary = "${letter}:\Temp"
      New-Item -ItemType Directory -Force -Path $temporary | Out-Null
      $filter = 'E2e/RemovalTest.*/AsZelvaneExe:E2e/RemovalTest.*/AsQuindrelComBesideQuindrelExe:E2e/RemovalTest.*/ReadOnly'
      # As many cases as the filter selects in this very program (its names, not a number written here).
      $selected = @(& $E2e "--gtest_filter=$filter" --gtest_list_tests | Where-Object { $_ -match '^  \S' }).Count
      Check ($selected -gt 0) "the filter of the removal cases selects some ($selected) in $E2e"
      $saved = $env:TMP, $env:TEMP, $env:ZELVANE_EXE
      try {
        $env:TMP = $temporary; $env:TEMP = $temporary; $env:ZELVANE_EXE = $Exe
        $output = & $E2e "--gtest_filter=$filter" *>&1 | ForEach-Object { "$_" } | Tee-Object -FilePath (Join-Path $Logs 'fat32-removal.log')
        $code = $LASTEXITCODE
      } finally {
        $env:TMP, $env:TEMP, $env:ZELVANE_EXE = $saved
      }
      $passed = $output -match "^\[  PASSED  \] $selected tests?\.`$"
      Check ($code -eq 0 -and $passed) "the end-to-end removal cases pass with their folders on FAT32 (${letter}:), all $selected of them (exit code $code)"
    }
  }
} finally {
  Write-Host '== Cleaning up'
  Quietly { if (Get-ScheduledTask -TaskName $task -ErrorAction SilentlyContinue) { Unregister-ScheduledTask -TaskName $task -Confirm:$false } }
  Quietly { if ($sid) { Get-CimInstance -ClassName Win32_UserProfile -Filter "SID='$sid'" | Remove-CimInstance } }
  Quietly { if ($sid) { $computer.Delete('User', $user) } }
  Quietly { if (Test-Path -LiteralPath $quindrel) { Remove-Item -LiteralPath $quindrel -Recurse -Force } }
  Quietly { if ($vhd -and (Test-Path -LiteralPath $vhd)) { Dismount-DiskImage -ImagePath $vhd | Out-Null } }
  Quietly { if (Test-Path -LiteralPath $work) { Remove-Item -LiteralPath $work -Recurse -Force } }
  Quietly { if (Test-Path -LiteralPath $victim) { Remove-Item -LiteralPath $victim -Recurse -Force } }
}

if ($script:failures) { Write-Host "$($script:failures) check(s) failed"; exit 1 }
Write-Host 'Every check passed'
exit 0
