#!/usr/bin/env bash
# The application entry passes desktop-file-validate without an error or a warning; the Dolphin
# service menus too, apart from what the validator cannot know of KDE's service type.
# Usage: validate-desktop-files.sh APPLICATION.desktop SERVICEMENU.desktop...
set -euo pipefail
. "$(dirname "$0")/need.sh"
need desktop-file-validate desktop-file-utils

entry=$1
shift
report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate rejects $entry:
$report"
if grep -E ': (error|warning)' <<<"$report"; then
    fail "desktop-file-validate complains about $entry"
fi

# KIO's service menus are Type=Service with MimeType and Actions (the validator allows those
# for applications only) and may name the pseudo-type all/all.
kde_only='key "(MimeType|Actions)" is present in group "Desktop Entry", but the type is "Service" while this key is only valid for type "Application"|contains value "all/all" which is an invalid MIME type'
for menu in "$@"; do
    [ -f "$menu" ] || fail "no $menu"
    report=$(desktop-file-validate "$menu" 2>&1 || true)
    if others=$(grep -E ': (error|warning)' <<<"$report" | grep -Ev "$kde_only"); then
        fail "desktop-file-validate complains about $menu:
$others"
    fi
    grep -qx 'Type=Service' "$menu" || fail "$menu is not a service menu (Type=Service)"
    grep -qx 'X-KDE-ServiceTypes=KonqPopupMenu/Plugin' "$menu" ||
        fail "$menu does not declare itself a context-menu plugin for KF5"
done
echo "desktop entries valid: $entry $*"
