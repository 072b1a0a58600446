#!/usr/bin/env bash
# Compares what a program's --help names with what its manual page names:
# every long option, and for a program with commands every command, must be
# in both, so that neither text falls behind the other.
# Usage: check_help_options.sh PROGRAM PAGE
set -euo pipefail
program=$1 page=$2
help=$(QT_QPA_PLATFORM=offscreen "$program" --help)
text=$(LC_ALL=C.UTF-8 groff -man -Tascii -P-cbou "$page" 2>/dev/null)
status=0
compare() { # WHAT FROM-HELP FROM-PAGE
  local missing
  missing=$(comm -3 <(printf '%s\n' "$2" | sort -u) <(printf '%s\n' "$3" | sort -u))
  if [ -n "$missing" ]; then
    echo "check_help_options: $1 named by only one of --help (left) and $(basename "$page") (right):" >&2
    printf '%s\n' "$missing" >&2
    status=1
  fi
}
compare options "$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help")" "$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$text")"
if grep -q '^Commands:' <<<"$help"; then
  compare commands "$(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -E '^  [a-z]' | awk '{print $1}')" \
    "$(sed -n '/^COMMANDS/,/^[A-Z]/p' <<<"$text" | grep -E '^       [a-z][a-z-]*( |$)' | awk '{print $1}')"
fi
exit $status
