#!/usr/bin/env bash
# The .deb as Debian's tools judge it (lintian, appstreamcli, desktop-file-validate), the tree it
# installs starting the product through the command link, and a tree branded by a vendor's own
# settings file and download server, whose every string table and desktop entry name that
# product and whose launcher asks that server over https.
#   package_test.sh <build dir> <recorder> <source dir> <Qt's major version> [brand]
# The branded tree (a second launcher built from scratch) only with "brand": branding is data and
# build knobs, the same whatever the Qt, so test.sh has one of its two builds check it.
set -uo pipefail
build="$1" recorder="$2" source="$3" qt="$4" with_brand="${5:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
check() { # check <description> <command...>
    if "${@:2}"; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

(cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$work/pkg" >"$work/cpack.log" 2>&1) \
    || cat "$work/cpack.log"
deb="$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)"
[ -f "$deb" ] || { echo "FAIL: no .deb"; exit 1; }
info="$(dpkg-deb -f "$deb" Version Depends Description)"
qt_only() { grep -q "^Depends:.*libqt${qt}widgets$qt" <<<"$info" && ! grep -q "libqt$((11 - qt))" <<<"$info"; }
check "dependencies worked out from the libraries, Qt $qt's only" qt_only
wayland=qtwayland5; [ "$qt" = 5 ] || wayland=qt6-wayland
check "its Qt's Wayland platform among them" grep -q "^Depends:.*$wayland" <<<"$info"
check "summary and description name the product" \
    test "$(grep -cE '^(Description: Launcher for| Starts) Pellam Author( |$)' <<<"$info")" -eq 2
# Any error or warning fails unless the package overrides it, with its reason. Lintian leaves
# files of its own in its temporary directory: this test's, which goes with it.
TMPDIR="$work" lintian --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root'
check "lintian finds no error or warning" test "${PIPESTATUS[0]}" -eq 0

root="$work/root" product="$work/root/usr/lib/pellam-author"
dpkg-deb -x "$deb" "$root"
check "desktop entry valid" desktop-file-validate "$root"/usr/share/applications/*.desktop
metainfo="$(appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml 2>&1)"
check "AppStream metadata valid, no warning ($metainfo)" bash -c "! grep -q '^[EW]:' <<<'$metainfo'"
version="$(zcat "$root"/usr/share/doc/*/changelog.gz | sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p')"
check "the changelog's latest entry is the package's version" grep -qx "Version: $version" <<<"$info"
check "nine string tables, no demo product" \
    sh -c "[ \$(ls '$product'/resources/languages/*.xml | wc -l) -eq 9 ] && [ ! -e '$product/qpr.exe' ]"

cp "$recorder" "$product/qpr.exe"
home="$work/home"; mkdir -p "$home/run"; chmod 700 "$home/run"
installed() { # the installed launcher in a clean environment of its own; the sanitizers' options kept
    env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
        QT_QPA_PLATFORM=offscreen ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
        ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} "$@"
}
output="$(installed "$root/usr/bin/pellam-author" -x "a b" 2>&1)"
code=$?
check "installed launcher exits with 1, silently ($code '$output')" test "$code$output" = 1
for _ in $(seq 50); do ls "$product"/qpr.exe.*.args >/dev/null 2>&1 && break; sleep 0.1; done
check "product received ?launcher=launcher -x 'a b'" sh -c \
    "[ \"\$(od -c '$product'/qpr.exe.*.args)\" = \"\$(printf '?launcher=launcher\0-x\0a b\0' | od -c)\" ]"

# The window comes from the installed module: still open when the second is up, no message.
output="$(installed timeout 2 "$root/usr/bin/pellam-author" -f 2>&1)"
code=$?
check "installed launcher shows its window from its module ($code '$output')" test "$code$output" = 124

if [ "$with_brand" != brand ]; then
    echo "package test: $failures failed (the branded tree is checked by the Qt 5 build)"
    [ "$failures" -eq 0 ]
    exit
fi
brand="$work/brand"; mkdir -p "$brand"
key=xOjLZw0wFq2VId15GBoVyDdJegC7x1ce+DKe15COzNE=
printf '[target]\r\nproduct_name = Acme Writer & Co\r\nproduct = acme\r\nname = acme\r\n' >"$brand/settings.ini"
(cmake -S "$source" -B "$brand/build" -DLAUNCHER_SETTINGS_FILE="$brand/settings.ini" -DLAUNCHER_BUILD_TESTS=OFF \
    -DLAUNCHER_UPDATE_SCHEME=https -DLAUNCHER_UPDATE_HOST=downloads.example.com \
    -DLAUNCHER_UPDATE_PUBLIC_KEY="$key" -DLAUNCHER_DOWNLOAD_HOSTS='example.com,*.example.com' \
    && cmake --build "$brand/build" -j "$(nproc)" --target launcher productdata packagedata) \
    >"$brand/build.log" 2>&1 || tail -n 20 "$brand/build.log"
check "branded launcher asks https://downloads.example.com/sw, with the vendor's key and hosts" sh -c \
    'for s in "$@"; do strings "$0" | grep -qxF -- "$s" || exit 1; done' "$brand/build/bin/launcher" \
    https://downloads.example.com/sw "$key" 'example.com,*.example.com'
check "a key that is not 32 bytes of base64 stops the configuration" bash -c "! cmake -S '$source' \
    -B '$brand/badkey' -DLAUNCHER_UPDATE_PUBLIC_KEY='${key%?}' >'$brand/badkey.log' 2>&1 \
    && grep -q 'is not the standard' '$brand/badkey.log'"
branded=0
for table in "$brand"/build/bin/resources/languages/strings_*.launcher.xml; do
    # The update question names the product as it is, the launch button with its '&' doubled.
    grep -qF 'Acme Writer &amp; Co' "$table" && grep -qF 'Acme Writer &amp;&amp; Co' "$table" \
        && ! grep -q 'Pellam Author' "$table" && branded=$((branded + 1))
done
check "all nine branded tables name the brand and only it ($branded)" test "$branded" -eq 9
entry="$(cat "$brand"/build/packaging/*.desktop)"
check "branded desktop entry names the brand only" \
    bash -c "grep -qx 'Name=Acme Writer & Co' <<<'$entry' && ! grep -q 'Pellam Author' <<<'$entry'"
printf '[target]\nproduct_name = a, b\n' >"$brand/settings.ini"
check "a list for a name stops the build" bash -c "! cmake --build '$brand/build' --target \
    productdata >'$brand/list.log' 2>&1 && grep -q 'product_name in .*is a list' '$brand/list.log'"

echo "package test: $failures failed"
[ "$failures" -eq 0 ]
