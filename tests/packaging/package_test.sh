#!/usr/bin/env bash
# Builds the .deb and .tar.gz with CPack, has lintian and appstreamcli judge them, unpacks the
# .deb into a throw-away root, checks the tree, and starts a stand-in product through the
# installed launcher. Then configures a tree branded by its own settings file and checks that
# every string table and the desktop entry name that product.
#   package_test.sh <build dir> <recorder> <source dir>
set -uo pipefail
build="$1"
recorder="$2"
source="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
check() { # check <description> <command...>
    local what="$1"; shift
    if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/pkg" >"$work/cpack.log" 2>&1)
check "cpack produced the packages" test $? -eq 0 || cat "$work/cpack.log"
deb="$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)"
tgz="$(ls "$work"/pkg/*.tar.gz 2>/dev/null | head -n 1)"
check "a .deb exists" test -f "$deb"
check "a .tar.gz exists" test -f "$tgz"
[ -f "$deb" ] || { echo "package test: $failures failed"; exit 1; }

info="$(dpkg-deb -f "$deb" Package Version Maintainer Section Depends Description)"
echo "$info"
check "dependencies were worked out from the libraries" grep -q '^Depends:.*libqt5widgets5' <<<"$info"
check "maintainer and section are set" grep -q '^Section: ' <<<"$info"
# Any error or warning fails unless the package overrides it (with its reason, in the package).
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1
code=$?
grep -v '^running with root' "$work/lintian.txt"
check "lintian finds no error or warning" test "$code" -eq 0

root="$work/root"
dpkg-deb -x "$deb" "$root"
product="$root/usr/lib/pellam-author"
dpkg-deb -c "$deb" | awk '{print $6, $7, $8}' > "$work/files.txt"
echo "--- package contents"; cat "$work/files.txt"
check "launcher installed" test -x "$product/launcher"
check "default-language file installed" test -f "$product/resources/default_settings.ini"
tables=$(ls "$product"/resources/languages/strings_*.launcher.xml 2>/dev/null | wc -l)
check "eight string tables installed ($tables)" test "$tables" -eq 8
check "no demo product in the package" test ! -e "$product/qpr.exe"
check "command link resolves to the launcher" \
    test "$(readlink -f "$root/usr/bin/pellam-author")" = "$(readlink -f "$product/launcher")"
desktop="$root/usr/share/applications/com.nimbrel.PellamAuthor.desktop"
check "desktop entry installed" test -f "$desktop"
check "desktop entry is valid" desktop-file-validate "$desktop"
icon="$root/usr/share/icons/hicolor/256x256/apps/com.nimbrel.PellamAuthor.png"
check "icon is a 256x256 PNG" grep -q 'PNG image data, 256 x 256' <<<"$(file "$icon")"
appstreamcli validate --no-net "$root"/usr/share/metainfo/com.nimbrel.PellamAuthor.metainfo.xml \
    >"$work/appstream.txt" 2>&1
code=$?
cat "$work/appstream.txt"
check "AppStream metadata valid, no warning" \
    sh -c "[ $code -eq 0 ] && ! grep -q '^[EW]:' '$work/appstream.txt'"
changelog="$root/usr/share/doc/pellam-author-launcher/changelog.gz"
version="$(zcat "$changelog" | sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p')"
check "the latest changelog entry ($version) is the package's version" \
    grep -qx "Version: $version" <<<"$info"

tar -tzf "$tgz" > "$work/tgz.txt"
check "the archive holds the launcher and its tables" \
    sh -c "grep -q 'lib/pellam-author/launcher\$' '$work/tgz.txt' && grep -q 'strings_de_DE.launcher.xml\$' '$work/tgz.txt'"

# The installed launcher, started through the command link, starts the product beside it.
cp "$recorder" "$product/qpr.exe"
home="$work/home"; mkdir -p "$home/run"; chmod 700 "$home/run"
sanitizers=()
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [ -n "${!name:-}" ] && sanitizers+=("$name=${!name}")
done
output="$(env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen "${sanitizers[@]}" \
    "$root/usr/bin/pellam-author" -x "a b" 2>&1)"
code=$?
check "installed launcher exits with 1 (got $code)" test "$code" -eq 1
check "installed launcher prints nothing (got '$output')" test -z "$output"
for _ in $(seq 50); do ls "$product"/qpr.exe.*.args >/dev/null 2>&1 && break; sleep 0.1; done
record="$(ls "$product"/qpr.exe.*.args 2>/dev/null | head -n 1)"
expected="$(printf '?launcher=launcher\0-x\0a b\0' | od -c)"
check "product received ?launcher=launcher -x 'a b'" \
    test -n "$record" -a "$(od -c < "${record:-/dev/null}")" = "$expected"

# A vendor's build: its settings file names the product, and so does every text.
brand="$work/brand"; mkdir -p "$brand"
printf '[target]\r\nproduct_name = Acme Writer & Co\r\nproduct = acme\r\nname = acme\r\n\r\n' \
    >"$brand/settings.ini"
(cmake -S "$source" -B "$brand/build" -DLAUNCHER_SETTINGS_FILE="$brand/settings.ini" \
    -DLAUNCHER_BUILD_TESTS=OFF && cmake --build "$brand/build" --target productdata) \
    >"$brand/build.log" 2>&1
check "branded tree configured, product data built" test $? -eq 0 || tail -n 20 "$brand/build.log"
branded=0
for table in "$brand"/build/bin/resources/languages/strings_*.launcher.xml; do
    # The update question names the product as it is, the launch button with its '&' doubled.
    grep -qF 'Acme Writer &amp; Co' "$table" && grep -qF 'Acme Writer &amp;&amp; Co' "$table" \
        && ! grep -q 'Pellam Author' "$table" && branded=$((branded + 1))
done
check "all eight branded tables name the brand and only it ($branded)" test "$branded" -eq 8
entry="$brand/build/packaging/com.nimbrel.PellamAuthor.desktop"
check "branded desktop entry is named after the brand" grep -qx 'Name=Acme Writer & Co' "$entry"
check "branded desktop entry names no other product" sh -c "! grep -q 'Pellam Author' '$entry'"
check "branded AppStream metadata valid" \
    appstreamcli validate --no-net "$brand"/build/packaging/*.metainfo.xml

echo "package test: $failures failed"
[ "$failures" -eq 0 ]
