#!/usr/bin/env bash
# Fails, naming the files, when a C++ source under the project's code folders is not in the
# style of the root .clang-format. Run by ctest (format_check) and usable by hand:
#   scripts/check-format.sh [SOURCE_DIR]
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root"
mapfile -d '' files < <(find engine dbaccess grid print app tools tests bench \
  \( -name '*.cpp' -o -name '*.h' \) -type f -print0 2>/dev/null | sort -z)
if ! report=$(clang-format --style=file --dry-run -Werror "${files[@]}" 2>&1); then
  echo "Not formatted (run: clang-format -i FILE):"
  grep -o '^[^:]*\.\(cpp\|h\):' <<<"$report" | sort -u | sed 's/:$//; s/^/  /'
  exit 1
fi
echo "${#files[@]} files formatted"
