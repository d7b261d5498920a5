#!/usr/bin/env bash
# What "cmake --install" puts on a system, checked with Debian's validators: both desktop
# entries (the menu's, and the autostart copy the installed program writes), the metainfo,
# both manual pages, the icon at every size, and the watcher's systemd user unit (with
# systemd-analyze, where it is installed).
#
#   check-install.sh CMAKE BUILD_DIR APPLICATION_ID ICON_SIZE...
#
# It installs under another prefix than the one configured, as "cmake --install --prefix" may.
# Exits 77 (skipped) when a validator is missing.
set -euo pipefail

cmake="$1"
build="$2"
id="$3"
shift 3
sizes=("$@")

missing=()
for tool in desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: ${missing[*]} not installed (scripts/bootstrap installs desktop-file-utils, appstream and man-db)"
    exit 77
fi

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
prefix=/opt/corvane-check
DESTDIR="$root/dest" "$cmake" --install "$build" --prefix "$prefix" >/dev/null
usr="$root/dest$prefix"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for file in bin/corvane-dyndns bin/corvane-update-server "share/applications/$id.desktop" \
    "share/metainfo/$id.metainfo.xml" share/man/man1/corvane-dyndns.1 share/man/man1/corvane-update-server.1 \
    "share/icons/hicolor/scalable/apps/$id.svg" lib/systemd/user/corvane-dyndns-watch.service; do
    [ -f "$usr/$file" ] || fail "$file is not installed"
done

# A PNG holds its width and height as 32-bit big-endian numbers from byte 16.
for size in "${sizes[@]}"; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    if [ ! -f "$png" ]; then
        fail "the ${size} px icon is not installed"
        continue
    fi
    read -r -a bytes < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((bytes[0] << 24) + (bytes[1] << 16) + (bytes[2] << 8) + bytes[3]))
    height=$(((bytes[4] << 24) + (bytes[5] << 16) + (bytes[6] << 8) + bytes[7]))
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "the ${size} px icon is ${width}x${height}"
done

desktop-file-validate "$usr/share/applications/$id.desktop" || fail "the menu entry is not valid"

# The installed program writes the autostart entry, without a display.
config="$root/config"
if env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$config" PATH="$usr/bin:$PATH" \
    "$usr/bin/corvane-dyndns" --autostart on >/dev/null; then
    desktop-file-validate "$config/autostart/$id.desktop" || fail "the autostart entry is not valid"
else
    fail "corvane-dyndns --autostart on failed"
fi

# Every address lies under .example, a domain the validator does not know; that note is
# expected, any other is a fault.
appstreamcli validate --no-net --strict --override=cid-maybe-not-rdns=pedantic \
    "$usr/share/metainfo/$id.metainfo.xml" || fail "the metainfo is not valid"

for page in corvane-dyndns corvane-update-server; do
    # As lintian reads them: any warning is a fault.
    warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$usr/share/man/man1/$page.1" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "man warns about $page.1: $warnings"
done

# The unit starts the program where it was installed; it is checked as a copy that starts the
# program of this temporary install, since systemd-analyze insists that the program exists.
unit="$usr/lib/systemd/user/corvane-dyndns-watch.service"
bindir="$prefix/bin"
if [ -f "$unit" ]; then
    grep -qxF "ExecStart=$bindir/corvane-dyndns --watch" "$unit" ||
        fail "the unit does not start $bindir/corvane-dyndns --watch"
    if command -v systemd-analyze >/dev/null; then
        mkdir -p "$root/unit" "$root/runtime"
        chmod 700 "$root/runtime"
        sed "s|^ExecStart=$bindir/|ExecStart=$usr/bin/|" "$unit" >"$root/unit/corvane-dyndns-watch.service"
        # It says nothing about a good unit; a setting it ignores is a fault too.
        if ! verdict="$(MANPATH="$usr/share/man" XDG_RUNTIME_DIR="$root/runtime" \
            systemd-analyze --user verify "$root/unit/corvane-dyndns-watch.service" 2>&1)"; then
            fail "systemd-analyze rejects the unit: $verdict"
        elif [ -n "$verdict" ]; then
            fail "systemd-analyze warns about the unit: $verdict"
        fi
        # The hardening a user unit can have without namespaces; it rated 9.6 without it.
        if ! XDG_RUNTIME_DIR="$root/runtime" systemd-analyze --user --offline=yes --threshold=65 security \
            "$root/unit/corvane-dyndns-watch.service" >/dev/null 2>&1; then
            fail "the unit's exposure is above 6.5: $(XDG_RUNTIME_DIR="$root/runtime" \
                systemd-analyze --user --offline=yes security "$root/unit/corvane-dyndns-watch.service" 2>&1 | tail -1)"
        fi
    else
        echo "SKIP: systemd-analyze is not installed (package systemd); the unit is not verified"
    fi
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures fault(s) in what installs"
    exit 1
fi
echo "installed files are complete and valid"
