#Requires -Version 7.2
<#
.SYNOPSIS
Checks a release folder (dist/ of tools/release) on Windows, as an administrator checks a download.

.DESCRIPTION
Every file that SHA256SUMS names has that SHA-256 (Get-FileHash), and it names Zelvane.exe and
BUILDINFO. When a signing key is configured (ZELVANE_SIGN_PFX_BASE64: the PKCS#12 file in base64,
with its password in ZELVANE_SIGN_PFX_PASSWORD, as the workflow passes the repository's secrets),
BUILDINFO says the file was signed and Get-AuthenticodeSignature finds Zelvane.exe signed by that
key's certificate, with the status Valid. A self-signed certificate (a key made for trying the
workflow out) is trusted on this machine for that one check and removed again. Without a key it
says so and checks no signature. Exits 1 when a check fails.

.EXAMPLE
tools/windows/check-release.ps1 -Dist dist
#>
param([Parameter(Mandatory)] [string] $Dist)
Set-StrictMode -Version Latest
$ErrorActionPreference = 'Stop'
$script:failures = 0

. (Join-Path $PSScriptRoot checks.ps1)  # Say and Check: each result on the console and in the job's summary

if ($env:GITHUB_STEP_SUMMARY) { Add-Content -LiteralPath $env:GITHUB_STEP_SUMMARY -Value '### The release, checked on Windows' }
$Dist = (Resolve-Path -LiteralPath $Dist).Path
$exe = Join-Path $Dist 'Zelvane.exe'

$listed = [ordered]@{}
foreach ($line in Get-Content -LiteralPath (Join-Path $Dist 'SHA256SUMS')) {
  if ($line -match '^([0-9a-fA-F]{64}) [ *](.+)$') { $listed[$Matches[2]] = $Matches[1] }
  else { Check $false "SHA256SUMS holds a line that is not a digest and a name: '$line'" }
}
foreach ($name in 'Zelvane.exe', 'BUILDINFO') { Check $listed.Contains($name) "SHA256SUMS names $name" }
foreach ($name in $listed.Keys) {
  $path = Join-Path $Dist $name
  $digest = if (Test-Path -LiteralPath $path) { (Get-FileHash -LiteralPath $path -Algorithm SHA256).Hash } else { 'none (no such file)' }
  Check ($digest -eq $listed[$name]) "$name has the SHA-256 that SHA256SUMS gives ($digest)"
}

$signature = Get-AuthenticodeSignature -LiteralPath $exe
if (-not $env:ZELVANE_SIGN_PFX_BASE64) {
  Say ("No signing key is configured (the repository secret ZELVANE_SIGN_PFX_BASE64 is not set): the release is " +
       "unsigned and its signature was not checked (Get-AuthenticodeSignature: $($signature.Status)).")
} else {
  $flags = [Security.Cryptography.X509Certificates.X509KeyStorageFlags]::EphemeralKeySet
  $key = [Security.Cryptography.X509Certificates.X509Certificate2]::new(
    [Convert]::FromBase64String($env:ZELVANE_SIGN_PFX_BASE64), [string] $env:ZELVANE_SIGN_PFX_PASSWORD, $flags)
  Check ([bool] (Select-String -LiteralPath (Join-Path $Dist 'BUILDINFO') -Pattern '^Signed: yes' -Quiet)) 'BUILDINFO says the file was signed'
  $signer = $signature.SignerCertificate
  $root = $null
  try {
    if ($signature.Status -ne 'Valid' -and $signer -and $signer.Subject -eq $signer.Issuer) {
      Say "The signer's certificate is self-signed ($($signer.Subject)): it is trusted on this machine for this check only."
      $root = [Security.Cryptography.X509Certificates.X509Store]::new('Root', 'LocalMachine')
      $root.Open('ReadWrite')
      $root.Add($signer)
      $signature = Get-AuthenticodeSignature -LiteralPath $exe
    }
    Check ($signature.Status -eq 'Valid') "Zelvane.exe carries a valid Authenticode signature (status $($signature.Status): $($signature.StatusMessage))"
    Check ($signer -and $signer.Thumbprint -eq $key.Thumbprint) "it is signed by the configured key's certificate ($($key.Subject), $($key.Thumbprint))"
    if ($signature.TimeStamperCertificate) { Say "time-stamped by $($signature.TimeStamperCertificate.Subject)" }
  } finally {
    if ($root) { $root.Remove($signer); $root.Close() }
  }
}

if ($script:failures) { Write-Host "$($script:failures) check(s) failed"; exit 1 }
Write-Host 'The release checks passed'
exit 0
