#!/usr/bin/env bash
# Installs the build as a package holds it (prefix /usr, under a temporary
# DESTDIR), checks that each file is where the desktop and the program look
# for it, validates the desktop entry and the AppStream metadata, and starts
# the installed program headless until its window is shown.
#
#   install_test.sh BUILD APP_ID BINDIR MODULE_DIR MODULE_FILE DATA_DIR DATAROOT
set -euo pipefail
build=$1 id=$2 bindir=$3 moduledir=$4 modulefile=$5 datadir=$6 dataroot=$7

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
DESTDIR="$tmp" cmake --install "$build" --prefix /usr > /dev/null
usr="$tmp/usr"

expected=(
  "$bindir/sarvel"
  "$moduledir/$modulefile"
  "$datadir/ftp_server.py"
  "$datadir/demo/readme.txt"
  "$dataroot/applications/$id.desktop"
  "$dataroot/icons/hicolor/scalable/apps/$id.svg"
  "$dataroot/metainfo/$id.metainfo.xml"
)
status=0
for file in "${expected[@]}"; do
  [ -f "$usr/$file" ] || { echo "FAIL: /usr/$file is not installed"; status=1; }
done
[ -x "$usr/$bindir/sarvel" ] || { echo "FAIL: sarvel is not executable"; status=1; }
strays=$(find "$tmp" -name 'tst_*' -o -name 'bench_*' -o -name '*.a')
[ -z "$strays" ] || { echo "FAIL: tests or build leftovers installed: $strays"; status=1; }

# Clean means not a single remark from either validator.
remarks=$(desktop-file-validate "$usr/$dataroot/applications/$id.desktop" 2>&1) || status=1
[ -z "$remarks" ] || { echo "FAIL: desktop-file-validate: $remarks"; status=1; }
remarks=$(appstreamcli validate --no-net --pedantic "$usr/$dataroot/metainfo/$id.metainfo.xml") ||
  status=1
echo "$remarks"
! grep -E '^[EWIP]: ' <<<"$remarks" > /dev/null || { echo "FAIL: appstreamcli has remarks"; status=1; }

run=()
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a -s "-screen 0 1280x1024x24")
said=$(SARVEL_QUIT_WHEN_SHOWN=1 timeout 30 "${run[@]}" "$usr/$bindir/sarvel") || {
  echo "FAIL: the installed program did not quit cleanly once shown"
  status=1
}
echo "$said"
grep -qx "shown" <<<"$said" || { echo "FAIL: no window shown"; status=1; }
grep -qx "web engine module: $usr/$moduledir/$modulefile" <<<"$said" ||
  { echo "FAIL: the web engine module was not found beside the installed program"; status=1; }
exit $status
