#!/usr/bin/env bash
# Applies each slip of a list alone to a scratch copy of the tree, builds the test programs
# that cover the slipped file and runs them: a slip the tests do not notice "survived".
# Those programs are first built and run once on the unslipped tree (the setup), so that a
# test failing already never counts as a kill.
# Not part of CI (minutes per slip on two cores); run it before a release and after
# touching code the list names.
#
#   bash scripts/mutants.sh [--list FILE] [--only TEXT] [--keep]
#
# The list (tests/mutants.txt): one slip a line, four fields separated by " @@ ":
#   file @@ exact text (found exactly once in the file) @@ replacement @@ why it matters
# A "\n" in the text or the replacement stands for a line break (so "\\n" in C strings cannot
# be written there). Lines starting with '#' and empty lines are skipped. A replacement of "<delete>" removes
# the text. --only runs the slips whose line contains TEXT; --keep leaves the scratch copy.
# The scratch build folder stays between runs (the sources keep their times, so a later run
# rebuilds only what changed); --clean starts it afresh.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

list=tests/mutants.txt
only=""
keep=0
clean=0
while (($#)); do
    case $1 in
    --list) list=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --clean) clean=1; shift ;;
    *) echo "usage: scripts/mutants.sh [--list FILE] [--only TEXT] [--keep] [--clean]" >&2; exit 2 ;;
    esac
done
[ -f "$list" ] || { echo "no list $list" >&2; exit 2; }

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
scratch=${VETRA_MUTANTS_DIR:-/tmp/vetra-mutants}
((clean)) && rm -rf "$scratch"
rm -rf "$scratch/src"
mkdir -p "$scratch/src"
# The tree as it is now, committed or not, without build folders.
git ls-files -z --cached --others --exclude-standard | tar -C "$top" --null -T - -cf - |
    tar -C "$scratch/src" -xf -
# A file whose content differs from the last run's copy may still be older than its objects
# (a checkout keeps no times): touch it, so the kept build sees the change.
(cd "$scratch/src" && find . -type f -print0 | sort -z | xargs -0 sha1sum) >"$scratch/manifest.new"
if [ -f "$scratch/manifest" ]; then
    # comm needs its lines sorted as whole lines, hash first, in one collation.
    LC_ALL=C comm -13 <(LC_ALL=C sort "$scratch/manifest") <(LC_ALL=C sort "$scratch/manifest.new") |
        cut -c43- |
        while IFS= read -r changed; do touch "$scratch/src/$changed"; done
fi
mv "$scratch/manifest.new" "$scratch/manifest"
# Objects may still be built from a slipped file: the last slip of a run is restored but not
# rebuilt, a stopped run never restores, and the copy above gives the file its old time back.
# Every file slipped since the last setup is rebuilt.
if [ -f "$scratch/slipped" ]; then
    sort -u "$scratch/slipped" | while IFS= read -r f; do
        [ -f "$scratch/src/$f" ] && touch "$scratch/src/$f"
    done
fi
cleanup() { ((keep)) || rm -rf "$scratch/src" "$scratch/original"; }
trap cleanup EXIT
export CCACHE_BASEDIR="$scratch/src" CCACHE_NOHASHDIR=1
build=$scratch/build
setup_started=$(date +%s)
echo "Configuring the core and its tests in $build"
cmake -S "$scratch/src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVETRA_CORE_ONLY=ON \
    >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; exit 1; }

# Test program name -> its sources, from vetra_add_test_program(...) calls.
declare -A program_sources program_dir
while IFS=$'\t' read -r dir name sources; do
    program_sources[$name]=$sources
    program_dir[$name]=$dir
done < <(for f in tests/*/CMakeLists.txt; do
    awk -v dir="$(dirname "$f")" '
        /vetra_add_test_program\(/ { collecting = 1; text = "" }
        collecting { text = text " " $0 }
        collecting && /\)/ {
            sub(/.*vetra_add_test_program\(/, "", text); sub(/\).*/, "", text)
            n = split(text, w, /[ \t]+/); name = ""; srcs = ""
            for (i = 1; i <= n; i++) if (w[i] != "") { if (name == "") name = w[i]; else srcs = srcs " " w[i] }
            printf "%s\t%s\t%s\n", dir, name, srcs; collecting = 0
        }' "$f"
done)

# Headers that include `header`, directly or through other headers of src/.
includers() {
    local -A seen=()
    local queue=("$1") h next
    while ((${#queue[@]})); do
        h=${queue[0]}
        queue=("${queue[@]:1}")
        [[ -n ${seen[$h]+x} ]] && continue
        seen[$h]=1
        echo "$h"
        while IFS= read -r next; do
            queue+=("${next#src/}")
        done < <(grep -rlF "#include \"$h\"" src --include='*.h' || true)
    done
}

# The test programs that cover a file: those of its own folder, and every program one of
# whose sources includes the file's header or a header that includes it.
covering_programs() {
    local file=$1 rel folder header name src
    rel=${file#src/}
    folder=${rel%%/*}
    header=${rel%.*}
    # A platform half (name_posix.cpp) is covered through its pair's header (name.h).
    header=${header%_posix}
    header=${header%_win32}.h
    local -A want=()
    local headers
    headers=$(includers "$header")
    for name in "${!program_sources[@]}"; do
        [[ ${program_dir[$name]} == tests/$folder ]] && want[$name]=1
        for src in ${program_sources[$name]}; do
            [[ $src == *'*'* || $src == '${'* ]] && continue
            local path=${program_dir[$name]}/$src
            [ -f "$path" ] || continue
            while IFS= read -r h; do
                if grep -qF "#include \"$h\"" "$path"; then
                    want[$name]=1
                    break
                fi
            done <<<"$headers"
        done
    done
    # Its own folder's programs first: they are the likeliest to notice.
    printf '%s\n' "${!want[@]}" | sort | awk -v own="$folder" '
        { if (index($0, own "_") == 1) print; else rest[++n] = $0 }
        END { for (i = 1; i <= n; i++) print rest[i] }'
}

# Every selected slip, checked before anything is built: its file exists and holds the text once.
entries=() files=()
lineno=0
while IFS= read -r line || [ -n "$line" ]; do
    lineno=$((lineno + 1))
    [[ -z ${line//[[:space:]]/} || $line == \#* ]] && continue
    [[ -n $only && $line != *"$only"* ]] && continue
    file=${line%% @@ *}; rest=${line#* @@ }
    text=${rest%% @@ *}
    text=${text//\\n/$'\n'}
    if [ ! -f "$scratch/src/$file" ]; then
        echo "line $lineno: no file $file" >&2
        exit 2
    fi
    count=$(TEXT=$text perl -0ne 'my $n = () = /\Q$ENV{TEXT}\E/g; print $n' "$scratch/src/$file")
    if [ "$count" != 1 ]; then
        echo "line $lineno: the text occurs $count times in $file (it must occur once): $text" >&2
        exit 2
    fi
    entries+=("$lineno"$'\t'"$line")
    files+=("$file")
done <"$list"

# The programs covering each slipped file; all of them are built and run once unslipped: a
# test that already fails would count every slip it covers as killed.
# Only programs of this core build count (the end-to-end ones need the windows library).
declare -A buildable=()
while IFS= read -r t; do buildable[$t]=1; done < <(cmake --build "$build" --target help |
    sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
declare -A covering=()
declare -A baseline=()
for file in $(printf '%s\n' "${files[@]}" | sort -u); do
    covering[$file]=$(covering_programs "$file" | while IFS= read -r p; do
        [[ -n ${buildable[$p]+x} ]] && echo "$p"
    done | tr '\n' ' ')
    for p in ${covering[$file]}; do baseline[$p]=1; done
done
echo "Building and running ${#baseline[@]} test programs on the unslipped tree"
if ((${#baseline[@]})); then
    cmake --build "$build" -j2 --target "${!baseline[@]}" >"$scratch/build.log" 2>&1 ||
        { tail -n 40 "$scratch/build.log"; echo "the unslipped tree does not build" >&2; exit 1; }
fi
for p in "${!baseline[@]}"; do
    exe=$(find "$build/tests" -type f -name "$p" -perm -u+x | head -n 1)
    if ! out=$(cd "$build" && timeout 300 "$exe" --gtest_brief=1 2>&1); then
        echo "$out" | tail -n 20
        echo "$p fails on the unslipped tree: fix it before measuring slips" >&2
        exit 1
    fi
done
rm -f "$scratch/slipped"  # the setup rebuilt them
setup=$(($(date +%s) - setup_started))
echo "setup: ${setup} s"

total=0 killed=0 survived=0 stillborn=0
started=$(date +%s)
for entry in "${entries[@]}"; do
    lineno=${entry%%$'\t'*}; line=${entry#*$'\t'}
    file=${line%% @@ *}; rest=${line#* @@ }
    text=${rest%% @@ *}; rest=${rest#* @@ }
    replacement=${rest%% @@ *}; why=${rest#* @@ }
    [[ $replacement == "<delete>" ]] && replacement=""
    text=${text//\\n/$'\n'}
    replacement=${replacement//\\n/$'\n'}
    target=$scratch/src/$file
    total=$((total + 1))
    cp "$target" "$scratch/original"
    echo "$file" >>"$scratch/slipped"
    TEXT=$text REPLACEMENT=$replacement perl -0pi -e \
        's/\Q$ENV{TEXT}\E/$ENV{REPLACEMENT}/' "$target"
    read -r -a programs <<<"${covering[$file]}"
    verdict=""
    # One program at a time: a slip its first program notices costs no other build.
    for p in "${programs[@]}"; do
        if ! cmake --build "$build" -j2 --target "$p" >"$scratch/build.log" 2>&1; then
            verdict="does not build"
            stillborn=$((stillborn + 1))
            break
        fi
        exe=$(find "$build/tests" -type f -name "$p" -perm -u+x | head -n 1)
        if ! out=$(cd "$build" && timeout 300 "$exe" --gtest_brief=1 2>&1); then
            failed=$(grep -m1 -oE '\[  FAILED  \] [A-Za-z0-9_./]+' <<<"$out" | sed 's/\[  FAILED  \] //')
            verdict="killed by $p${failed:+ ($failed)}"
            killed=$((killed + 1))
            break
        fi
    done
    if [ -z "$verdict" ]; then
        verdict="SURVIVED (${programs[*]})"
        survived=$((survived + 1))
    fi
    printf '%3d %-44s %s\n      why: %s\n' "$lineno" "$file" "$verdict" "$why"
    cp "$scratch/original" "$target"
done

counted=$((killed + survived))
elapsed=$(($(date +%s) - started))
echo
echo "slips: $total, killed: $killed, survived: $survived, not building: $stillborn"
if ((counted)); then
    echo "kill rate: $((100 * killed / counted)) % in ${elapsed} s (after ${setup} s of setup)"
fi
