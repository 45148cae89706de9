#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every source file of the tree, committed or new, names its licence in an SPDX line at its
# top (after the shebang of a script), so that a file added later keeps it too.
#   licence-lines-test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "skipped: $1 is not a git checkout"
    exit 77
fi

missing=()
while IFS= read -r -d '' file; do
    [[ -f $file ]] || continue # deleted, not yet committed
    head -n 3 "$file" | grep -q 'SPDX-License-Identifier: Apache-2\.0' || missing+=("$file")
done < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' '*.qml' '*.sh' \
    '*.cmake' '*CMakeLists.txt' '*Makefile' '.ci/run' '*.1')
if ((${#missing[@]})); then
    echo "FAIL: no 'SPDX-License-Identifier: Apache-2.0' line in the first lines of:" >&2
    printf '  %s\n' "${missing[@]}" >&2
    exit 1
fi
echo "every source file names its licence"
