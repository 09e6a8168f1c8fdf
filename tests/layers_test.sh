#!/bin/bash
# The build's layer check (cmake/CheckLayers.cmake): the sources as they are
# pass; a core file that includes a header of a folder above its own, or
# climbs out of its folder, fails the check and is named.
#   layers_test.sh CHECK LAYERS SRC WORK
set -u
check=$1 layers=$2 src=$3 work=$4

run_check() { cmake -DSRC="$1" -DLAYERS="$layers" -P "$check" 2>&1; }

if ! out=$(run_check "$src"); then
    echo "the sources fail the check:"; echo "$out"; exit 1
fi

# FILE gets LINE at its end; the check must fail and name FILE.
caught() {
    rm -rf "$work" && mkdir -p "$work" && cp -r "$src" "$work/src" || exit 1
    echo "$2" >>"$work/src/$1"
    if out=$(run_check "$work/src"); then
        echo "not caught: $2 in src/$1"; exit 1
    fi
    if ! grep -qF "src/$1" <<<"$out"; then
        echo "src/$1 not named:"; echo "$out"; exit 1
    fi
}

caught series/Problem.h '#include "session/MainScreen.h"'
caught layout/BoardLayout.cpp '#include "quiz/Quiz.h"'
caught report/ClassReport.cpp '#include <measure/QtFonts.h>'
caught files/TextFile.cpp '#include "../window/MainWindow.h"'
rm -rf "$work"
echo "layers: ok"
