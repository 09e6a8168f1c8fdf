#!/bin/bash
# The build's layer check (cmake/CheckLayers.cmake): the sources as they are
# pass; a file of a core folder or of a server room that includes a header
# of a folder or room above its own (or beside it, unused), or climbs out of
# its folder, fails the check and is named.
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
# The server's rooms: the HTTP layer and the store below the classroom, no
# room reaching the composition root or a room it does not use, and the
# core below them all.
caught server/http/HttpRequestHead.cpp '#include "server/learner/Requests.h"'
caught server/store/SignInCodes.cpp '#include "server/learner/VerbProtocol.h"'
caught server/log/ServerLog.h '#include "server/http/HttpServer.h"'
caught server/learner/LearnerRoutes.cpp '#include "server/teacher/TeacherRoutes.h"'
caught server/teacher/TeacherRoutes.cpp '#include "server/ClassroomServer.h"'
caught server/admin/CodeCards.cpp '#include "server/learner/Requests.h"'
caught server/store/Store.cpp '#include "../http/HttpServer.h"'
caught session/ScreenJson.cpp '#include "server/learner/LearnerScreen.h"'
rm -rf "$work"
echo "layers: ok"
