# The installer layer: packages two test builds with scripts/package.sh (the version in VERSION and
# a newer one) and runs them in a fresh Wine prefix made for the run and thrown away after it, as a
# DJ's PC would see them:
#   1. the installed version, installed silently (timed): the plug-in in the shell's Documents
#      folder + \VirtualDJ\Plugins64\VideoEffect, the wall files and node.exe (the pinned SHA-256)
#      in theirs, the uninstaller registered;
#   2. the stand-in host loads the installed plug-in, which starts the installed wall server with
#      the installed node.exe; a guest posts a photo of a QR code made for the run, the booth shows
#      it, and the QR code is read back from the TV's frames. While the host has the plug-in
#      loaded, a second install is refused and changes nothing;
#   3. the newer build installed over it through its wizard, page by page (a picture and the texts
#      of each page in test-output/installer/): the DJ's files kept, the older wall files gone;
#   4. the uninstaller, silently: plug-in, wall files, runtime and registration gone, the DJ's
#      layout.ini, photos, wall.db and its backups kept.
# Also: the update package is the same bytes when made again from the same files, and the DLL
# carries no link time. Uses port 8787 and Wine: run it under the shared lock.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
export LUMVO_WINEPREFIX="$BUILD/wine-prefix-installer"
source "$ROOT/scripts/lib/wine-env.sh"

OUT="$OUTPUT/installer"
WORK="$BUILD/installer-test"
rm -rf "$OUT" "$WORK"
mkdir -p "$OUT" "$WORK"
elapsed() { printf '%.1f' "$(echo "$(date +%s.%N) - $1" | bc)"; }

# The builds: the tools, then the installed version; the newer one is packaged in the background
# while the first is tested.
LUMVO_BUILD_TARGETS="lumvo_standin_host lumvo_installer_pages" "$ROOT/scripts/build.sh" cross
BIN="$BUILD/cross/bin"
version="$(tr -d ' \r\n' <"$ROOT/VERSION")"
IFS=. read -r -a parts <<<"$version"
if [ ${#parts[@]} -eq 3 ]; then newer="${parts[0]}.${parts[1]}.$((parts[2] + 1))"; else newer="$version.1"; fi
LUMVO_DIST="$WORK/old" "$ROOT/scripts/package.sh" >"$OUT/package-old.log" 2>&1 \
  || { cat "$OUT/package-old.log"; die "packaging the installed version failed"; }
grep '^package: ' "$OUT/package-old.log" | grep -E 'setup.exe|\.zip' | sed 's/^package: /summary: installer: /'
OLD_SETUP="$WORK/old/LUMVO-Video-Wall-$version-test-setup.exe"
NEW_SETUP="$WORK/new/LUMVO-Video-Wall-$newer-test-setup.exe"
ZIP="$WORK/old/update/plugin/LUMVO-Video-Wall-$version-test.zip"

# Reproducible: the same files give the same package, and the DLL in it has no link time.
node22 -e 'const [file, out] = process.argv.slice(1); const fs = require("node:fs");
  const c = JSON.parse(fs.readFileSync(file, "utf8")); fs.writeFileSync(out, JSON.stringify({ ...c, out: c.out + "-again" }));' \
  "$BUILD/package/LUMVO-Video-Wall-$version-test/update.json" "$WORK/again.json"
node22 "$ROOT/scripts/package/release-files.mjs" update "$WORK/again.json" >/dev/null
cmp -s "$ZIP" "$WORK/old/update-again/plugin/$(basename "$ZIP")" || die "the update package differs when made again"
stamp="$(x86_64-w64-mingw32-objdump -p "$BUILD/cross/bin/test-build/LUMVO Video Wall.dll" | sed -n 's/^Time\/Date\s*//p')"
[[ "$stamp" == *1970* ]] || die "the DLL carries a link time ($stamp): the same commit would not give the same package"
say "summary: installer: the update package is the same bytes when made again; the DLL has no link time"

newer_job=""
cleanup() {
  [ -z "$newer_job" ] || kill -- "-$newer_job" 2>/dev/null || true
  wine_env_stop
  rm -rf "$LUMVO_WINEPREFIX"
}
trap cleanup EXIT
# In a session of its own, so that a failed run ends it whole.
LUMVO_DIST="$WORK/new" LUMVO_PACKAGE_VERSION="$newer" setsid "$ROOT/scripts/package.sh" >"$OUT/package-new.log" 2>&1 &
newer_job=$!

# A fresh prefix, whose shell folders are its own (a new prefix links Documents and the others to
# the Linux home folder).
rm -rf "$LUMVO_WINEPREFIX"
wine_env_start
trap cleanup EXIT
PROFILE="$WINEPREFIX/drive_c/users/$(id -un)"
for folder in "$PROFILE"/*; do
  if [ -L "$folder" ]; then rm "$folder" && mkdir "$folder"; fi
done
curl -fs -o /dev/null --max-time 2 http://127.0.0.1:8787/api/display && die "something already answers on 127.0.0.1:8787"
PLUGIN="$PROFILE/Documents/VirtualDJ/Plugins64/VideoEffect/LUMVO Video Wall.dll"
LUMVO="$PROFILE/AppData/Local/LUMVO"
WALL="$LUMVO/video-wall"
KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\LUMVO Video Wall'
registered() { wine reg query "$KEY" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }

# 1. The silent install.
start="$(date +%s.%N)"
wine_run "$(wine_path "$OLD_SETUP")" /S || die "the silent install failed (exit $?)"
say "summary: installer: silent install under Wine: $(elapsed "$start") s ($(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1))"
[ -f "$PLUGIN" ] || die "no plug-in in the host's folder: $PLUGIN"
cmp -s "$PLUGIN" "$BUILD/cross/bin/test-build/LUMVO Video Wall.dll" || die "the installed plug-in is not the test build's DLL"
for f in server/server.js server/src/app.js web/index.html VERSION; do [ -f "$WALL/$f" ] || die "no $f in $WALL"; done
[ "$(cat "$WALL/VERSION")" = "$version" ] || die "the wall folder's VERSION is $(cat "$WALL/VERSION"), not $version"
[ "$(sha256sum "$LUMVO/runtime/node/node.exe" | cut -d' ' -f1)" = "$RUNTIME_NODE_EXE_SHA256" ] || die "the installed node.exe is not the pinned one"
[ "$(registered DisplayVersion)" = "$version" ] || die "Windows does not list $version as installed"
[ "$(registered QuietUninstallString)" = "\"C:\\users\\$(id -un)\\AppData\\Local\\LUMVO\\uninstall.exe\" /S" ] \
  || die "the uninstaller is not registered: $(registered QuietUninstallString)"

# 2. The installed plug-in in the host, the installed wall server, a guest, the TV.
token="LUMVO-INSTALLER-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
qrencode -t PNG32 -s 10 -m 4 -o "$WORK/guest-photo.png" "$token"
mkdir -p "$OUT/frames"
printf 'theme=wedding\n' >"$WALL/layout.ini"  # the DJ's settings
WINE_RUN_TIMEOUT=240 wine_run "$BIN/lumvo-standin-host.exe" --dll "$(wine_path "$PLUGIN")" --seconds 30 --fps 5 \
  --png-every 5 --size 1280x720 --out "$(wine_path "$OUT/frames")" >"$OUT/standin-host.log" &
host_job=$!
node22 "$ROOT/tests/installer/guest.mjs" "$WORK/guest-photo.png" >"$OUT/guest.log" 2>&1 \
  || { cat "$OUT/guest.log"; die "the guest's photo did not reach the display document"; }
# The server is the installed one, run by the installed node.exe.
servers="$(ps -eo args | grep -i 'runtime\\node\\node.exe' | grep -v grep || true)"
[[ "$servers" == *'AppData\Local\LUMVO\video-wall\server\server.js'* ]] \
  || die "no wall server runs from the installed files with the installed node.exe: ${servers:-none}"
[ -f "$WALL/wall.db" ] || die "the wall server keeps no wall.db in the installed wall folder"
# A second install while the host has the plug-in loaded: refused, nothing touched.
echo "a file of the installed wall files" >"$WALL/web/installed-marker.txt"
set +e
wine_run "$(wine_path "$OLD_SETUP")" /S >"$OUT/install-while-loaded.log"
refused=$?
set -e
[ "$refused" -ne 0 ] || die "an install while the host has the plug-in loaded went ahead"
[ -f "$WALL/web/installed-marker.txt" ] || die "the refused install removed the installed wall files"
curl -fs -o /dev/null --max-time 5 http://127.0.0.1:8787/api/display || die "the wall server stopped answering after the refused install"
say "summary: installer: with the plug-in loaded a second install is refused (exit $refused) and changes nothing"
wait "$host_job" || { cat "$OUT/standin-host.log"; die "the stand-in host failed with the installed plug-in"; }
seen=""
for frame in "$OUT"/frames/frame-*.png; do
  if zbarimg --raw -q "$frame" 2>/dev/null | grep -qx "$token"; then seen="$frame"; break; fi
done
[ -n "$seen" ] || die "the guest's photo never showed on the TV (no frame in $OUT/frames holds its QR code)"
say "summary: installer: the installed plug-in started the installed wall server; the guest's photo is on the TV in $(basename "$seen")"

# The DJ's files as the night left them, and a logo named in another case than the kept name.
echo 'logo' >"$WALL/Venue-Logo.PNG"
grep -q '^theme=wedding' "$WALL/layout.ini" || die "the DJ's layout.ini lost its theme"
[ -n "$(ls "$WALL/uploads")" ] || die "no guest photo in the uploads folder"
[ -f "$WALL/backup/wall-backup.db" ] || die "the wall server left no backup"
dj_files() {
  (cd "$WALL" && find layout.ini uploads backup Venue-Logo.PNG wall.db -type f -print0 | sort -z | xargs -0 sha256sum)
}
dj_files >"$WORK/dj-files.txt"

# 3. The newer build over it, through the wizard.
wait "$newer_job" || { cat "$OUT/package-new.log"; die "packaging the newer version failed"; }
wine_run "$BIN/lumvo-installer-pages.exe" --out "$(wine_path "$OUT")" --pages welcome,folder,installing,finish \
  -- "$(wine_path "$NEW_SETUP")" >"$OUT/wizard.log" || { cat "$OUT/wizard.log"; die "the wizard did not finish"; }
grep -q "LUMVO Video Wall $newer (test build)" "$OUT/welcome.txt" || die "the welcome page does not show the version"
grep -q "LUMVO Video Wall $version is installed" "$OUT/welcome.txt" || die "the welcome page does not say what it replaces"
grep -qF "C:\\users\\$(id -un)\\Documents\\VirtualDJ\\Plugins64\\VideoEffect" "$OUT/folder.txt" \
  || die "the folder page does not show the plug-in folder"
grep -qxF "C:\\users\\$(id -un)\\AppData\\Local\\LUMVO" "$OUT/folder.txt" || die "the folder page does not show the install folder"
grep -qx 'Completed' "$OUT/installing.txt" || die "the install page does not say it completed"
# The finish page says what the README's "Install on Windows" says, line for line.
steps="$(sed -n '/^## Install on Windows/,/^## /p' "$ROOT/README.md" | grep -E '^[0-9]\. ' || true)"
[ "$(echo "$steps" | wc -l)" -ge 4 ] || die "the README's Install on Windows section has no numbered steps"
while IFS= read -r step; do
  grep -qxF "$step" "$OUT/finish.txt" || die "the finish page lacks the README's step: $step"
done <<<"$steps"
[ "$(cat "$WALL/VERSION")" = "$newer" ] && [ "$(registered DisplayVersion)" = "$newer" ] || die "the upgrade to $newer did not take"
[ ! -e "$WALL/web/installed-marker.txt" ] || die "the older version's wall files were left behind"
dj_files | cmp -s - "$WORK/dj-files.txt" || die "the upgrade changed the DJ's files: $(dj_files | diff - "$WORK/dj-files.txt")"
say "summary: installer: upgraded $version -> $newer through the wizard (pictures in test-output/installer/); the DJ's files kept"

# 4. The silent uninstall, as Apps and Features runs it. The uninstaller runs from a copy of itself,
# so its end is seen in what it removes.
uninstaller="$(registered QuietUninstallString | sed -n 's/^"\(.*\)" \/S$/\1/p')"
[ -n "$uninstaller" ] || die "no quiet uninstall command registered"
wine "$uninstaller" /S >/dev/null 2>&1 || die "the uninstaller did not start"
for _ in $(seq 1 120); do
  [ -e "$LUMVO/uninstall.exe" ] || [ -n "$(registered DisplayName)" ] || break
  sleep 0.5
done
[ ! -e "$LUMVO/uninstall.exe" ] && [ -z "$(registered DisplayName)" ] || die "the silent uninstall did not finish"
[ ! -e "$PLUGIN" ] || die "the uninstall left the plug-in"
for gone in server web VERSION; do [ ! -e "$WALL/$gone" ] || die "the uninstall left $gone in the wall folder"; done
[ ! -e "$LUMVO/runtime" ] || die "the uninstall left the runtime"
dj_files | cmp -s - "$WORK/dj-files.txt" || die "the uninstall changed the DJ's files"
say "summary: installer: silent uninstall removed the plug-in, wall files, runtime and registration; kept $(wc -l <"$WORK/dj-files.txt") files of the DJ's"
