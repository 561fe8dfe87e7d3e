#!/usr/bin/env bash
# Installs what is missing, builds, prepares the working folder ./work (the
# table files, report layouts, help file, and an info.mdb with a few
# fictional soldiers unless one is already there) and starts ravelin in it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DQUILLON_UNITY=ON
# Only the programs and what the working folder needs: the tests and benches
# are built by scripts/test.sh.
cmake --build build -j "$(nproc)" --target quillon_programs

work="${QUILLON_WORK:-$PWD/work}"
mkdir -p "$work"
# The data files ship with the program and are refreshed; the records are the
# clerk's and are never overwritten.
for f in 2m.dat su.dat pu.dat As.dat basic.rpt date.rpt profile.rpt status.rpt ravelin.hlp; do
  [ -f "build/data/$f" ] && install -m 0644 "build/data/$f" "$work/$f"
done
if [ ! -e "$work/info.mdb" ]; then
  build/src/app/ravelin-sampledb "$work/info.mdb"
else
  echo "Keeping the existing $work/info.mdb"
fi

cd "$work"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under xvfb-run (nothing will be visible)."
  exec xvfb-run -a "$OLDPWD/build/src/app/ravelin"
fi
exec "$OLDPWD/build/src/app/ravelin"
