#!/usr/bin/env bash
# Checks KuRoEView installed like a desktop program: the menu entry and the
# AppStream metainfo validate, an install into a scratch DESTDIR puts every
# file in place, the installed program answers its command line, and the
# Debian package holds the same files with computed dependencies.
# check.sh SOURCE-FOLDER BUILD-FOLDER. Exit 77 (skipped) without the tools.
set -u
source_folder=$1 build=$2
for tool in desktop-file-validate appstreamcli cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
failures=0
check() {
    if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
id=org.kuroeview.KuRoEView

check "the menu entry validates" "desktop-file-validate '$build/$id.desktop'"
check "the menu entry and the metainfo name the types of the table" \
    "grep -q '^MimeType=inode/directory;.*image/jpeg;.*image/x-adobe-dng;' '$build/$id.desktop' && grep -q '<mediatype>image/x-nikon-nef</mediatype>' '$build/$id.metainfo.xml'"
check "the AppStream metainfo validates" "appstreamcli validate --no-net '$build/$id.metainfo.xml' >'$scratch/appstream.log'"

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log"
root="$scratch/root/usr"
for path in bin/kuroeview share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
            share/icons/hicolor/scalable/apps/kuroeview.svg share/kuroeview/KuRoEZuziz.chm \
            share/kuroeview/screenshots/main.png \
            share/kuroeview/screenshots/viewer.png share/kuroeview/screenshots/settings.png \
            share/man/man1/kuroeview.1.gz share/doc/kuroeview/changelog.gz share/doc/kuroeview/copyright; do
    check "installed: $path" "[ -s '$root/$path' ]"
done
png_size() {
    python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"
}
for size in 16 32 48 64 128 256; do
    check "installed: the ${size}px icon" "[ \"\$(png_size '$root/share/icons/hicolor/${size}x${size}/apps/kuroeview.png')\" = ${size}x${size} ]"
done
check "the help file is a compiled help file" "[ \"\$(head -c 4 '$root/share/kuroeview/KuRoEZuziz.chm')\" = ITSF ]"
check "nothing else is installed" "[ \$(find '$scratch/root' -type f | wc -l) -eq 17 ]"
check "the manual page reads with man and lexgrog" \
    "man -l '$root/share/man/man1/kuroeview.1.gz' 2>/dev/null | grep -q 'EXIT STATUS' && lexgrog '$root/share/man/man1/kuroeview.1.gz' | grep -q 'kuroeview - '"
check "the copyright file is machine-readable and names the licence" \
    "grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' '$root/share/doc/kuroeview/copyright' && grep -q '^License: GPL-3.0+' '$root/share/doc/kuroeview/copyright'"
check "the metainfo names the licence" "grep -q '<project_license>GPL-3.0-or-later</project_license>' '$build/$id.metainfo.xml'"

program="$root/bin/kuroeview"
check "--version prints the version" "'$program' --version | grep -qx 'kuroeview [0-9]*\.[0-9]*\.[0-9]*'"
check "--help prints a usage" "'$program' --help | grep -q '^Usage: kuroeview'"
check "a missing folder gives exit code 2 and a message" \
    "'$program' '$scratch/missing' 2>'$scratch/err'; [ \$? -eq 2 ] && grep -q 'no such folder or file' '$scratch/err'"
mkdir -p "$scratch/locked"
chmod 000 "$scratch/locked"
if [ "$(id -u)" -ne 0 ]; then
    check "an unreadable folder gives exit code 2" "'$program' '$scratch/locked' 2>/dev/null; [ \$? -eq 2 ]"
fi
check "an unknown option gives exit code 2" "'$program' --frobnicate 2>/dev/null; [ \$? -eq 2 ]"

(cd "$build" && cpack -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1)
deb=$(ls "$scratch"/package/kuroeview_*.deb 2>/dev/null | head -1)
check "cpack makes the Debian package" "[ -n '$deb' ]"
if [ -n "$deb" ]; then
    dpkg-deb --info "$deb" >"$scratch/info"
    check "the package depends on the Qt libraries it links" "grep -q '^ Depends:.*libqt6widgets6' '$scratch/info'"
    check "the package depends on the Japanese fonts" "grep -q '^ Depends:.*fonts-noto-cjk' '$scratch/info'"
    for library in libheif1 libavif15 libjxl0.7 libraw20 libqt6svg6 qt6-image-formats-plugins; do
        check "the package depends on $library" "grep -q '^ Depends:.*$library' '$scratch/info'"
    done
    check "the package recommends a help viewer" "grep -q '^ Recommends: xchm' '$scratch/info'"
    dpkg-deb --contents "$deb" >"$scratch/contents"
    for path in usr/bin/kuroeview usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
                usr/share/icons/hicolor/256x256/apps/kuroeview.png usr/share/kuroeview/KuRoEZuziz.chm \
                usr/share/man/man1/kuroeview.1.gz usr/share/doc/kuroeview/changelog.gz usr/share/doc/kuroeview/copyright; do
        check "packaged: $path" "grep -q ' \./$path\$' '$scratch/contents'"
    done
    if command -v lintian >/dev/null; then
        lintian "$deb" >"$scratch/lintian.log" 2>&1
        cat "$scratch/lintian.log"
        check "lintian finds no error in the package" "! grep -q '^E: ' '$scratch/lintian.log'"
    else
        echo "lintian is not installed: the package is not checked with it"
    fi
fi
if [ "$failures" -ne 0 ]; then
    cat "$scratch/appstream.log" "$scratch/cpack.log" 2>/dev/null | tail -20
    exit 1
fi
echo "install checks passed"
