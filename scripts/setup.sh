# Sourced by ./run and ./test: installs what is missing and builds.
packages=(cmake make g++ qt6-base-dev qt6-image-formats-plugins libgl-dev libjpeg62-turbo-dev libexif-dev libheif-dev libavif-dev libjxl-dev libwebp-dev libtiff-dev libraw-dev libexiv2-dev libglib2.0-dev qt6-svg-dev pkg-config fonts-noto-cjk xvfb xauth x11-utils x11-xserver-utils
          imagemagick xdotool openbox python3 python3-xlib python3-fusepy fuse3 sway wtype grim qt6-wayland libwayland-dev util-linux
          fp-utils desktop-file-utils appstream dpkg-dev lintian man-db)

install_missing() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build() {
    local top=$1
    cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$top/build" -j"$(nproc)"
}

# The same project built with AddressSanitizer and UndefinedBehaviorSanitizer.
build_sanitized() {
    local top=$1
    cmake -S "$top" -B "$top/build-sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
        >/dev/null
    cmake --build "$top/build-sanitize" -j"$(nproc)"
}

# Options for running the sanitized build: leaks reported except those of
# third-party libraries named in the suppression file.
sanitizer_environment() {
    local top=$1
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
    export LSAN_OPTIONS=suppressions=$top/tests/sanitizers/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
}
