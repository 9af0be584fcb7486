#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A release is built around the vendor's package or firmware image, and the build must stop when
# what it would place beside the program does not load; nor may a second build pass over it.
#
#   package-refusal-build.sh SOURCE_DIR UPDTOOL SCRATCH_DIR
#
# Configures the project in SCRATCH_DIR with a package, then with a firmware image, and runs the
# build's own generated rule for the package on good and on broken input. The rule's tool is
# UPDTOOL, already built, so the framework is never compiled here. Exit 0 only if every case
# went the expected way.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: package-refusal-build.sh SOURCE_DIR UPDTOOL SCRATCH_DIR" >&2
    exit 2
fi
source_dir=$1
updtool=$(realpath "$2")
scratch=$3

rm -rf "$scratch"
mkdir -p "$scratch"
build=$scratch/build
input_upd=$scratch/input.upd
input_syx=$scratch/input.syx
placed=$build/app/VELKOR_KX_7_UP.upd
log=$scratch/rule.log

failures=0
passed=0
ok() {
    passed=$((passed + 1))
    echo "  ok    $1"
}
fail() {
    failures=$((failures + 1))
    echo "  FAIL  $1"
    sed 's/^/        | /' "$log" 2>/dev/null | tail -n 12 || true
}

configure() {
    # Unix Makefiles: the rule is run from its generated makefile below.
    if ! cmake -S "$source_dir" -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
        -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_BENCHMARKS=OFF "$@" >"$scratch/configure.log" 2>&1; then
        cat "$scratch/configure.log"
        echo "package-refusal-build: the project does not configure" >&2
        exit 1
    fi
    # The rule names the tool by its place in this build; put the built one there.
    mkdir -p "$build/tools"
    ln -sf "$updtool" "$build/tools/updtool"
}

# The package rule alone, as the build runs it (its makefile also deletes what a failed rule
# leaves behind, like the real build does).
run_rule() {
    make -C "$build" --no-print-directory -f app/CMakeFiles/UpdatePackage.dir/build.make \
        app/VELKOR_KX_7_UP.upd >"$log" 2>&1
}

expect_placed() {
    local what=$1 expected=$2
    rm -f "$placed"
    if ! run_rule; then
        fail "$what: the build places it"
    elif ! cmp -s "$placed" "$expected"; then
        fail "$what: the package beside the program is the expected one"
    else
        ok "$what: the build places it"
    fi
}

# $2: a text the rule's output must contain, which shows what stopped it.
expect_refused() {
    local what=$1 reason=$2
    rm -f "$placed"
    if run_rule; then
        fail "$what: the build stops"
        return
    fi
    if ! grep -q -- "$reason" "$log"; then
        fail "$what: the build stops because of \"$reason\""
        return
    fi
    if [ -e "$placed" ]; then
        fail "$what: no package is left beside the program"
        return
    fi
    if run_rule; then
        fail "$what: a second build stops too"
        return
    fi
    ok "$what: the build stops (\"$reason\") and leaves no package"
}

# A SysEx image of 64 bytes under the non-commercial manufacturer ID.
python3 - "$input_syx" <<'EOF'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(bytes([0xF0, 0x7D]) + bytes(range(1, 61)) + bytes([0x00, 0xF7]))
EOF
good_syx=$scratch/good.syx
good_upd=$scratch/good.upd
cp "$input_syx" "$good_syx"
"$updtool" pack --device "VELKOR KX-7" --version 1.00 "$good_syx" "$good_upd" >/dev/null

# Writes a damaged copy of the good package to the input: python3 expression over bytes d.
damaged() {
    python3 - "$good_upd" "$input_upd" "$1" <<'EOF'
import sys
d = bytearray(open(sys.argv[1], "rb").read())
d = eval(sys.argv[3], {"d": d, "bytes": bytes})
open(sys.argv[2], "wb").write(bytes(d))
EOF
}

echo "== a finished package (TAVRIN_UPDATE_PACKAGE)"
cp "$good_upd" "$input_upd"
configure -DTAVRIN_UPDATE_PACKAGE="$input_upd"
expect_placed "a good package" "$good_upd"

damaged 'b"VELKOR KX-8".ljust(16, b"\0") + d[16:]'
expect_refused "a package for another device" "invalid:"
damaged 'd[:40] + bytes([d[40] ^ 0x01]) + d[41:]'
expect_refused "a package with one payload byte changed" "invalid:"
damaged 'd[:len(d) // 2]'
expect_refused "a package cut short" "invalid:"
damaged 'd[:-2]'
expect_refused "a package without its checksum" "invalid:"
damaged 'd[:16] + b"ver.1.00".ljust(16, b"\0") + d[32:]'
expect_refused "a package whose version lacks \"Ver.\"" "invalid:"
python3 - "$input_upd" <<'EOF'
import struct, sys
payload = bytes([0x90, 0x40, 0x7F])  # loads, but is no SysEx message: the transfer would refuse it
crc = 0
for b in payload:
    crc ^= b << 8
    for _ in range(8):
        crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
open(sys.argv[1], "wb").write(b"VELKOR KX-7".ljust(16, b"\0") + b"Ver.1.00".ljust(16, b"\0")
                              + struct.pack("<i", len(payload)) + payload + struct.pack("<H", crc))
EOF
expect_refused "a package whose payload is not SysEx" "not one SysEx message"
damaged 'd[:0]'
expect_refused "an empty file" "invalid:"
rm -f "$input_upd"
expect_refused "a package that is not there" "No rule to make target '$input_upd'"

echo "== a firmware image and its version (TAVRIN_FIRMWARE_IMAGE)"
cp "$good_syx" "$input_syx"
configure -DTAVRIN_UPDATE_PACKAGE= -DTAVRIN_FIRMWARE_IMAGE="$input_syx" -DTAVRIN_FIRMWARE_VERSION=1.00
expect_placed "a good image" "$good_upd"

head -c -1 "$good_syx" >"$input_syx"
expect_refused "an image without the closing F7" "not one SysEx message"
: >"$input_syx"
expect_refused "an empty image" "empty"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
