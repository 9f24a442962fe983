# Checks of a built plug-in DLL, for the Windows layer and for scripts/package.sh. Source it after
# common.sh.
#
#   dll_exports DLL              the DLL's exported names, on one line
#   dll_holds_test_setup DLL     whether it carries the Windows tests' update setup (LUMVO_TEST_*)
#   dll_imports DLL              the DLLs it imports, lower case, on one line
#   dll_check_shipped DLL        dies unless it is fit to ship: DllGetClassObject its one export, no
#                                test setup, only DLLs every Windows has as imports

DLL_OBJDUMP=x86_64-w64-mingw32-objdump
# Only DLLs every Windows has: no MinGW runtime to ship beside the plug-in.
DLL_SYSTEM_IMPORTS='^(kernel32|user32|gdi32|gdiplus|winhttp|shell32|ole32|oleaut32|advapi32|msvcrt|comctl32|comdlg32|d3d11|d3dcompiler_47|dxgi|dwrite|d2d1|windowscodecs|iphlpapi|shlwapi|ws2_32|uxtheme|crypt32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'

dll_exports() {
  "$DLL_OBJDUMP" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed '1d;/^$/d' | sed 's/.*\] *//' | xargs
}

# The test build's update setup reads where to go from LUMVO_TEST_* variables (UTF-16 names).
dll_holds_test_setup() { LC_ALL=C grep -qaP 'L\x00U\x00M\x00V\x00O\x00_\x00T\x00E\x00S\x00T\x00_' "$1"; }

dll_imports() { "$DLL_OBJDUMP" -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | xargs; }

dll_check_shipped() {
  local exports dll
  exports="$(dll_exports "$1")"
  [ "$exports" = "DllGetClassObject" ] || die "$1 must export DllGetClassObject alone; it exports: $exports"
  ! dll_holds_test_setup "$1" || die "$1 holds the test build's update setup"
  for dll in $(dll_imports "$1"); do
    [[ "$dll" =~ $DLL_SYSTEM_IMPORTS ]] || die "$1 imports $dll, which is not part of Windows"
  done
}
