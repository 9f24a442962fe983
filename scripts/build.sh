#!/usr/bin/env bash
# Builds one configuration: native | asan | fuzz | cross. Incremental; prints only on errors and
# one line per configuration.
#   native  portable core and its GoogleTest tests (g++)
#   asan    the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan    the same with ThreadSanitizer
#   fuzz    the libFuzzer targets (clang)
#   cross   the plug-in DLL, the Windows tests and the stand-in host (MinGW-w64)
# LUMVO_BUILD_TARGETS (names separated by blanks) builds only those targets of the configuration.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

configure_and_build() {
  local name="$1"; shift
  local dir="$BUILD/$name"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMVO_WERROR=ON "$@" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log"; die "configuring $name failed"; }
  fi
  local log="$BUILD/$name.build.log"
  local targets=()
  [ -z "${LUMVO_BUILD_TARGETS:-}" ] || read -r -a targets <<<"--target $LUMVO_BUILD_TARGETS"
  if ! cmake --build "$dir" -j "$JOBS" "${targets[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"; die "building $name failed (whole log: $log)"
  fi
  say "build: $name ok"
}

mkdir -p "$BUILD"
case "${1:-}" in
  native) configure_and_build native ;;
  asan)   configure_and_build asan -DLUMVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug ;;
  tsan)   configure_and_build tsan -DLUMVO_TSAN=ON -DCMAKE_BUILD_TYPE=Debug ;;
  fuzz)   configure_and_build fuzz -DLUMVO_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
  cross)  configure_and_build cross -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-posix.cmake" \
            -DCMAKE_BUILD_TYPE=Release ;;
  *) die "usage: scripts/build.sh native|asan|tsan|fuzz|cross" ;;
esac
