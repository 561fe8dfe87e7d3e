#!/usr/bin/env bash
# Installs what is missing, builds, runs every test and checks the Debian
# package; then builds and runs the same suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# Every file on its own here, also after scripts/run.sh made this folder a
# unity build: a missing include shows up as it would after a change.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DQUILLON_UNITY=OFF
cmake --build build -j "$jobs"
# The server tests run against a throwaway PostgreSQL cluster that
# pg_virtualenv starts and removes again; there they must not skip.
(cd build && QUILLON_REQUIRE_PG=1 pg_virtualenv ctest --output-on-failure -j "$jobs")

# The Debian package: built, then checked in temporary roots (never installed
# into this machine).
bash tests/package/check_package.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && QUILLON_REQUIRE_PG=1 pg_virtualenv ctest --output-on-failure -j "$jobs")
echo "All tests passed, plain and under sanitizers."
