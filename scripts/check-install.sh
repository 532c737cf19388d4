#!/usr/bin/env bash
# Checks the Debian package as a user gets it. As root the package is
# installed with dpkg (and removed again afterwards unless it was installed
# before); otherwise, or with TAMBERLINK_CHECK_EXTRACT=1, it is unpacked with
# dpkg-deb into a temporary root. Then: the files are where they belong, the
# command line started from another folder finds the shipped catalogue, the
# window starts on the offscreen platform, and an installed window keeps its
# ini files in the user's configuration folder.
#
#   scripts/check-install.sh [PACKAGE.deb]   (default: scripts/package.sh builds one)
set -euo pipefail
cd "$(dirname "$0")/.."

deb="${1:-}"
if [ -z "$deb" ]; then
  deb="$(scripts/package.sh | tail -1)"
fi
deb="$(realpath "$deb")"

work="$(mktemp -d)"
installed_here=0
cleanup() {
  if [ "$installed_here" = 1 ]; then
    dpkg -r tamberlink >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

root=""
if [ "$(id -u)" -eq 0 ] && [ "${TAMBERLINK_CHECK_EXTRACT:-0}" != 1 ]; then
  if ! dpkg-query -W -f='${Status}' tamberlink 2>/dev/null | grep -q "install ok installed"; then
    installed_here=1
  fi
  dpkg -i "$deb" >/dev/null || fail "dpkg -i $deb"
  mode=dpkg
else
  root="$work/root"
  dpkg-deb -x "$deb" "$root"
  mode=extract
fi
prog="$root/usr/lib/tamberlink"
bin="$root/usr/bin"
echo "== $mode: $(basename "$deb")"

for f in "$prog/tamberlink" "$prog/tamberlink-cli" "$prog/tamberlink-board-sim" "$prog/Sordane"; do
  [ -x "$f" ] || fail "missing program $f"
done
[ -s "$prog/ChipList.chip" ] || fail "missing $prog/ChipList.chip"
[ -f "$root/usr/share/applications/tamberlink.desktop" ] || fail "missing desktop entry"
metainfo="$root/usr/share/metainfo/org.tamberlink.tamberlink.metainfo.xml"
[ -f "$metainfo" ] || fail "missing AppStream file"
if command -v appstreamcli >/dev/null 2>&1; then
  appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli validate $metainfo"
fi
[ -s "$prog/translations/tamberlink_en.qm" ] || fail "missing $prog/translations/tamberlink_en.qm"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/tamberlink.svg" ] || fail "missing icon"
[ -f "$root/usr/lib/udev/rules.d/60-tamberlink.rules" ] || fail "missing udev rules"
[ -f "$root/usr/share/doc/tamberlink/wiring.md" ] || fail "missing docs/wiring.md"
for link in tamberlink tamberlink-cli tamberlink-board-sim sordane; do
  [ -L "$bin/$link" ] && [ -x "$bin/$link" ] || fail "missing link $bin/$link"
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks the Qt libraries"
doc="$root/usr/share/doc/tamberlink"
[ -f "$doc/copyright" ] || fail "missing $doc/copyright"
[ -f "$doc/changelog.Debian.gz" ] || fail "missing $doc/changelog.Debian.gz"
for page in tamberlink tamberlink-cli tamberlink-board-sim sordane; do
  man -l "$root/usr/share/man/man1/$page.1.gz" >/dev/null 2>&1 || fail "manual page $page(1) does not render"
done
# The command line's page names every option its --help names.
cli_page=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/tamberlink-cli.1.gz" 2>/dev/null | sed 's/‐/-/g')
for option in $("$root/usr/lib/tamberlink/tamberlink-cli" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u); do
  printf '%s\n' "$cli_page" | grep -q -F -- "$option" || fail "tamberlink-cli(1) lacks $option"
done

# The catalogue is found through the link, from an unrelated folder (and
# not the checking user's own copy, which would win).
first="$(cd / && XDG_CONFIG_HOME="$work/config" "$bin/tamberlink-cli" devices | head -1)"
case "$first" in
  *AT89S52*) echo "catalogue: $first" ;;
  *) fail "tamberlink-cli devices printed '$first', expected AT89S52 first" ;;
esac

# English on request, the whole run; Chinese otherwise, whatever the locale.
english="$(cd / && "$bin/tamberlink-cli" --lang en --simulate detect 2>&1)" \
  || fail "tamberlink-cli --lang en --simulate detect"
# UTF-8 lead bytes E3..E9 start the CJK characters and punctuation.
if printf '%s' "$english" | LC_ALL=C grep -q $'[\xe3-\xe9]'; then
  fail "English run shows Chinese: $english"
fi
chinese="$(cd / && LANG=en_US.UTF-8 "$bin/tamberlink-cli" --simulate detect 2>&1)" \
  || fail "tamberlink-cli --simulate detect"
case "$chinese" in
  *编程器:就绪.*) ;;
  *) fail "the log lines are not Chinese by default: $chinese" ;;
esac
echo "languages: English on request, Chinese by default"

export QT_QPA_PLATFORM=offscreen
"$bin/tamberlink" --help >/dev/null || fail "tamberlink --help"

# The window on the simulated board: still running after a few seconds
# means it started (timeout's status 124); anything else is a failure.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME"
status=0
(cd / && timeout 5 "$bin/tamberlink" --simulate --lang en >"$work/window.log" 2>&1) || status=$?
if [ "$status" -ne 124 ]; then
  cat "$work/window.log" >&2
  fail "the window ended with status $status"
fi
# A translation the window could not find is reported on stderr.
if grep -q "no English translation" "$work/window.log"; then
  fail "the installed window does not find its translation"
fi
echo "window: started, in English"

if [ "$mode" = dpkg ]; then
  # Root may write to /usr/lib/tamberlink, yet an installed program keeps
  # its settings with the user.
  [ -d "$XDG_CONFIG_HOME/tamberlink" ] || fail "no $XDG_CONFIG_HOME/tamberlink"
  if ls "$prog"/*.ini >/dev/null 2>&1; then fail "ini files in $prog"; fi
  echo "settings: $XDG_CONFIG_HOME/tamberlink"
fi
echo "check-install: OK"
