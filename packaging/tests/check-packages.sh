#!/usr/bin/env bash
# Builds the Debian packages from a built tree and checks what they ship:
#   packaging/tests/check-packages.sh [BUILD_DIR]        (BUILD_DIR=build by default)
# - their file lists: programs, private libraries, the whole skin, manual pages, desktop entry,
#   icons, AppStream metadata, the service and its conffile; no file in both packages;
# - their control data: the project's version, dependencies computed by dpkg-shlibdeps (the
#   packages of exactly the libraries the binaries link);
# - unpacked together into a scratch root (dpkg -x), the programs run from there: --version,
#   --help against the manual pages, beamora-cli presenting a private Xvfb to beamora-receiver,
#   and the presenter finding, logging in to and presenting on that receiver by itself;
# - lintian (no errors, no warnings), desktop-file-validate, appstreamcli and systemd-analyze
#   (verify, and the service's exposure level).
# Prints one line per check; exits 1 when any failed.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build_dir=$(cd "${1:-build}" && pwd)

failures=0
pass() { echo "packages: ok   $*"; }
fail() { echo "packages: FAIL $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION COMMAND...: passes when the command succeeds
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/beamora-packages.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# --- build ---------------------------------------------------------------------------------------
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
rm -f "$build_dir"/packages/*.deb
if ! cpack --config "$build_dir/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    fail "cpack builds the packages"
    exit 1
fi
presenter_deb=$build_dir/packages/beamora_${version}_${arch}.deb
receiver_deb=$build_dir/packages/beamora-receiver_${version}_${arch}.deb
for deb in "$presenter_deb" "$receiver_deb"; do
    [ -f "$deb" ] || { fail "cpack made $(basename "$deb")"; exit 1; }
done
pass "cpack made $(basename "$presenter_deb") and $(basename "$receiver_deb")"

# --- file lists and control data -----------------------------------------------------------------
# Files and links, not directories: /usr/share/doc/beamora, not /usr/share/doc.
files() { dpkg-deb --fsys-tarfile "$1" | tar -tv | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort; }
files "$presenter_deb" >"$work/presenter.files"
files "$receiver_deb" >"$work/receiver.files"

expect_files() {  # expect_files LIST PATH...: every path is in the package's list
    local list=$1 missing=()
    shift
    for path in "$@"; do grep -qxF "$path" "$work/$list.files" || missing+=("$path"); done
    [ ${#missing[@]} -eq 0 ] || { echo "  missing from $list: ${missing[*]}"; return 1; }
}
libdir=/usr/lib/$multiarch/beamora
check "beamora ships the programs, libraries, manual pages and desktop integration" \
    expect_files presenter /usr/bin/beamora /usr/bin/beamora-cli \
    "$libdir/libtarrowlink.so.1" "$libdir/libvitrex.so.1" \
    /usr/share/beamora/version /usr/share/beamora/beamora.png \
    /usr/share/man/man1/beamora.1.gz /usr/share/man/man1/beamora-cli.1.gz \
    /usr/share/applications/beamora.desktop /usr/share/icons/hicolor/scalable/apps/beamora.svg \
    /usr/share/icons/hicolor/48x48/apps/beamora.png \
    /usr/share/metainfo/org.beamora.Beamora.metainfo.xml \
    /usr/share/doc/beamora/copyright /usr/share/doc/beamora/changelog.gz
# The whole skin: every file of skin/ that the program reads.
mapfile -t skin < <(cd skin && find String Position UI Panvo.mht -type f \
    \( -name '*.txt' -o -name '*.bmp' -o -name '*.mht' \) | sed 's|^|/usr/share/beamora/|')
check "beamora ships all ${#skin[@]} skin files" expect_files presenter "${skin[@]}"
check "beamora-receiver ships the receiver, its manual page and its service" \
    expect_files receiver /usr/bin/beamora-receiver /usr/share/man/man1/beamora-receiver.1.gz \
    /lib/systemd/system/beamora-receiver.service /etc/default/beamora-receiver \
    /usr/share/doc/beamora-receiver/copyright /usr/share/doc/beamora-receiver/changelog.gz
no_overlap() {
    comm -12 "$work/presenter.files" "$work/receiver.files" >"$work/overlap"
    [ ! -s "$work/overlap" ] || { echo "  in both: $(tr '\n' ' ' <"$work/overlap")"; return 1; }
}
check "no file is in both packages" no_overlap
only_usr_etc_lib() {
    ! grep -v -E '^/(usr|etc|lib)(/|$)' "$work/presenter.files" "$work/receiver.files" &&
        ! grep -E '^/usr/local|/include/|\.so$|\.a$' "$work/presenter.files" "$work/receiver.files"
}
check "nothing under /usr/local, no headers, static libraries or .so links" only_usr_etc_lib

field() { dpkg-deb -f "$1" "$2"; }
check "both packages carry the project's version $version" \
    test "$(field "$presenter_deb" Version) $(field "$receiver_deb" Version)" = "$version $version"
check "the receiver's settings are a conffile" \
    bash -c 'dpkg-deb --ctrl-tarfile "$1" | tar -xO ./conffiles | grep -qx /etc/default/beamora-receiver' \
    _ "$receiver_deb"

# apt resolves both packages' dependencies (simulated: nothing is installed).
apt_installs() {
    apt-get install --simulate --no-install-recommends "$presenter_deb" "$receiver_deb" \
        >"$work/apt.log" 2>&1 && grep -q '^Inst beamora ' "$work/apt.log" &&
        grep -q '^Inst beamora-receiver ' "$work/apt.log" || { sed 's/^/  /' "$work/apt.log"; return 1; }
}
check "apt can install both packages" apt_installs

# --- the installed layout ------------------------------------------------------------------------
root=$work/root
mkdir -p "$root"
dpkg -x "$presenter_deb" "$root" && dpkg -x "$receiver_deb" "$root"
bin=$root/usr/bin
unset LD_LIBRARY_PATH
runpaths() {
    [ "$(readelf -d "$bin/beamora" | grep -o 'runpath: \[.*\]')" = "runpath: [\$ORIGIN/../lib/$multiarch/beamora]" ] &&
        [ "$(readelf -d "$bin/beamora-cli" | grep -o 'runpath: \[.*\]')" = "runpath: [\$ORIGIN/../lib/$multiarch/beamora]" ] &&
        [ "$(readelf -d "$root$libdir/libtarrowlink.so.1" | grep -o 'runpath: \[.*\]')" = "runpath: [\$ORIGIN]" ] &&
        ! ldd "$bin/beamora" "$bin/beamora-cli" "$bin/beamora-receiver" | grep -e 'not found' -e "$build_dir"
}
check "the programs find their libraries in the unpacked tree only" runpaths

# Depends names exactly the packages of the libraries the package's programs and libraries link
# (its own private libraries aside): computed, nothing typed by hand, nothing missing.
depends_match_binaries() {  # depends_match_binaries LIST DEB
    local elves=() libs patterns=() lib
    while IFS= read -r path; do
        [ -L "$root$path" ] || elves+=("$root$path")
    done < <(grep -E '^/usr/(bin|lib)/' "$work/$1.files")
    libs=$(for elf in "${elves[@]}"; do readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; done |
        sort -u | grep -v -e '^libtarrowlink\.' -e '^libvitrex\.')
    for lib in $libs; do patterns+=("$multiarch/$lib"); done
    local from_binaries from_control
    from_binaries=$(dpkg -S "${patterns[@]}" 2>/dev/null | while IFS= read -r line; do
        for lib in $libs; do
            case "$line" in *"/$multiarch/$lib") echo "${line%%:*}" ;; esac
        done
    done | sort -u)
    from_control=$(field "$2" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g' | sort -u)
    [ -n "$from_binaries" ] && [ "$from_binaries" = "$from_control" ] || {
        diff <(echo "$from_binaries") <(echo "$from_control") | sed 's/^/  linked<  >Depends: /'
        return 1
    }
}
check "beamora's dependencies are those of its binaries" \
    depends_match_binaries presenter "$presenter_deb"
check "beamora-receiver's dependencies are those of its binary" \
    depends_match_binaries receiver "$receiver_deb"
cd /
check "beamora-cli --version" test "$("$bin/beamora-cli" --version)" = "beamora-cli $version"
check "beamora-receiver --version" \
    test "$("$bin/beamora-receiver" --version)" = "beamora-receiver $version"

# The options and environment variables --help names are those of the manual page's synopsis,
# commands, options and environment (its other sections may name others: systemctl's, say).
names() { grep -oE -- '--[a-z][a-z-]*|BEAMORA_[A-Z_]+' | sort -u; }
page_names() {
    MANWIDTH=1000 man -l "$1" 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g; s/.\x08//g; s/‐/-/g' |
        awk '/^[A-Z][A-Z ]*$/ { keep = ($0 ~ /^(SYNOPSIS|COMMANDS|OPTIONS|ENVIRONMENT)$/); next }
             keep' | names
}
help_agrees() {  # help_agrees PAGE COMMAND...: each COMMAND prints a part of the help
    local page=$1
    shift
    local help=""
    while [ $# -gt 0 ]; do help+=$(eval "$1")$'\n'; shift; done
    local from_help from_page
    from_help=$(names <<<"$help")
    from_page=$(page_names "$page")
    [ -n "$from_help" ] && [ "$from_help" = "$from_page" ] || {
        diff <(echo "$from_help") <(echo "$from_page") | sed 's/^/  help<  >page: /'
        return 1
    }
}
man1=$root/usr/share/man/man1
check "beamora-cli --help and its manual page name the same options" help_agrees \
    "$man1/beamora-cli.1.gz" '"$bin/beamora-cli" --help' '"$bin/beamora-cli" list --help' \
    '"$bin/beamora-cli" present --help'
check "beamora-receiver --help and its manual page name the same options" help_agrees \
    "$man1/beamora-receiver.1.gz" '"$bin/beamora-receiver" --help'
check "beamora's manual page documents the desktop entry's --about" \
    bash -c 'grep -q "^Exec=beamora --about" "$1" && man -l "$2" 2>/dev/null | grep -q -- "--about"' _ \
    "$root/usr/share/applications/beamora.desktop" "$man1/beamora.1.gz"

# A private X display, a receiver on free loopback ports, all from the unpacked tree.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
export BEAMORA_CONTROL_PORT BEAMORA_DATA_PORT
BEAMORA_CONTROL_PORT=$(free_port)
BEAMORA_DATA_PORT=$(free_port)
while [ "$BEAMORA_DATA_PORT" = "$BEAMORA_CONTROL_PORT" ]; do BEAMORA_DATA_PORT=$(free_port); done
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/displayfd" \
    </dev/null >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q . "$work/displayfd" 2>/dev/null && break; sleep 0.1; done
check "Xvfb starts" grep -q . "$work/displayfd"
DISPLAY=:$(head -n 1 "$work/displayfd")
export DISPLAY
"$bin/beamora-receiver" --name "package check" --bind 127.0.0.1 --beacon-to 127.0.0.1 \
    --snapshot "$work/picture.png" </dev/null >/dev/null 2>"$work/receiver.log" &
receiver=$!
pids+=("$receiver")
await() {  # await FILE PATTERN [SECONDS]: waits until FILE has a line matching PATTERN
    for _ in $(seq $((${3:-10} * 10))); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
check "beamora-receiver starts from the unpacked tree" await "$work/receiver.log" '^receiver: "package check"' 10

presented() {
    "$bin/beamora-cli" present --receiver 127.0.0.1 --duration 2 2>"$work/cli.log" &&
        grep -q "MSG_START_REQUEST: SERVER_START" "$work/receiver.log" &&
        await "$work/receiver.log" "^data: connection from .* after [1-9][0-9]* units" 5
}
if presented; then
    pass "beamora-cli presents this display on beamora-receiver from the unpacked tree"
else
    fail "beamora-cli presents this display on beamora-receiver from the unpacked tree"
    sed 's/^/  cli: /' "$work/cli.log"
    tail -n 20 "$work/receiver.log" | sed 's/^/  receiver: /'
fi

# The presenter: its skin from the unpacked share/beamora, then the search, login and start.
starts_before=$(grep -c "MSG_START_REQUEST: SERVER_START" "$work/receiver.log")
BEAMORA_DEBUG=1 LANG=C LC_ALL=C "$bin/beamora" </dev/null >"$work/presenter.log" 2>&1 &
presenter=$!
pids+=("$presenter")
presenter_plays() {
    await "$work/presenter.log" "Beamora: status 4008" 25 &&
        [ "$(grep -c "MSG_START_REQUEST: SERVER_START" "$work/receiver.log")" -gt "$starts_before" ]
}
if presenter_plays; then
    pass "beamora loads its skin, finds the receiver and presents, from the unpacked tree"
else
    fail "beamora loads its skin, finds the receiver and presents, from the unpacked tree"
    tail -n 20 "$work/presenter.log" | sed 's/^/  beamora: /'
fi
kill "$presenter" "$receiver" 2>/dev/null
wait "$presenter" "$receiver" 2>/dev/null

# --- the validators ------------------------------------------------------------------------------
if lintian --fail-on error,warning "$presenter_deb" "$receiver_deb" >"$work/lintian.log" 2>&1; then
    pass "lintian: no errors or warnings"
else
    fail "lintian: no errors or warnings"
    sed 's/^/  /' "$work/lintian.log"
fi
check "desktop-file-validate on the shipped desktop entry" \
    bash -c '! desktop-file-validate "$1" 2>&1 | grep .' _ "$root/usr/share/applications/beamora.desktop"
# validate-tree also finds the desktop entry the metadata launches.
metadata_valid() {
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.beamora.Beamora.metainfo.xml" \
        >"$work/appstream.log" 2>&1 &&
        appstreamcli validate-tree --no-net "$root" >>"$work/appstream.log" 2>&1 || {
        sed 's/^/  /' "$work/appstream.log"
        return 1
    }
}
check "appstreamcli validate and validate-tree on the shipped metadata" metadata_valid
# systemd-analyze verify looks for ExecStart's program and runs man for Documentation=: the
# program and the page are the unpacked ones. Any complaint fails, not only errors.
unit_verifies() {
    mkdir -p "$work/unit"
    sed "s|=/usr/bin/|=$bin/|" "$root/lib/systemd/system/beamora-receiver.service" \
        >"$work/unit/beamora-receiver.service"
    MANPATH=$root/usr/share/man systemd-analyze verify "$work/unit/beamora-receiver.service" \
        >"$work/verify.log" 2>&1 && [ ! -s "$work/verify.log" ] || {
        sed 's/^/  /' "$work/verify.log"
        return 1
    }
}
check "systemd-analyze verify on the shipped service" unit_verifies
# The sandbox stays tight: systemd's exposure level (0 to 10) at most 2.5, "OK".
unit_sandboxed() {
    systemd-analyze security --offline=yes --threshold=25 \
        "$work/unit/beamora-receiver.service" >"$work/security.log" 2>&1 || {
        grep -e '✗' -e 'Overall' "$work/security.log" | sed 's/^/  /'
        return 1
    }
}
check "systemd-analyze security: the service's exposure is low" unit_sandboxed

if [ "$failures" -gt 0 ]; then
    echo "packages: $failures check(s) failed"
    exit 1
fi
echo "packages: all checks passed"
