#!/bin/sh
# drvsetup.exe under Wine, one case a run (ctest runs each, see WineTests.cmake):
#   wine-tests.sh CASE DRVSETUP_EXE SCRIPTED_NEWDEV_DLL WORK_DIR
# CASE is install, refusals, rollback or reboot. WORK_DIR holds the Wine prefix the cases share
# (made on first use), the registry it started with, and one scratch folder per case.
#
# Each case restores that first registry, so Wine's device database holds no test device, and
# keeps one wineserver for its whole run: a new wineserver's desktop rewrites the Display class
# key, dropping the driver keys installed before it.
set -eu

case_name=$1
exe=$2
newdev=$3
work=$4
prefix=$work/prefix
dir=$work/cases/$case_name

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if ! command -v wine >/dev/null; then
    echo "wine-tests: wine is not installed (scripts/setup installs it)" >&2
    exit 1
fi

fail() {
    printf 'wine-tests %s: %s\n' "$case_name" "$*" >&2
    for f in out err; do [ -f "$dir/$f" ] && sed "s/^/  drvsetup $f: /" "$dir/$f" >&2; done
    exit 1
}

# A prefix made by another Wine version is made again rather than updated by each case.
version=$(wine --version)
if [ "$(cat "$work/first/wine-version" 2>/dev/null)" != "$version" ]; then
    rm -rf "$prefix" "$work/first" "$work/first.tmp"
    mkdir -p "$work/first.tmp"
    wine wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed, see $work/wineboot.log"
    wineserver -w
    cp "$prefix/system.reg" "$prefix/user.reg" "$prefix/userdef.reg" "$work/first.tmp/"
    echo "$version" >"$work/first.tmp/wine-version"
    mv "$work/first.tmp" "$work/first"
fi
wineserver -k 2>/dev/null || true
wineserver -w
cp "$work/first/"*.reg "$prefix/"
rm -rf "$dir"
mkdir -p "$dir"
wineserver -p30
trap 'wineserver -k 2>/dev/null || true' EXIT

# The Windows name of a Linux path (Wine's drive Z: is /).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# run FOLDER ARG...: drvsetup.exe (or $run_exe) in FOLDER; sets $status, output in $dir/out, err
# (without the CRs of Windows line ends).
run_exe=$exe
run() {
    status=0
    (cd "$1" && shift && wine "$run_exe" "$@") >"$dir/out.crlf" 2>"$dir/err.crlf" || status=$?
    without_cr
}
without_cr() { for f in out err; do tr -d '\r' <"$dir/$f.crlf" >"$dir/$f"; done; }
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"; }
expect_in() { grep -qF -- "$2" "$dir/$1" || fail "no '$2' on drvsetup's $1"; }
# A failure line with the step's name and the system's text for the error.
expect_failure() {
    grep -qE -- "^drvsetup: $1 failed: [A-Z][^(]+ \\(error $2\\)\$" "$dir/err" ||
        fail "no failure line for $1 with error $2 and its text"
}

# write_inf FILE HARDWARE-ID VALUE: a Display-class INF for a made-up device, with no files; its
# install section writes BeamoraTest=VALUE into the device's driver key.
write_inf() {
    printf '%s\r\n' '[Version]' 'Signature="$WINDOWS NT$"' 'Class=Display' \
        'ClassGUID={4d36e968-e325-11ce-bfc1-08002be10318}' 'Provider=%Maker%' \
        'DriverVer=01/01/2024,1.0.0.0' '' '[Manufacturer]' '%Maker%=Models,NTamd64' '' \
        '[Models.NTamd64]' "%Desc%=Install,$2" '' '[Install]' 'AddReg=Install.AddReg' '' \
        '[Install.AddReg]' "HKR,,BeamoraTest,,\"$3\"" '' '[Install.Services]' 'AddService=,2' '' \
        '[Strings]' 'Maker="Beamora Test"' 'Desc="Beamora Test Display"' >"$1"
}

root_devices() {
    wine reg query 'HKLM\System\CurrentControlSet\Enum\ROOT' /s | tr -d '\r'
}

# The root-enumerated devices carrying hardware identifier $1 (in any letter case), one line
# each: KEY<tab>DRIVER<tab>DEVICE-DESCRIPTION.
devices_with_id() {
    root_devices | awk -v id="$1" '
        function flush() { if (hit) print key "\t" driver "\t" desc }
        /^HKEY_/ { flush(); key = $0; hit = 0; driver = ""; desc = ""; next }
        { n = split($0, f, "    ") }
        n >= 4 && f[2] == "HardwareId" {
            m = split(f[4], ids, /\\0/)
            for (i = 1; i <= m; i++) if (toupper(ids[i]) == toupper(id)) hit = 1
        }
        n >= 4 && f[2] == "Driver" { driver = f[4] }
        n >= 4 && f[2] == "DeviceDesc" { desc = f[4] }
        END { flush() }'
}

# driver_value DRIVER NAME: a value of the device's driver key under the class key.
driver_value() {
    wine reg query "HKLM\\System\\CurrentControlSet\\Control\\Class\\$1" /v "$2" 2>/dev/null |
        tr -d '\r' | awk -v name="$2" '{ split($0, f, "    ") } f[2] == name { print f[4] }'
}

case_install() {
    id='ROOT\BEAMORA_TEST_DISPLAY'
    drivers="$dir/My Drivers"
    mkdir -p "$drivers"
    write_inf "$drivers/beamora-test.inf" "$id" installed
    inf=$(winpath "$drivers/beamora-test.inf")

    # An unquoted path with a space: Wine joins the two words with one space.
    run "$dir" "${inf%% *}" "${inf#* }" "$id"
    expect_status 0 "first run"
    expect_in out "created a Display device for $id"
    devices=$(devices_with_id "$id")
    [ "$(printf '%s\n' "$devices" | grep -c .)" -eq 1 ] || fail "not one device for $id: $devices"
    driver=$(printf '%s' "$devices" | cut -f2)
    [ -n "$driver" ] || fail "the new device has no driver: $devices"
    [ "$(printf '%s' "$devices" | cut -f3)" = "Beamora Test Display" ] || fail "description: $devices"
    [ "$(driver_value "$driver" BeamoraTest)" = installed ] || fail "install section did not run"

    # The device is found and its driver installed again from the changed INF, relative path.
    write_inf "$drivers/beamora-test.inf" "$id" updated
    run "$drivers" '.\beamora-test.inf' "$id"
    expect_status 0 "second run"
    expect_in out "updated the driver of the devices with $id from $inf"
    [ "$(devices_with_id "$id")" = "$devices" ] || fail "second run changed the devices"
    [ "$(driver_value "$driver" BeamoraTest)" = updated ] || fail "second run did not reinstall"

    # Found in another letter case too, no second device.
    run "$drivers" beamora-test.inf 'root\beamora_test_display'
    expect_status 0 "third run"
    expect_in out "updated the driver"
    [ "$(devices_with_id "$id")" = "$devices" ] || fail "third run changed the devices"
}

case_refusals() {
    before=$(root_devices)
    run "$dir"
    expect_status 1 "no words"
    expect_in err "usage: drvsetup INF-PATH HARDWARE-ID"
    run "$dir" 'ROOT\BEAMORA_TEST_DISPLAY'
    expect_status 1 "one word"
    run "$dir" "$(winpath "$dir/missing.inf")" 'ROOT\BEAMORA_TEST_DISPLAY'
    expect_status 2 "missing INF"
    expect_failure FindFirstFileA 2
    long=$(printf '%02100d' 0)
    run "$dir" "C:\\$long.inf" 'ROOT\BEAMORA_TEST_DISPLAY'
    expect_status 2 "long path"
    expect_in err "longer than 2047 characters"
    [ "$(root_devices)" = "$before" ] || fail "the refused runs changed the root devices"
}

# A copy of drvsetup.exe beside the scripted newdev.dll, which it then loads instead of Wine's.
use_scripted_newdev() {
    mkdir -p "$dir/bin"
    cp "$exe" "$newdev" "$dir/bin/"
    run_exe="$dir/bin/$(basename "$exe")"
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;newdev=n"
}

case_rollback() {
    id='ROOT\BEAMORA_TEST_ROLLBACK'
    write_inf "$dir/rollback.inf" "$id" installed
    use_scripted_newdev
    run "$dir" rollback.inf "$id"
    expect_status 2 "failed install"
    expect_failure UpdateDriverForPlugAndPlayDevicesA 5
    expect_in err "removed the new device again"
    [ -z "$(devices_with_id "$id")" ] || fail "device left behind: $(devices_with_id "$id")"
}

case_reboot() {
    id='ROOT\BEAMORA_TEST_REBOOT'
    write_inf "$dir/reboot.inf" "$id" installed
    use_scripted_newdev
    # Linux sees only the low byte of an exit status; cmd.exe shows all of it.
    printf '@%%*\r\n@echo drvsetup exit status %%ERRORLEVEL%%\r\n' >"$dir/status.cmd"
    status=0
    (cd "$dir" && BEAMORA_NEWDEV=reboot wine cmd /c status.cmd "$(winpath "$run_exe")" \
        reboot.inf "$id") >"$dir/out.crlf" 2>"$dir/err.crlf" || status=$?
    without_cr
    expect_in out "restart Windows to complete the installation"
    expect_in out "drvsetup exit status 3010"
}

"case_$case_name"
echo "wine-tests $case_name: passed"
