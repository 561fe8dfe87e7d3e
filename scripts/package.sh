#!/usr/bin/env bash
# Builds the Debian package quillon_<version>_<arch>.deb into ./dist with
# Debian's own tooling (dpkg-buildpackage, debhelper), from a copy of the
# working tree, so that neither the tree nor its parent folder gets the build
# products. The package's own test step runs the whole suite against the
# programs as built for the package (skipped when DEB_BUILD_OPTIONS has
# nocheck); the test command builds the package this way.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

version=$(sed -n '1s/^quillon (\([^)]*\)).*/\1/p' debian/changelog)
project=$(sed -n 's/^project(Quillon VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$project" ]; then
  echo "debian/changelog says $version, CMakeLists.txt says $project: make them agree" >&2
  exit 1
fi

dist=$PWD/dist
stage=$dist/stage
rm -rf "$stage"
mkdir -p "$stage/quillon-$version"
# Tracked and new files alike, never the ignored build folders.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$stage/quillon-$version"

profiles=()
case " ${DEB_BUILD_OPTIONS:-} " in *" nocheck "*) profiles=(-Pnocheck) ;; esac
jobs=$(nproc)
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$jobs"
# A compiler cache, when there is one, makes a repeated package build quick.
if command -v ccache >/dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
(cd "$stage/quillon-$version" && dpkg-buildpackage -b -us -uc "${profiles[@]}")

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
rm -f "$dist"/quillon*_*.deb "$dist"/quillon_*.changes "$dist"/quillon_*.buildinfo
mv "$stage"/quillon*_"$version"_"$arch".deb "$stage"/quillon_"$version"_"$arch".changes \
  "$stage"/quillon_"$version"_"$arch".buildinfo "$dist"/
rm -rf "$stage"
echo "Built $dist/quillon_${version}_${arch}.deb"
