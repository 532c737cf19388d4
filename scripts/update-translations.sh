#!/usr/bin/env bash
# Brings the window's and Sordane's translation source up to date with the
# code: new tr() texts are added (unfinished, for a translator to fill in
# with Linguist or an editor), texts gone from the code are dropped. The
# core's texts (res/translations/tamberlink_core_en.ts) are kept by hand;
# the tests name any Chinese text that lacks an English one.
#
#   scripts/update-translations.sh
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate="$(command -v lupdate6 || true)"
[ -n "$lupdate" ] || lupdate=/usr/lib/qt6/bin/lupdate
[ -x "$lupdate" ] || { echo "lupdate not found (Debian: qt6-l10n-tools)" >&2; exit 1; }
# Qt code only; app/core, settings/core and widgets/core are the Qt-free core.
mapfile -t sources < <(ls app/*.cpp app/*.h settings/*.cpp settings/*.h \
  widgets/*.cpp widgets/*.h sordane/*.cpp sordane/*.h)
"$lupdate" -silent -I . -locations none -no-obsolete -source-language zh_CN -target-language en \
  "${sources[@]}" -ts res/translations/tamberlink_en.ts
