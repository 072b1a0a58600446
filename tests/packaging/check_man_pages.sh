#!/usr/bin/env bash
# Reads every manual page in a folder as groff and man-db read it, and fails
# on any warning: groff with all its warnings on (a misspelt macro, a
# missing argument, an unknown escape), and lexgrog, mandb's reader of the
# NAME line that whatis and apropos answer from.
# Usage: check_man_pages.sh FOLDER
set -euo pipefail
pages=("$1"/*.1)
[ -e "${pages[0]}" ] || { echo "check_man_pages: no page in $1" >&2; exit 1; }
status=0
for page in "${pages[@]}"; do
  warnings=$(LC_ALL=C.UTF-8 groff -k -man -ww -z "$page" 2>&1) || status=1
  if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings" >&2
    status=1
  fi
  lexgrog "$page" >/dev/null 2>&1 || { echo "$page: lexgrog cannot read its NAME section" >&2; status=1; }
done
exit $status
