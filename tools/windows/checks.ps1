# The reporting that the Windows checks share, dot-sourced by each: a result is said on the console
# and, in a GitHub Actions job, in its summary; a failed check is counted in the caller's
# $script:failures and marked as an error annotation.

function Say([string] $text) {
  Write-Host $text
  if ($env:GITHUB_STEP_SUMMARY) { Add-Content -LiteralPath $env:GITHUB_STEP_SUMMARY -Value "- $text" }
}
function Check([bool] $ok, [string] $what) {
  if ($ok) { Say "passed: $what" } else { Write-Host "::error::$what"; Say "FAILED: $what"; $script:failures++ }
}
