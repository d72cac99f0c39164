#!/usr/bin/env bash
# The core folders are floors: a file may include its own floor and those below it, never a
# higher one, and only ui/ folders include ui/ folders (the core builds without Qt).
set -euo pipefail
cd "$(dirname "$0")/.."

floors=(library settings analysis display storage reports link control app)
declare -A floor_of
for i in "${!floors[@]}"; do floor_of[${floors[$i]}]=$i; done

status=0
while IFS= read -r file; do
    own=${file#src/}
    own=${own%%/*}
    in_ui=0
    [[ $file == */ui/* ]] && in_ui=1
    while IFS= read -r line; do
        target=${line#*\"}
        target=${target%%\"*}
        top=${target%%/*}
        [[ $target == */* && -n ${floor_of[$top]+x} ]] || continue
        if [[ $in_ui == 0 && $target == */ui/* ]]; then
            echo "$file: includes the window code $target"
            status=1
        elif [[ $in_ui == 0 && -n ${floor_of[$own]+x} ]] && ((floor_of[$top] > floor_of[$own])); then
            echo "$file: $own includes $target from the higher floor $top"
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find src tools -name '*.h' -o -name '*.cpp' | sort)

if ((status)); then
    echo "Floors, lowest first: ${floors[*]}"
else
    echo "Layers: every core include stays on its floor or below."
fi
exit $status
