#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb and checks it without installing it on this machine: its
# fields, that it declares its Qt runtime and the station's sound, that it
# carries what Debian's users expect (manual pages, completion, desktop
# entries, icons, metainfo, copyright, changelogs) and the station's sounds,
# that its programs are stripped and hardened and run from an unpacked copy,
# and, when they are there, that appstreamcli takes the metainfo and lintian
# has nothing to say.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fallito() {
    echo "$*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log") || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/out/m5config_*.deb)
[ -n "$(ls "$tmp"/out/m5config-dbgsym_* 2>/dev/null)" ] || fallito "no -dbgsym package"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6multimedia6 libqt6sql6-sqlite libpq5; do
    grep -q "$lib" <<<"$depends" || fallito "missing dependency on $lib"
done
# Qt Multimedia's sound goes to a PulseAudio server; without one, no sound.
consigliati=$(dpkg-deb -f "$deb" Recommends)
grep -q "pipewire-pulse | pulseaudio" <<<"$consigliati" || fallito "no sound server recommended"
descrizione=$(dpkg-deb -f "$deb" Description)
[ "$(wc -l <<<"$descrizione")" -gt 3 ] || fallito "no extended description"

# Listings are read whole first: grep -q leaving early would kill dpkg-deb
# with SIGPIPE, and pipefail would count that as a failure.
contenuto=$(dpkg-deb -c "$deb")
metainfo=(./usr/share/metainfo/test.quorvanta_radio.m5config.metainfo.xml
          ./usr/share/metainfo/test.quorvanta_radio.m5stazione.metainfo.xml)
for f in ./usr/share/applications/m5config.desktop ./usr/share/applications/m5stazione.desktop \
         ./usr/share/icons/hicolor/scalable/apps/m5config.svg \
         ./usr/share/icons/hicolor/scalable/apps/m5stazione.svg "${metainfo[@]}" \
         ./usr/share/bash-completion/completions/m5ctl \
         ./usr/share/man/man1/m5config.1.gz ./usr/share/man/man1/m5ctl.1.gz \
         ./usr/share/man/man1/m5sim.1.gz ./usr/share/man/man1/m5stazione.1.gz \
         ./usr/share/m5stazione/suoni/riuscito.wav ./usr/share/m5stazione/suoni/fallito.wav \
         ./usr/share/m5config/archivio.sql \
         ./usr/share/doc/m5config/copyright ./usr/share/doc/m5config/changelog.Debian.gz; do
    grep -qF " $f" <<<"$contenuto" || fallito "package lacks $f"
done

radice=$tmp/root
dpkg-deb -x "$deb" "$radice"
for p in m5ctl m5config m5sim m5stazione; do
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$radice/usr/bin/$p" --version
    informazioni=$(file -L "$radice/usr/bin/$p")
    grep -q ", stripped" <<<"$informazioni" || fallito "$p is not stripped"
    dinamica=$(readelf -d "$radice/usr/bin/$p")
    grep -q "BIND_NOW" <<<"$dinamica" || fallito "$p is not linked with -z now"
    simboli=$(readelf --dyn-syms -W "$radice/usr/bin/$p")
    grep -q "__stack_chk_fail" <<<"$simboli" || fallito "$p has no stack protector"
done
gzip -t "$radice"/usr/share/man/man1/*.gz "$radice"/usr/share/doc/m5config/*.gz
for pagina in "$radice"/usr/share/man/man1/*.gz; do
    testo=$(gzip -dc "$pagina")
    grep -q '^\.SH "\?SEE ALSO' <<<"$testo" || fallito "$(basename "$pagina") is cut short"
done
gzip -dc "$radice/usr/share/doc/m5config/changelog.Debian.gz" >"$tmp/changelog"
[ "$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)" = "$(dpkg-deb -f "$deb" Version)" ] ||
    fallito "the changelog's version is not the package's"

# The station finds its sounds beside its program, bin/../share.
for suono in riuscito fallito; do
    [ -s "$radice/usr/bin/../share/m5stazione/suoni/$suono.wav" ] ||
        fallito "m5stazione's $suono.wav is not where the program looks for it"
done
if command -v appstreamcli >/dev/null; then
    # The screenshot's address is checked elsewhere: here there may be no network.
    for f in "${metainfo[@]}"; do
        appstreamcli validate --no-net "$radice/$f" || fallito "appstreamcli refuses $f"
    done
fi
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" \
        || fallito "lintian has errors or warnings"
fi
echo "package ok"
