#!/usr/bin/env bash
# The MIME package and the Thunar snippet are well-formed XML.
# Usage: validate-xml.sh FILE...
set -euo pipefail
. "$(dirname "$0")/need.sh"
need xmllint libxml2-utils

for f in "$@"; do
    [ -f "$f" ] || fail "no $f"
    xmllint --noout "$f" || fail "$f is not well-formed XML"
done
echo "well-formed: $*"
