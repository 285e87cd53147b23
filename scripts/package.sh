#!/usr/bin/env bash
# Builds the Debian packages (Release) from the working tree into
# build/package/ and prints their paths, one a line: dmmlog's, then
# dmmpanel's. Installs what building them needs where it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/package

# The packaging tools; dpkg-buildpackage also requires build-essential.
bash scripts/install-deps.sh build-essential debhelper dpkg-dev >&2

# The package is built from a copy of the tree, so that debhelper's files
# and the build stay under build/ and the package holds exactly the working
# tree (uncommitted changes included).
rm -rf "$out"
mkdir -p "$out/src"
tar -C "$root" --exclude=./build --exclude='./build-*' --exclude=./.git -cf - . | tar -C "$out/src" -xf -

cmake_args=""
if command -v ccache >/dev/null 2>&1; then
    cmake_args="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
(cd "$out/src" && DMMPANEL_CMAKE_ARGS="$cmake_args" \
    dpkg-buildpackage --build=binary --no-sign -j"$(nproc)") >"$out/build.log" 2>&1 || {
    tail -n 60 "$out/build.log" >&2
    echo "package: dpkg-buildpackage failed, see $out/build.log" >&2
    exit 1
}
rm -rf "$out/src"

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
for package in dmmlog dmmpanel; do
    deb=$out/${package}_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
    [ -f "$deb" ] || { echo "package: $deb was not built" >&2; exit 1; }
    echo "$deb"
done
