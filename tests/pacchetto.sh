#!/usr/bin/env bash
# Builds the .deb, checks that it declares its Qt runtime, and that the
# programs it ships run: from the unpacked package always, and installed
# for real when run as root.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log") || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/out/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6core6 libqt6widgets6 libqt6serialport6; do
    grep -q "$lib" <<<"$depends" || { echo "missing dependency on $lib"; exit 1; }
done
# Listings are read whole first: grep -q leaving early would kill dpkg-deb
# with SIGPIPE, and pipefail would count that as a failure.
contenuto=$(dpkg-deb -c "$deb")
for f in ./usr/share/applications/m5config.desktop \
         ./usr/share/icons/hicolor/scalable/apps/m5config.svg; do
    grep -qF "$f" <<<"$contenuto" || { echo "package lacks $f"; exit 1; }
done

dpkg-deb -x "$deb" "$tmp/root"
for p in m5ctl m5config m5sim; do
    QT_QPA_PLATFORM=offscreen "$tmp/root/usr/bin/$p" --version
done

if [ "$(id -u)" -eq 0 ] && [ "${M5_PROVA_INSTALLAZIONE:-1}" = 1 ]; then
    stato=$(dpkg-query -W -f='${Status}' m5config 2>/dev/null || true)
    if [ "$stato" = "install ok installed" ]; then
        echo "m5config already installed here; skipping the install check"
        exit 0
    fi
    dpkg -i "$deb" >/dev/null
    trap 'dpkg -r m5config >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
    /usr/bin/m5ctl --version
fi
echo "package ok"
