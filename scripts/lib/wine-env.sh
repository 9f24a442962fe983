# The Wine environment of the Windows tests and of scripts/run.sh. Source it after common.sh, then
# call wine_env_start; everything it starts is stopped when the sourcing shell exits.
#
#   wine_env_start     take the prefix lock, create the prefix once, start a private Xvfb display
#   wine_run PROG ...  run a Windows program in it: stdout and stderr together, CR line ends
#                      turned into LF and Wine's note about its missing 32-bit half left out;
#                      the program's exit status is the function's. It is killed after
#                      WINE_RUN_TIMEOUT seconds (default 900), so a hang cannot stall a run
#   wine_path PATH     the Windows form of a Linux path (Z:\...)
#   wine_local_appdata the Linux path of the prefix user's local application data folder (what
#                      LOCALAPPDATA and the shell's folder are inside Wine, C:\users\<user>\AppData\Local)
#   wine_stage_node    puts the Windows node.exe where the plug-in looks for it first, the private
#                      runtime <local app data>\LUMVO\runtime\node\node.exe (a hard link when it can)
#   wine_env_stop      stop it all now (wine_env_start sets it as the EXIT trap; a caller with a
#                      cleanup of its own calls it from its own trap)
#
# The prefix (build/wine-prefix) is project-local: 64-bit, Windows 10, the fonts the plug-in asks
# for by name mapped to DejaVu so DirectWrite draws them, the emoji family to Symbola, whose emoji
# are outlines Wine draws (in one colour; Noto Color Emoji has only colour bitmaps, which it does
# not), and windows not left to a window manager (Xvfb has none). It is made once; a marker file written last
# tells a finished prefix from a half-made one, which is thrown away and made again.
# Runs that share the prefix are serialised with a lock, because each one ends by stopping the
# prefix's wineserver.

WINE_PREFIX_DIR="${LUMVO_WINEPREFIX:-$BUILD/wine-prefix}"
WINE_READY_MARKER="$WINE_PREFIX_DIR/.lumvo-prefix-ready"
# Bump when the prefix recipe below changes, so old prefixes are made again.
WINE_PREFIX_RECIPE=4

export WINEPREFIX="$WINE_PREFIX_DIR"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko install prompts: the plug-in needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

_wine_xvfb_pid=""
_wine_lock_fd=""

# Family name -> installed replacement. The plug-in's cards and windows name these families.
_wine_font_replacements=(
  "Segoe UI=DejaVu Sans"
  "Segoe UI Semibold=DejaVu Sans"
  "Segoe UI Emoji=Symbola"
  "Candara=DejaVu Sans"
  "Georgia=DejaVu Serif"
  "Palatino Linotype=DejaVu Serif"
)

_wine_quiet() { "$@" >/dev/null 2>&1; }

_wine_make_prefix() {
  say "wine: creating the test prefix in $WINE_PREFIX_DIR (once)"
  _wine_quiet wineserver -k || true
  rm -rf "$WINE_PREFIX_DIR"
  mkdir -p "$WINE_PREFIX_DIR"
  _wine_quiet wine wineboot -i || die "wineboot failed"
  _wine_quiet wineserver -w
  _wine_quiet wine winecfg -v win10 || die "winecfg -v win10 failed"
  local entry
  for entry in "${_wine_font_replacements[@]}"; do
    _wine_quiet wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${entry%%=*}" /t REG_SZ \
      /d "${entry#*=}" /f || die "could not set the font replacement ${entry%%=*}"
  done
  # Xvfb runs no window manager: Wine would wait 2 s for one to let go of every top-level
  # window hidden or destroyed (the moderator window, the tray icon's window). Unmanaged windows
  # are drawn with Wine's own frame and go at once.
  _wine_quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    || die "could not set the X11 driver's Managed switch"
  _wine_quiet wineserver -w
  echo "$WINE_PREFIX_RECIPE" >"$WINE_READY_MARKER"
}

_wine_start_xvfb() {
  local n
  for n in $(seq 91 160); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    _wine_xvfb_pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$_wine_xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    # Lost a race for this number (or Xvfb failed): try the next one.
    kill "$_wine_xvfb_pid" 2>/dev/null || true
    wait "$_wine_xvfb_pid" 2>/dev/null || true
    _wine_xvfb_pid=""
  done
  die "no free X display for Xvfb"
}

wine_env_stop() {
  if [ -n "$_wine_lock_fd" ]; then
    _wine_quiet wineserver -k || true
    _wine_quiet wineserver -w || true
  fi
  if [ -n "$_wine_xvfb_pid" ]; then
    kill "$_wine_xvfb_pid" 2>/dev/null || true
    wait "$_wine_xvfb_pid" 2>/dev/null || true
    _wine_xvfb_pid=""
  fi
  if [ -n "$_wine_lock_fd" ]; then
    eval "exec $_wine_lock_fd>&-"
    _wine_lock_fd=""
  fi
}

wine_env_start() {
  command -v wine >/dev/null || die "wine is not installed; run scripts/setup.sh"
  command -v Xvfb >/dev/null || die "Xvfb is not installed; run scripts/setup.sh"
  mkdir -p "$(dirname "$WINE_PREFIX_DIR")"
  trap wine_env_stop EXIT
  trap 'exit 130' INT TERM
  exec {_wine_lock_fd}>"$WINE_PREFIX_DIR.lock"
  if ! flock -w 1800 "$_wine_lock_fd"; then
    die "the Wine prefix stayed locked by another run for 30 minutes"
  fi
  _wine_start_xvfb
  if [ "$(cat "$WINE_READY_MARKER" 2>/dev/null)" != "$WINE_PREFIX_RECIPE" ]; then
    _wine_make_prefix
  fi
}

wine_run() {
  timeout --kill-after=10 "${WINE_RUN_TIMEOUT:-900}" wine "$@" 2>&1 | tr -d '\r' | grep -v -e '^it looks like wine32 is missing' -e '^multiarch needs' \
    -e '^execute "dpkg' -e '^apt-get install wine32'
  return "${PIPESTATUS[0]}"
}

wine_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

wine_local_appdata() {
  local guess="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local"
  if [ -d "$guess" ]; then
    printf '%s' "$guess"
  else
    winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')" 2>/dev/null
  fi
}

wine_stage_node() {
  [ -f "$NODE_WIN" ] || die "no Windows node.exe in $NODE_WIN; run scripts/setup.sh"
  local runtime
  runtime="$(wine_local_appdata)/LUMVO/runtime/node"
  mkdir -p "$runtime"
  cmp -s "$NODE_WIN" "$runtime/node.exe" && return 0
  ln -f "$NODE_WIN" "$runtime/node.exe" 2>/dev/null || cp "$NODE_WIN" "$runtime/node.exe"
}
