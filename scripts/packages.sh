# Installs the Debian 12 packages named in "$@" that are not installed yet.
# Sourced by ./run, ./test and ./fuzz.
install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "These packages are missing and there is no sudo to install them: ${missing[*]}" >&2
            return 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Qt Charts' CMake files need Qt OpenGL's, which its package does not bring.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev qt6-charts-dev
                libqt6opengl6-dev qt6-qpa-plugins libgl-dev libfontconfig-dev fonts-ipafont-gothic
                libqt6sql6-sqlite libqt6sql6-psql libsimdjson-dev libssl-dev)
TEST_PACKAGES=(libgtest-dev libgmock-dev fonts-vlgothic xvfb xauth xdotool x11-utils imagemagick jq faketime
               pulseaudio pulseaudio-utils desktop-file-utils appstream libbenchmark-dev
               libxdamage-dev curl openssl chromium nodejs postgresql clang-format systemd)
# The statement tests: a local endpoint in Python. A Node that brings its own
# npm (as NodeSource's does) needs no Debian npm, which would conflict with it.
TEST_PACKAGES+=(python3)
# The page's tests: a store held by another program (sqlite3), and two
# servers behind a proxy (nginx, run by the test itself).
TEST_PACKAGES+=(sqlite3 nginx)
command -v npm >/dev/null || TEST_PACKAGES+=(npm)
# ./bench starts the program under a session bus, as a desktop has one.
BENCH_PACKAGES=(dbus-bin)
# What building the tests and benchmarks needs of TEST_PACKAGES: ./test
# installs these first and the rest while it builds.
TEST_BUILD_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev libxdamage-dev)
# libFuzzer and the sanitizers' runtimes come with clang's runtime package;
# the shared test fakes need GoogleTest.
FUZZ_PACKAGES=(clang libclang-rt-14-dev libgtest-dev)
# ./run without a display: a virtual X display with a VNC server and its
# password tool, noVNC, and ss to see that the page's server listens.
BROWSER_PACKAGES=(tigervnc-standalone-server tigervnc-tools novnc websockify iproute2)
# scripts/make-deb.sh: dpkg-shlibdeps (dpkg-dev) and file for CPack, lintian.
DEB_PACKAGES=(dpkg-dev file lintian)

# lintian on the package "$1", down to its I: and P: tags: a tag that
# packaging/lintian-overrides gives no reason for fails it, and so does an
# override that no longer fires (unused-override), so that no override
# outlives the build it was written for.
lint_package() {
    lintian -I --pedantic --fail-on error,warning,info,pedantic "$1"
}

# Configures the build folder of a preset of CMakePresets.json. A folder
# that was configured from another source folder (build-fuzz/ from fuzzing/,
# as older scripts did) is configured afresh.
configure_preset() {
    local dir=build
    case $1 in
    package) dir=build-deb ;;
    bench) dir=build-bench ;;
    fuzzing) dir=build-fuzz ;;
    esac
    if [ -f "$dir/CMakeCache.txt" ] &&
        grep -q '^CMAKE_HOME_DIRECTORY:INTERNAL=.*/fuzzing$' "$dir/CMakeCache.txt"; then
        rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    fi
    cmake --preset "$1" >/dev/null
}

# Starts a sound server with a silent output, so that the sound tests can
# play the sample sounds on machines without a sound card. Leaves a running
# server alone. Says so and returns 1 when no server runs afterwards: the
# sound test then fails rather than pass without having played anything.
start_sound_server() {
    if ! command -v pulseaudio >/dev/null; then
        echo "start_sound_server: pulseaudio is not installed; the sound test will fail." >&2
        return 1
    fi
    pulseaudio --check 2>/dev/null && return 0
    local log
    log=$(pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
        --load="module-null-sink sink_name=silent" \
        --load="module-native-protocol-unix" 2>&1)
    if ! pulseaudio --check 2>/dev/null; then
        echo "start_sound_server: the sound server did not start; the sound test will fail." >&2
        [ -n "$log" ] && echo "$log" >&2
        return 1
    fi
}
