# Sourced by the other scripts: Debian packages the project needs, installed
# on demand (apt-get update first, only when something is missing).

BUILD_PACKAGES="g++ cmake ninja-build pkg-config qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins libqt5sql5-mysql libsoxr-dev librubberband-dev libsystemd-dev qttools5-dev-tools qttranslations5-l10n"
TEST_PACKAGES="libspandsp-dev pulseaudio pulseaudio-utils python3-pyftpdlib vsftpd tftpd-hpa tftp-hpa curl iproute2 xvfb x11-utils trayer fonts-dejavu-core mariadb-server mariadb-client"
# scripts/screenshot: an X display with a system tray, and pictures of it.
SCREENSHOT_PACKAGES="xvfb x11-utils trayer imagemagick fonts-dejavu-core python3-pyftpdlib"
# Only scripts/fuzz installs these: clang with libFuzzer and the sanitizer runtimes.
FUZZ_PACKAGES="clang libfuzzer-14-dev libclang-rt-14-dev"

ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
}
