#!/bin/sh
# Starts Pellomar from its own folder: the search reads the catalogue's tables from the
# current directory. The folder is found from where this script lies, so an unpacked copy of
# the package runs as well as an installed one.
set -e
here=$(dirname "$(readlink -f "$0")")
cd "$here/../lib/pellomar"
exec ./Pellomar "$@"
