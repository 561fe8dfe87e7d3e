#!/usr/bin/env bash
# Installs what is missing; builds the Debian package the way the README
# tells a user to, its own run of the whole suite included, and checks the
# package; then builds and runs the same suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# The package's build is the suite's plain run: the programs as they ship
# (Debian's hardening flags, sources in batches), and the suite run by the
# package's own test step against them. The server tests run there against
# a throwaway PostgreSQL cluster that pg_virtualenv starts and removes
# again; there they must not skip.
QUILLON_REQUIRE_PG=1 pg_virtualenv bash scripts/package.sh

# The package just built, checked in temporary roots (never installed into
# this machine).
bash tests/package/check_package.sh --built

# Every file on its own here: a missing include shows up as it would after
# a change, which the package's batched build would hide. Line tables are
# all the debug information a sanitizer's report needs (each frame's
# function, file and line); the full -g of a Debug build makes every object
# and link much larger for variables nobody reads here.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DQUILLON_SANITIZE=ON \
  -DQUILLON_UNITY=OFF
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && QUILLON_REQUIRE_PG=1 pg_virtualenv ctest --output-on-failure -j "$jobs")
echo "All tests passed, in the package's build and under sanitizers."
