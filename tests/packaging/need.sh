# Sourced by the packaging checks: `need TOOL PACKAGE` ends the check as skipped (exit 77,
# the tests' SKIP_RETURN_CODE) when the Debian tool it runs is not installed.
need()
{
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "SKIP: $1 not found (Debian package $2; scripts/bootstrap installs it)"
    exit 77
  fi
}
