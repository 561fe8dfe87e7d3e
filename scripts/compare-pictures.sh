#!/bin/sh
# Takes the scorer's windows of two builds on the same records under Xvfb and
# compares them pixel by pixel (ImageMagick `compare -metric AE`): the main
# window, its Edit, Records, Test Day, File and Help menus, the Create Report
# menu, a report by name and the About box. Each build is taken twice first;
# a build whose two takes differ cannot be compared, and the script says so.
# Fonts differ between machines: compare two builds on one machine, never a
# take with a picture made elsewhere. The *-window pictures hold the window
# alone, as the pictures under docs/ do; the sample records' dates follow
# the day they are made, and the status bar names the folder.
#
#   scripts/compare-pictures.sh OLD_BUILD_DIR NEW_BUILD_DIR [OUT_DIR]
#
# Both build dirs need src/app/ravelin; the new one also ravelin-sampledb and
# the generated tables (data/). Prints one line per picture and exits 1 when
# any differs.
set -eu
old=$(realpath "$1")
new=$(realpath "$2")
out=$(realpath -m "${3:-pictures-compared}")
mkdir -p "$out"
folder=$(mktemp -d /tmp/quillon-pictures.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$new"/data/*.dat "$new"/data/*.rpt "$new"/data/ravelin.hlp "$folder"/
"$new"/src/app/ravelin-sampledb "$folder/info.mdb" >/dev/null

shots="main main-window edit-menu records-menu testday-menu file-menu report-menu report-name about about-window"

# take BUILD DIR: every picture of `shots` into DIR.
take() {
  mkdir -p "$2"
  QUILLON_BUILD="$1" QUILLON_SHOTS="$2" QUILLON_FOLDER="$folder" \
    xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
      set -eu
      cd "$QUILLON_FOLDER"
      unset QT_QPA_PLATFORM
      "$QUILLON_BUILD"/src/app/ravelin >/dev/null 2>&1 &
      pid=$!
      w=$(xdotool search --sync --onlyvisible --name "^Quillon\$" | head -n1)
      # The window is painted, its rows read and its first row shown.
      sleep 3
      shot() { sleep 1; import -window root "$QUILLON_SHOTS/$1.png"; }
      # No window manager: the window is given the keyboard by hand, and
      # keys go through the server as typed ones.
      key() { xdotool windowfocus --sync "$w" 2>/dev/null || true; xdotool key "$@"; }
      shot main
      import -window "$w" "$QUILLON_SHOTS/main-window.png"
      key alt+e; shot edit-menu; xdotool key Escape; sleep 0.3
      key alt+r; shot records-menu; xdotool key Escape; sleep 0.3
      # Reached from its neighbour: its own key may differ between builds.
      key alt+r Right; shot testday-menu; xdotool key Escape; sleep 0.3
      key alt+f; shot file-menu
      xdotool key c; shot report-menu
      xdotool key n; sleep 2; shot report-name; xdotool key Escape; sleep 0.5
      key alt+h; sleep 0.3; xdotool key a; sleep 1; shot about
      import -window "$(xdotool search --onlyvisible --name "^About\$" | head -n1)" "$QUILLON_SHOTS/about-window.png"
      xdotool key Escape
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true'
}

take "$old" "$out/old-1"
take "$old" "$out/old-2"
take "$new" "$out/new-1"
take "$new" "$out/new-2"

status=0
for s in $shots; do
  ae() { compare -metric AE "$1" "$2" "$3" 2>&1 >/dev/null || true; }
  oldSelf=$(ae "$out/old-1/$s.png" "$out/old-2/$s.png" /dev/null)
  newSelf=$(ae "$out/new-1/$s.png" "$out/new-2/$s.png" /dev/null)
  diff=$(ae "$out/old-1/$s.png" "$out/new-1/$s.png" "$out/diff-$s.png")
  if [ "$oldSelf" != 0 ] || [ "$newSelf" != 0 ]; then
    echo "$s: unstable (old takes differ by $oldSelf pixels, new by $newSelf); old against new $diff"
    status=1
  elif [ "$diff" != 0 ]; then
    echo "$s: $diff pixels differ (see $out/diff-$s.png)"
    status=1
  else
    echo "$s: same"
  fi
done
exit $status
