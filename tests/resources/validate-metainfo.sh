#!/usr/bin/env bash
# The AppStream metainfo validates offline with nothing above the pedantic level.
# Usage: validate-metainfo.sh FILE.metainfo.xml
set -euo pipefail
. "$(dirname "$0")/need.sh"
need appstreamcli appstream

[ -f "$1" ] || fail "no $1"
# --strict fails on any warning or info; pedantic hints (an upper-case letter in the
# reverse-DNS id, no release list) are printed but allowed.
report=$(appstreamcli validate --no-net --strict --pedantic --explain "$1" 2>&1) ||
    fail "appstreamcli rejects $1:
$report"
echo "$report"
