#!/usr/bin/env bash
# Checks the AppStream metainfo: appstreamcli validates it (any warning or
# remark fails), its newest release is the project's version, and it names
# the same media types as the desktop entry opens.
# Usage: check_metainfo.sh METAINFO DESKTOP_ENTRY VERSION
set -euo pipefail
metainfo=$1 desktop=$2 version=$3
status=0

appstreamcli validate --no-net --strict "$metainfo" || status=1

# The releases are listed newest first.
newest=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -n 1 | sed 's/.*version="\([^"]*\)"/\1/')
if [ "$newest" != "$version" ]; then
  echo "check_metainfo: the newest release is '$newest', the project's version $version" >&2
  status=1
fi

provided=$(grep -o '<mediatype>[^<]*</mediatype>' "$metainfo" | sed 's/<[^>]*>//g' | sort)
opened=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | sed '/^$/d' | sort)
if [ "$provided" != "$opened" ]; then
  echo "check_metainfo: media types differ from the desktop entry's MimeType" >&2
  diff <(printf '%s\n' "$provided") <(printf '%s\n' "$opened") >&2 || true
  status=1
fi
exit $status
