#!/usr/bin/env bash
# check_module_file.sh DLL: reads the built module with the cross toolchain and
# checks what a host and an installer see of it without loading it: exactly
# the four exports, imports from Windows system DLLs only (no compiler
# runtime), no link time, the version record and the manifest.
set -uo pipefail
dll=$1
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

headers=$(TZ=UTC x86_64-w64-mingw32-objdump -p "$dll") || { echo "cannot read $dll"; exit 1; }

exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
[ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"

system_dlls='^(kernel32|user32|advapi32|ole32|oleaut32|gdi32|comctl32|shell32|msvcrt|api-ms-win-.*)\.dll$'
while read -r name; do
  echo "$name" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls" || fail "imports $name, which is not a Windows system DLL"
done < <(echo "$headers" | awk '/DLL Name:/ {print $3}')

# No link time anywhere in the headers, so the same sources give the same file.
grep -q '^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970$' <<<"$headers" || fail "the PE header has a link time"
grep -q '^Time/Date stamp[[:space:]]*0$' <<<"$headers" || fail "the export directory has a link time"

resources=$(x86_64-w64-mingw32-windres -i "$dll" -O rc 2>/dev/null)
echo "$resources" | grep -q 'FILEVERSION 1, 5, 0, 1' || fail "file version is not 1.5.0.1"
echo "$resources" | grep -q 'PRODUCTVERSION 1, 5, 0, 1' || fail "product version is not 1.5.0.1"
echo "$resources" | grep -q 'VALUE "InternalName", "QvMfxVeltrace"' || fail "internal name is not QvMfxVeltrace"
echo "$resources" | grep -q 'level=""asInvoker""' || fail "manifest does not ask for the invoker's level"
echo "$resources" | grep -q 'dpiAware[^>]*>true<' || fail "manifest does not declare DPI awareness"

echo "exports: $exports"
echo "imports: $(echo "$headers" | awk '/DLL Name:/ {printf "%s ", $3}')"
[ "$failures" -eq 0 ] && echo "module file checks passed"
exit "$failures"
