#!/usr/bin/env bash
# Installs a build as a packager would (DESTDIR and a prefix) and checks what lands there: the
# file list, the desktop entry, the icon sizes, the metainfo, the manual page's settings and
# defaults, and an installed program that keeps its configuration under XDG_CONFIG_HOME, run by
# an unprivileged user and by root. Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

DESTDIR="$work/stage" cmake --install "$build" --prefix /usr/local >/dev/null
prefix=$work/stage/usr/local

echo "== The installed files"
expected="bin/glintview
share/applications/glintview.desktop
share/doc/glintview/LICENSE
share/doc/glintview/README.md
share/icons/hicolor/128x128/apps/glintview.png
share/icons/hicolor/256x256/apps/glintview.png
share/icons/hicolor/32x32/apps/glintview.png
share/icons/hicolor/48x48/apps/glintview.png
share/icons/hicolor/64x64/apps/glintview.png
share/man/man1/glintview.1
share/metainfo/io.github.glintview.Glintview.metainfo.xml"
actual=$(cd "$work/stage" && find . -type f | sed 's|^\./usr/local/||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:"$'\n'"$actual"
for size in 32 48 64 128 256; do
  drawn=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/glintview.png")
  [ "$drawn" = "${size}x${size}" ] || fail "the ${size} pixel icon is $drawn"
done

echo "== The desktop entry"
entry=$prefix/share/applications/glintview.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate refuses the entry"
grep -qx 'Icon=glintview' "$entry" || fail "the entry names no icon"
grep -qx 'Exec=glintview %f' "$entry" || fail "the entry does not start the program with a file"

appstreamcli validate --no-net "$prefix/share/metainfo/io.github.glintview.Glintview.metainfo.xml" \
  >/dev/null || fail "appstreamcli refuses the metainfo"

echo "== The manual page: every setting with its default"
page=$prefix/share/man/man1/glintview.1
warnings=$(groff -t -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"
text=$(groff -t -man -Tascii -P-cbou -rLL=200n "$page")
while IFS=$'\t' read -r -a fields; do
  setting="${fields[0]} ${fields[1]}"
  grep -qF -- "$setting" <<<"$text" || fail "the manual page lacks \"$setting\""
done < <(grep '^\$' "$source/tests/config/default_configuration.ini")

echo "== An installed copy keeps its configuration in the user's folder"
mkdir -p "$work/user" "$work/pictures"
cp "$source/resources/icons/glintview-32.png" "$work/pictures/picture.png"
chmod -R a-w "$work/stage"
as_user=()
if [ "$(id -u)" -eq 0 ]; then # root writes anywhere: run as nobody, for whom the prefix is closed
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chmod 755 "$work" "$work/pictures"
  chmod 777 "$work/user"
fi
ini=$work/user/config/glintview/Glintview.ini
# Runs the installed program until its configuration file is there (it may open its window).
run_installed() {
  XDG_CONFIG_HOME=$work/user/config HOME=$work/user "${as_user[@]}" xvfb-run -a bash -c '
    timeout 60 "$1" "$2" & pid=$!
    for i in $(seq 150); do [ -s "$3" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.2; done
    kill $pid 2>/dev/null; wait $pid 2>/dev/null; exit 0' \
    run "$prefix/bin/glintview" "$work/pictures/picture.png" "$ini"
}
run_installed
[ -s "$ini" ] || fail "no configuration written under XDG_CONFIG_HOME"
grep -q '^#eof' "$ini" || fail "the configuration written is not whole"
[ ! -e "$prefix/bin/Glintview.ini" ] || fail "a configuration beside the installed program"

printf '; mine\n$exit:\tescape\n' >"$ini"
run_installed
[ "$(cat "$ini")" = $'; mine\n$exit:\tescape' ] || fail "the user's configuration was rewritten"

if [ "$(id -u)" -eq 0 ]; then
  echo "== Root's run of an installed copy keeps its configuration in root's folder too"
  chmod -R u+w "$work/stage" # root could write beside the program; it must not
  rm -rf "$work/user/config"
  as_user=()
  run_installed
  [ -s "$ini" ] || fail "root's run wrote no configuration under XDG_CONFIG_HOME"
  [ ! -e "$prefix/bin/Glintview.ini" ] || fail "root's run wrote a configuration beside the program"
fi
echo "PASS"
