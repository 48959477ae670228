#!/usr/bin/env bash
# The Debian package as a user gets it: builds it from the build folder with CPack (gzip, which
# is quicker than the release xz), unpacks
# it into a scratch root (dpkg -x), makes the program folder read-only and, with HOME in a
# scratch folder:
#   - drives the real windows over the unpacked program folder (installed_program_qtest):
#     a search lists the films, a rating and a note go to the XDG folders and come back;
#   - starts the installed launcher offscreen: it must still be running after 5 seconds;
#   - checks that nothing in the program folder changed and the user's files are where the
#     XDG layout puts them.
# Usage: package_test.sh BUILD_DIR INSTALLED_PROGRAM_QTEST
set -euo pipefail

build_dir=$1
qtest=$2
scratch=$(mktemp -d)
cleanup() {
  chmod -R u+w "$scratch" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/out/*.deb)
dpkg -x "$deb" "$scratch/root"

program_folder=$scratch/root/usr/lib/pellomar
for f in Pellomar VIDEOS.DAT VIDEOS.IDX CASTMEMBERS.DAT DIRECTORS.DAT; do
  [ -e "$program_folder/$f" ] || { echo "missing in the package: $f"; exit 1; }
done
for f in usr/bin/pellomar usr/bin/quarry usr/bin/pellomar-catalogue \
         usr/share/applications/io.github.pellomar.Pellomar.desktop \
         usr/share/icons/hicolor/scalable/apps/io.github.pellomar.Pellomar.svg \
         usr/share/metainfo/io.github.pellomar.Pellomar.metainfo.xml \
         usr/share/man/man1/pellomar.1.gz usr/share/doc/pellomar/copyright; do
  [ -e "$scratch/root/$f" ] || { echo "missing in the package: $f"; exit 1; }
done

chmod -R a-w "$program_folder"
snapshot() { (cd "$program_folder" && find . -printf '%p %s %T@ %m\n' | sort); }
before=$(snapshot)

export HOME=$scratch/home
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME
export QT_QPA_PLATFORM=offscreen

PELLOMAR_INSTALLED_DIR=$program_folder "$qtest"

# The installed launcher, from elsewhere: it finds its folder and starts.
status=0
(cd "$scratch" && timeout 5 "$scratch/root/usr/bin/pellomar") || status=$?
if [ "$status" -ne 124 ]; then
  echo "pellomar ended with status $status before the timeout"
  exit 1
fi

after=$(snapshot)
if [ "$before" != "$after" ]; then
  echo "the program folder changed:"
  diff <(echo "$before") <(echo "$after") || true
  exit 1
fi
[ -f "$HOME/.config/pellomar/Pellomar.INI" ] || { echo "no Pellomar.INI in ~/.config/pellomar"; exit 1; }
ls "$HOME"/.local/share/pellomar/notes/*.vid >/dev/null || { echo "no notes in ~/.local/share/pellomar/notes"; exit 1; }
echo "package test passed: $(basename "$deb")"
