#Requires -Version 7.2
<#
.SYNOPSIS
Runs the Windows test programs of a build on Windows itself, each started directly, against a
given Zelvane.exe: the unit tests that drive the Win32 backend, the removal's tests and the
end-to-end suite.

.DESCRIPTION
Every test program below -Build (a *_test.exe or *_test_win32.exe, and zelvane_e2e.exe) is run in
turn, with its GoogleTest results in -Logs as <program>.xml (JUnit's form) and its output in
<program>.log. The end-to-end suite and the removal's tests start -Exe (ZELVANE_EXE) and the
removal's stand-in beside self_removal_test_win32.exe (ZELVANE_VICTIM). When Perl is at hand,
tools/check-image then reads -Exe and every program (run from swap, checksum, no installer word,
architecture, size budget, no zero-length unwind record). Exits 1 when a program or the image check
fails, or when no test program is found.

The programs may come from the Linux build that makes the release (the windows preset, whose
Zelvane.exe is the release's bytes) or from a build on Windows (the windows-native preset).

.EXAMPLE
tools/windows/run-tests.ps1 -Build build\windows -Exe dist\Zelvane.exe -Logs logs\tests
#>
param(
  [Parameter(Mandatory)] [string] $Build,  # a folder holding the test programs, in folders of their own or not
  [Parameter(Mandatory)] [string] $Exe,    # the Zelvane.exe under test
  [Parameter(Mandatory)] [string] $Logs    # a folder for the results, made when missing
)
Set-StrictMode -Version Latest
$ErrorActionPreference = 'Stop'
$script:failures = 0

. (Join-Path $PSScriptRoot checks.ps1)  # Say and Check: each result on the console and in the job's summary

if ($env:GITHUB_STEP_SUMMARY) { Add-Content -LiteralPath $env:GITHUB_STEP_SUMMARY -Value '### The test programs, run on Windows' }
$Build = (Resolve-Path -LiteralPath $Build).Path
$Exe = (Resolve-Path -LiteralPath $Exe).Path
New-Item -ItemType Directory -Force -Path $Logs | Out-Null
$Logs = (Resolve-Path -LiteralPath $Logs).Path

$programs = @(Get-ChildItem -LiteralPath $Build -Recurse -File -Filter *.exe |
  Where-Object { $_.Name -match '_test(_win32)?\.exe$' -or $_.Name -eq 'zelvane_e2e.exe' } | Sort-Object Name)
Check ($programs.Count -gt 0) "test programs found in $Build ($($programs.Count))"
$victim = Get-ChildItem -LiteralPath $Build -Recurse -File -Filter self_removal_victim.exe | Select-Object -First 1

$env:ZELVANE_EXE = $Exe
if ($victim) { $env:ZELVANE_VICTIM = $victim.FullName }
foreach ($program in $programs) {
  $name = $program.BaseName
  Write-Host "== $name"
  Push-Location -LiteralPath $program.DirectoryName
  try {
    $output = & $program.FullName "--gtest_output=xml:$(Join-Path $Logs "$name.xml")" *>&1 | ForEach-Object { "$_" } |
      Tee-Object -FilePath (Join-Path $Logs "$name.log")
    $code = $LASTEXITCODE
  } finally {
    Pop-Location
  }
  $tally = ($output | Select-String -Pattern '^\[  (PASSED|FAILED|SKIPPED) +\] \d+ tests?' | ForEach-Object { $_.Line.Trim() }) -join '; '
  Check ($code -eq 0) "$name ($tally, exit code $code)"
}

$perl = Get-Command perl -ErrorAction SilentlyContinue
if (-not $perl) {
  Write-Host '::notice::No Perl on this machine: the image check was not run here'
  Say 'skipped: the image check (no Perl here)'
} else {
  $check = Join-Path $PSScriptRoot '..\check-image'
  & $perl.Source $check $Exe *>&1 | Tee-Object -FilePath (Join-Path $Logs 'check-image.log') | Out-Host
  Check ($LASTEXITCODE -eq 0) "tools/check-image: $Exe"
  & $perl.Source $check --unwind ($programs | ForEach-Object FullName) *>&1 | Tee-Object -Append -FilePath (Join-Path $Logs 'check-image.log') | Out-Host
  Check ($LASTEXITCODE -eq 0) "tools/check-image --unwind: the $($programs.Count) test programs"
}

if ($script:failures) { Write-Host "$($script:failures) check(s) failed"; exit 1 }
Write-Host 'Every test program passed'
exit 0
