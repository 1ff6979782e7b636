#!/usr/bin/env bash
# Builds the Debian package (build/cryvan_<version>_<arch>.deb) from the install rules.
# Usage: scripts/package.sh [--check]
#   --check   then installs it with apt-get, encrypts and decrypts with the installed cryvan from
#             PATH, removes and purges it, and checks that nothing of it is left (as root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
rm -f build/cryvan_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/cryvan_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends

[ "${1:-}" = "--check" ] || exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
work=$(mktemp -d)
installed=0
kept=()
made=""
cleanup() {
    # Stand-ins for the organisation's files go, whatever happened.
    for f in "${kept[@]}"; do $sudo rm -f "$f"; done
    [ -z "$made" ] || $sudo rmdir -p "$made" 2>/dev/null || true
    # A failed check leaves neither the package nor its test files behind.
    if [ $installed -eq 1 ]; then
        $sudo dpkg --purge cryvan >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' >"$work/files"
# (Checked in the package: minimal systems may exclude /usr/share/man from what dpkg unpacks.)
for f in /usr/bin/cryvan /usr/bin/cryvan-desktop /usr/bin/cryvan-org /usr/share/man/man1/cryvan.1.gz \
         /usr/share/mime/packages/cryvan.xml /usr/share/applications/com.tenviklabs.Cryvan.desktop; do
    grep -qx "$f" "$work/files" || { echo "not in the package: $f"; exit 1; }
done
# Its dependencies come from the archive: the lists must be current.
$sudo apt-get update -qq
installed=1
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./$deb" >/dev/null
[ "$(command -v cryvan)" = /usr/bin/cryvan ] || { echo "cryvan is not on PATH from the package"; exit 1; }
# No maintainer scripts: the databases are refreshed by their own packages' triggers.
if ls /var/lib/dpkg/info/cryvan.{preinst,postinst,prerm,postrm} >/dev/null 2>&1; then
    echo "the package has maintainer scripts"; exit 1
fi

# A round trip with the installed program, on the terminal (no display here).
mkdir -p "$work/in/folder" "$work/out" "$work/cfg"
echo "the only copy" >"$work/in/a.txt"
head -c 100000 /dev/urandom >"$work/in/folder/b.bin"
printf 'secret1\n' >"$work/pw"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/cfg" \
     cryvan --text --password-file pw -e -c box.aes -i in -q >/dev/null)
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/cfg" \
     cryvan --text --password-file pw -d -c box.aes -o out -q >/dev/null)
diff -r "$work/in" "$work/out/in"

# Settings and organisation files outlive the package.
org=/etc/xdg/Tenvik-Labs/Cryvan
[ -d "$org" ] || made=$org
$sudo mkdir -p "$org"
for f in "$org/Organisation.bin" "$org/Data Recovery.bin"; do
    [ -e "$f" ] || { echo "not the package's" | $sudo tee "$f" >/dev/null; kept+=("$f"); }
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq cryvan >/dev/null
# Without configuration files, removing leaves nothing for apt to purge; dpkg still checks.
$sudo dpkg --purge cryvan >/dev/null 2>&1
installed=0
left=0
while IFS= read -r f; do
    if [ -e "$f" ] || [ -L "$f" ]; then echo "left behind: $f"; left=1; fi
done <"$work/files"
for f in "$org/Organisation.bin" "$org/Data Recovery.bin"; do
    [ -e "$f" ] || { echo "removed by the package: $f"; left=1; }
done
[ $left -eq 0 ] || exit 1
echo "Installed, used, removed and purged: nothing of the package is left."
