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

BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev
                qt6-qpa-plugins libgl-dev libfontconfig-dev fonts-ipafont-gothic)
TEST_PACKAGES=(libgtest-dev libgmock-dev xvfb xauth xdotool x11-utils imagemagick
               pulseaudio pulseaudio-utils libbenchmark-dev libxdamage-dev)
# ./bench starts the program under a session bus, as a desktop has one.
BENCH_PACKAGES=(dbus-bin)
# libFuzzer and the sanitizers' runtimes come with clang's runtime package.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Starts a sound server with a silent output, so that the sound tests can
# play the sample sounds on machines without a sound card. Leaves a running
# server alone.
start_sound_server() {
    command -v pulseaudio >/dev/null || return 0
    pulseaudio --check 2>/dev/null && return 0
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
        --load="module-null-sink sink_name=silent" \
        --load="module-native-protocol-unix" >/dev/null 2>&1 || true
}
