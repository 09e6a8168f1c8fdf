#!/bin/bash
# Installs the built program into a temporary prefix and checks the install
# as a desktop sees it:
#   - the menu entry and the AppStream metainfo pass desktop-file-validate and
#     appstreamcli validate --no-net; the icons have their sizes;
#   - the menu entry's Exec, started in an empty home folder under Xvfb, opens
#     the main window without any message box and fills
#     ~/.local/share/velmorant from share/velmorant/samples;
#   - a second start replaces nothing there;
#   - a current folder with ZQCList.TXT is used instead, and `velmorant DIR`
#     wins over both;
#   - started inside share/velmorant/samples, it still works in the user's folder;
#   - nothing under the prefix changes;
#   - installed with ~/.local as the prefix over a user's folder that holds a
#     marked problem, the install leaves the folder alone and the program
#     starts on it.
#
# Usage: bash install_test.sh <build-dir> <scratch-dir>
set -euo pipefail

TITLE="用語分類問題集 Velmorant"
BOX_TITLE="Velmorantからのメッセージ"
APP_ID=org.velmorant.Velmorant

TEST_NAME=install_test
. "$(dirname "$(realpath "$0")")/window_test_lib.sh"

# ---------------------------------------------------------------- in Xvfb --

# Starts the menu entry's command ($exec, words) in folder $1 with HOME=$2 and
# the further arguments, waits for the main window, checks that no message
# box came up, and ends the program.
start_once() {
    local folder=$1 home=$2
    shift 2
    local log=$scratch/start-$((++starts)).log
    (cd "$folder" && exec env -u XDG_DATA_HOME HOME="$home" PATH="${bin:-$prefix/bin}:$PATH" \
        "${exec[@]}" "$@" >"$log" 2>&1) &
    local pid=$! shown=""
    for _ in $(seq 150); do
        local id
        id=$(window_named "$TITLE")
        if [ -n "$id" ] && xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
            shown=$id
            break
        fi
        [ -n "$(window_named "$BOX_TITLE")" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    # Start-up reports its problems right after the window appears.
    [ -n "$shown" ] && sleep 0.5
    local box
    box=$(window_named "$BOX_TITLE")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -z "$box" ] || fail "start $starts (in $folder, $*) showed a message box; log: $(cat "$log")"
    [ -n "$shown" ] || fail "start $starts (in $folder, $*) showed no main window; log: $(cat "$log")"
}

# The files of folder $1 (not of its subfolders) and their checksums, one a line.
listing() {
    (cd "$1" && find . -maxdepth 1 -type f -print0 | sort -z | xargs -0 -r md5sum)
}

inside_xvfb() {
    starts=0
    local samples=$prefix/share/velmorant/samples
    local desktop=$prefix/share/applications/$APP_ID.desktop
    local line
    line=$(sed -n 's/^Exec=//p' "$desktop")
    # Field codes such as %f stand for files the menu passes: none here.
    read -r -a exec <<<"${line//%[fFuU]/}"

    # An empty home: the menu entry opens on the samples.
    local home=$scratch/home
    mkdir -p "$home"
    start_once "$home" "$home"
    local user=$home/.local/share/velmorant
    [ -d "$user" ] || fail "the first start made no $user"
    diff <(listing "$samples") <(listing "$user") >&2 || fail "$user does not hold the samples"
    echo "first start: main window, no message, $user filled from the samples"

    # A second start replaces nothing: the marks and a changed catalogue stay.
    printf 'my marks\r\n' >"$user/Marked.txt"
    printf 'Own,Own.TXT\r\n' >>"$user/ZQCList.TXT"
    cp "$user/Bio1.TXT" "$user/Own.TXT"
    local before
    before=$(listing "$user")
    start_once "$home" "$home"
    [ "$(listing "$user")" = "$before" ] || fail "the second start changed $user"
    echo "second start: nothing in $user changed"

    # A teacher's folder: the current folder with ZQCList.TXT wins.
    local teacher=$scratch/teacher other=$scratch/home2
    mkdir -p "$teacher" "$other"
    cp "$samples"/*.TXT "$samples"/*.WAV "$teacher/"
    before=$(listing "$teacher")
    start_once "$teacher" "$other"
    [ ! -e "$other/.local/share/velmorant" ] || fail "a teacher's folder was passed over for the user's"
    [ "$(listing "$teacher")" = "$before" ] || fail "the start changed the teacher's folder"
    echo "teacher's folder: used as it is"

    # `velmorant DIR` wins over both.
    start_once "$teacher" "$other" "$scratch/named"
    diff <(listing "$samples") <(listing "$scratch/named") >&2 || fail "DIR was not filled from the samples"
    [ ! -e "$other/.local/share/velmorant" ] || fail "DIR was passed over for the user's folder"
    [ "$(listing "$teacher")" = "$before" ] || fail "with DIR, the teacher's folder changed"
    echo "velmorant DIR: DIR made and filled, the current folder and the user's folder left alone"

    # Started inside the installed samples: still the user's folder.
    start_once "$samples" "$other"
    [ -f "$other/.local/share/velmorant/ZQCList.TXT" ] ||
        fail "started in the samples, the program did not use the user's folder"
    echo "started in share/velmorant/samples: the user's folder is used"

    # Installed into the learner's own ~/.local: the marked problem is still
    # there and the program starts on the folder.
    local learner=$scratch/learner
    before=$(listing "$learner/.local/share/velmorant")
    bin=$learner/.local/bin start_once "$learner" "$learner"
    [ "$(listing "$learner/.local/share/velmorant")" = "$before" ] ||
        fail "installed into ~/.local, the program changed the user's folder"
    echo "installed into ~/.local: the program starts on the user's folder, marks kept"
}

# Installs into $1/.local over a user's folder that holds a marked problem.
install_into_users_local() {
    local folder=$1/.local/share/velmorant
    mkdir -p "$folder"
    cp "$prefix/share/velmorant/samples"/* "$folder/"
    printf '%s\r\n' 細胞の働きは？ 呼吸,光合成, 動物,植物, 1,2, 見直す。 |
        iconv -f UTF-8 -t CP932 >>"$folder/Marked.txt"
    local before
    before=$(listing "$folder")
    cmake --install "$build" --prefix "$1/.local" >>"$scratch/install.log"
    [ "$(listing "$folder")" = "$before" ] ||
        fail "cmake --install --prefix ~/.local changed the user's folder: $(diff <(echo "$before") <(listing "$folder"))"
    echo "install into ~/.local: the user's folder and its marks left alone"
}

# --------------------------------------------------------------- outside --

if [ "${1:-}" = --inside-xvfb ]; then
    prefix=$2
    scratch=$3
    inside_xvfb
    exit 0
fi

if [ $# -ne 2 ]; then
    echo "usage: bash install_test.sh <build-dir> <scratch-dir>" >&2
    exit 2
fi
for tool in desktop-file-validate appstreamcli Xvfb xwininfo identify; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing (packages desktop-file-utils, appstream, xvfb, x11-utils, imagemagick)"
done

build=$(realpath "$1")
rm -rf "$2"
mkdir -p "$2"
scratch=$(realpath "$2")
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"

desktop=$prefix/share/applications/$APP_ID.desktop
metainfo=$prefix/share/metainfo/$APP_ID.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
for size in 16 22 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/$APP_ID.png
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x$size" ] || fail "$icon is not ${size}x$size"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/$APP_ID.svg" ] || fail "no scalable icon"
for f in ZQCList.TXT Marked.txt readme.txt Seikai.WAV Machigai.WAV MusMax.WAV MusMin.WAV; do
    [ -f "$prefix/share/velmorant/samples/$f" ] || fail "share/velmorant/samples/$f is not installed"
done
echo "install: menu entry, metainfo, icons and samples in place and valid"
install_into_users_local "$scratch/learner"

# Every file's size and time before and after: any write under the prefix shows.
before=$(cd "$prefix" && find . -printf '%p %s %T@\n' | sort)
run_in_xvfb bash "$(realpath "$0")" --inside-xvfb "$prefix" "$scratch"
after=$(cd "$prefix" && find . -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "files under the prefix changed: $(diff <(echo "$before") <(echo "$after"))"
echo "install_test: PASS (nothing under the prefix changed)"
