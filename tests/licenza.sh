#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, build and script file states its licence in its first lines.
set -euo pipefail
cd "$1"
mancanti=$(find . \( -path './build*' -o -path './.git' -o -path './fuzz/corpus' \) -prune -o \
    -type f \( -name '*.h' -o -name '*.cpp' -o -name 'CMakeLists.txt' -o -name '*.cmake' \
    -o -name '*.sh' -o -name '*.bash' -o -name '*.ui' -o -name '*.scd' -o -path './scripts/*' \) \
    -print | while read -r f; do
    head -n 3 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || echo "$f"
done)
if [ -n "$mancanti" ]; then
    echo "no SPDX licence line in:" >&2
    echo "$mancanti" >&2
    exit 1
fi
