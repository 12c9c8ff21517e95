#!/bin/sh
# Installs the Debian/Ubuntu packages the build and the tests need, and only
# those that are missing; quick when everything is there. Not root and without
# sudo, it says what to run as root instead and exits 1. With --windows, also
# the MinGW-w64 and Wine set, and the sources of libspng, liblzma and libFLAC
# for the Windows build (tools/fetch-debian-sources.sh, into build-windows/).
# Usage: install-deps.sh [--windows] [--package] [PACKAGE...]
set -eu

packages="cmake make g++ clang libclang-rt-dev python3 libgtest-dev libbenchmark-dev libspng-dev zlib1g-dev liblzma-dev libflac-dev mame-tools qt6-base-dev qt6-qpa-plugins imagemagick fonts-dejavu-core xvfb x11-utils groff-base bsdextrautils zsh xdelta3 strace dpkg-dev locales libc-l10n"
windows=no
for arg in "$@"; do
    case $arg in
        --windows) windows=yes ;;  # the MinGW-w64 cross compiler, 32-bit Wine, xdotool for the window test
        --package) packages="$packages file lintian desktop-file-utils appstream" ;;  # CPack's .deb, its checkers
        *) packages="$packages $arg" ;;
    esac
done
[ "$windows" = yes ] && packages="$packages g++-mingw-w64-i686 libz-mingw-w64-dev googletest wine wine32:i386 xdotool"

missing=""
for p in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing="$missing $p"
done

if [ -n "$missing" ]; then
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "Please install:$missing" >&2
        exit 1
    fi
    add_i386=no
    if [ "$windows" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        add_i386=yes
    fi
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            command="apt-get update && apt-get install -y --no-install-recommends$missing"
            [ "$add_i386" = yes ] && command="dpkg --add-architecture i386 && $command"
            echo "These packages are missing:$missing" >&2
            echo "Installing them needs root, and sudo is not installed. Run this as root, then try again:" >&2
            echo "    $command" >&2
            exit 1
        fi
        sudo="sudo"
    fi
    [ "$add_i386" = yes ] && $sudo dpkg --add-architecture i386
    echo "Installing:$missing"
    $sudo apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi
# The Windows build compiles libspng, liblzma and libFLAC itself, from Debian's
# sources of the versions installed here.
tools=${0%/*}
[ "$windows" = no ] || "$tools/fetch-debian-sources.sh" "$tools/../build-windows" libspng-dev liblzma-dev libflac-dev
