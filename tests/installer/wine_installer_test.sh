#!/usr/bin/env bash
# The Windows installer under Wine, as an administrator would use it, in fresh prefixes: a silent
# install puts the zip's very files where they belong and registers the uninstaller in the 64-bit
# view; the installed tool renders the built-in sample with the installed module (the golden Monte
# Carlo render, which every build matches exactly); Photoshop's shared folder gets a copy only when it
# exists, and loses exactly that copy; /PATH adds the tool's folder to the user's PATH and the
# uninstaller takes out exactly that entry, while a PATH the installer cannot hold whole is never
# rewritten; a silent uninstall leaves no file, folder or registry entry behind. A 32-bit prefix
# gets the 32-bit module only.
#
# Usage: tests/installer/wine_installer_test.sh SETUP.EXE [WORK_DIR]   (the zip beside SETUP.EXE too)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
setup=$(realpath "$1")
zip=${setup%-setup.exe}.zip
work=${2:-$(dirname "$setup")/installer-test}
# No desktop menu entries on the machine running the test: the installer makes a shortcut.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEARCH

failures=0
check() {  # description, command...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1" >&2; failures=$((failures + 1)); fi
}

rm -rf "$work"
mkdir -p "$work/zip" "$work/run"
unzip -q "$zip" -d "$work/zip"
golden=$root/tests/data/golden/sample_mc.png
golden_settings=(--amount 8 --vertices 6 --rotation 15 --brightness 30 --method mc)

fresh_prefix() {  # win64|win32
  export WINEPREFIX=$work/prefix-$1
  WINEARCH=$1 wineboot -i >/dev/null 2>&1
  wineserver -w
  drive=$WINEPREFIX/drive_c
}
# The installer reads its command line itself, /D= up to the end and unquoted even with spaces, as a
# command prompt passes it: through cmd, not through Wine's quoting of arguments.
install() { wine cmd /c "$(winepath -w "$setup") /S $*"; local s=$?; wineserver -w; return $s; }
# The silent uninstaller copies itself into a temporary folder, starts that copy and returns at once:
# wait for the copy (and Wine) to end.
uninstall() { wine "$1\\uninstall.exe" /S; local s=$?; wineserver -w; return $s; }
# Everything on drive C, the uninstaller's temporary copy left out.
files() { (cd "$drive" && find . -printf '%y %p\n' | grep -v '/Temp/~nsu[^/]*\.tmp' | sort); }
registry_mentions() { grep -il aperlume "$WINEPREFIX"/*.reg || true; }
user_path() { wine reg query 'HKCU\Environment' /v Path 2>/dev/null | sed -nE 's/^ +Path +REG_(EXPAND_)?SZ +//p' | tr -d '\r'; }
has_user_path() { wine reg query 'HKCU\Environment' /v Path >/dev/null 2>&1; }
set_user_path() { wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1; wineserver -w; }
drop_user_path() { wine reg delete 'HKCU\Environment' /v Path /f >/dev/null 2>&1; wineserver -w; }
same_file() { cmp -s "$1" "$2"; }
absent() { [[ ! -e $1 ]]; }
equal() { [[ $1 == "$2" ]]; }
empty() { [[ -z $1 ]]; }
# The installed tool, started elsewhere, renders with the module beside it, as the golden render.
renders_golden() {  # windows path of the tool, module path it must name
  local log=$work/run/render.log
  rm -f "$work/run/render.png"
  (cd "$work/run" && wine "$1" -v "${golden_settings[@]}" --sample render.png >"$log" 2>&1) &&
    grep -qiF "plug-in: $2" "$log" && compare -metric AE "$golden" "$work/run/render.png" null: 2>/dev/null
}

echo "=== installer: 64-bit Windows"
fresh_prefix win64
program="C:\\Program Files\\Aperlume"
installed=$drive/Program\ Files/Aperlume
before=$(files)
check "a fresh prefix mentions no Aperlume in its registry" empty "$(registry_mentions)"

check "the silent install succeeds" install
for file in x64/Aperlume.8bf x64/aperlume.exe x86/Aperlume.8bf x86/aperlume.exe; do
  check "Plug-Ins/$file is the zip's $file" same_file "$installed/Plug-Ins/$file" "$work/zip/$file"
done
check "the guide is the zip's README.html" same_file "$installed/README.html" "$work/zip/README.html"
check "the licence is the zip's LICENSE.txt" same_file "$installed/LICENSE.txt" "$work/zip/LICENSE.txt"
check "the Start menu holds the guide" test -f "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Aperlume/Aperlume guide.lnk"
check "nothing goes into the 32-bit Program Files" absent "$drive/Program Files (x86)/Aperlume"
check "no shared Photoshop folder is made when there is none" absent "$drive/Program Files/Common Files/Adobe"
check "the uninstaller is registered in the 64-bit view" \
  grep -q '^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Aperlume\]' "$WINEPREFIX/system.reg"
check "the user's PATH is left alone without /PATH" eval '! has_user_path'
check "the installed 64-bit tool renders the sample with the installed module" \
  renders_golden "$program\\Plug-Ins\\x64\\aperlume.exe" "$program\\Plug-Ins\\x64\\Aperlume.8bf"
check "the installed 32-bit tool renders the sample with the installed module" \
  renders_golden "$program\\Plug-Ins\\x86\\aperlume.exe" "$program\\Plug-Ins\\x86\\Aperlume.8bf"
check "the silent uninstall succeeds" uninstall "$program"
check "the uninstall leaves no file or folder behind" equal "$(files)" "$before"
check "the uninstall leaves no registry entry behind" empty "$(registry_mentions)"

echo "=== installer: Photoshop's shared plug-in folder"
shared=$drive/Program\ Files/Common\ Files/Adobe/Plug-Ins/CC
mkdir -p "$shared" && echo "another plug-in" >"$shared/Other.8bf"
install
check "an existing shared folder gets the 64-bit module" same_file "$shared/Aperlume.8bf" "$work/zip/x64/Aperlume.8bf"
uninstall "$program"
check "the uninstall removes that copy" absent "$shared/Aperlume.8bf"
check "and leaves the folder and its other plug-ins" same_file "$shared/Other.8bf" <(echo "another plug-in")
rm -rf "$drive/Program Files/Common Files/Adobe"

echo "=== installer: the user's PATH"
entry="$program\\Plug-Ins\\x64"
install /PATH
check "/PATH makes a PATH of the tool's folder where the user had none" equal "$(user_path)" "$entry"
check "a new command prompt finds the tool by its name" eval 'wine cmd /c "aperlume --version" | grep -q "^aperlume "'
uninstall "$program"
check "the uninstall removes the PATH it made" eval '! has_user_path'

# /D= with spaces, and a PATH the user had: the entry is appended, and taken out again exactly.
own="C:\\Tools;%USERPROFILE%\\bin"
other="C:\\Photo Tools\\Aperlume"
set_user_path "$own"
install /PATH "/D=$other"
check "/D= installs into the folder it names" test -f "$drive/Photo Tools/Aperlume/Plug-Ins/x64/Aperlume.8bf"
check "/PATH appends the tool's folder to the user's PATH" equal "$(user_path)" "$own;$other\\Plug-Ins\\x64"
uninstall "$other"
check "the uninstall gives the user's PATH back as it was" equal "$(user_path)" "$own"
check "the uninstall removes the /D= folder" absent "$drive/Photo Tools/Aperlume"

# An entry the user typed is not ours to remove.
set_user_path "$own;$entry"
install /PATH
uninstall "$program"
check "a PATH that already holds the folder is left as it was" equal "$(user_path)" "$own;$entry"

# NSIS strings hold 1023 characters, and the PATH is searched with a separator at each end: a longer
# PATH would be cut short, and must never be written back. A PATH that cannot be read, and one that
# cannot take the entry, stay as they are; one that just can is extended, and restored.
path_max=1021
for length in 1700 $((path_max - ${#entry})) $((path_max - ${#entry} - 1)); do
  long=$(printf 'C:\\Tools\\%0*d' $((length - 9)) 0)
  set_user_path "$long"
  install /PATH
  if ((length + 1 + ${#entry} > path_max)); then
    check "a $length-character PATH is not rewritten by the install" equal "$(user_path)" "$long"
  else
    check "a $length-character PATH takes the entry" equal "$(user_path)" "$long;$entry"
  fi
  uninstall "$program"
  check "the uninstall leaves the $length-character PATH as it was" equal "$(user_path)" "$long"
done
# Grown past that since the install, the PATH keeps the entry rather than lose anything else.
set_user_path "C:\\Tools"
install /PATH
long="$(printf 'C:\\Tools\\%0*d' $((path_max - ${#entry} - 9)) 0);$entry"
set_user_path "$long"
uninstall "$program"
check "the uninstall leaves a PATH grown to ${#long} characters as it was" equal "$(user_path)" "$long"
drop_user_path
check "after all this, drive C is as it was" equal "$(files)" "$before"
check "and the registry mentions no Aperlume" empty "$(registry_mentions)"
wineserver -k 2>/dev/null || true

echo "=== installer: 32-bit Windows"
fresh_prefix win32
before=$(files)
install
installed=$drive/Program\ Files/Aperlume
check "32-bit Windows gets the 32-bit module" same_file "$installed/Plug-Ins/x86/Aperlume.8bf" "$work/zip/x86/Aperlume.8bf"
check "and no 64-bit one" absent "$installed/Plug-Ins/x64"
check "the installed 32-bit tool renders the sample with the installed module" \
  renders_golden "$program\\Plug-Ins\\x86\\aperlume.exe" "$program\\Plug-Ins\\x86\\Aperlume.8bf"
uninstall "$program"
check "the uninstall leaves no file or folder behind" equal "$(files)" "$before"
check "the uninstall leaves no registry entry behind" empty "$(registry_mentions)"
wineserver -k 2>/dev/null || true

if ((failures)); then echo "=== installer: $failures checks FAILED"; exit 1; fi
echo "=== installer: all checks passed"
