#!/usr/bin/env bash
# Makes the Debian package of this build (cpack -G DEB, into a temporary
# folder) and runs lintian on it, which must find no error and no warning:
# the package's control fields, copyright file, changelog, manual page and
# file modes. scripts/package does the same for a Release build with Debian's
# hardening flags.
#
#   package_test.sh BUILD
set -euo pipefail
build=$1

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp" > /dev/null
# A build configured for /usr/local puts the web engine module in lib/sarvel,
# not lib/<arch>/sarvel as the package build does, and from that place alone
# CPack adds ldconfig calls that the real package does not have.
lintian --display-info --fail-on error,warning --suppress-tags maintscript-calls-ldconfig \
  "$tmp"/sarvel_*.deb
