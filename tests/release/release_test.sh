#!/usr/bin/env bash
# The release's tests, on the committed HEAD (scripts/test runs them):
# - reproducible: two clones at paths of different lengths, released one after the other, give
#   the same Tamsrove.exe, zips, bill of materials and SHA256SUMS, byte for byte;
# - signed: a release signed with a throwaway certificate verifies against its CA, its exe still
#   ends with 0 on the installer's flag under Wine, and removing the signature gives back the
#   unsigned exe's bytes.
# Usage: tests/release/release_test.sh
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

work=$(mktemp -d "$ROOT/build/release-test.XXXXXX")
cleanup() {
    stop_services
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
pass() { log "PASS: $*"; }
fail() {
    log "FAIL: $*"
    failed=1
}

commit=$(git -C "$ROOT" rev-parse HEAD)
[ -z "$(git -C "$ROOT" status --porcelain)" ] ||
    log "note: uncommitted changes are not tested here; the release tests build commit ${commit:0:12}"
clone_and_release() {
    local dir=$1
    git clone -q --no-hardlinks "$ROOT" "$dir"
    git -C "$dir" checkout -q --detach "$commit"
    log "release in $dir"
    "$dir/scripts/release"
}
first="$work/a"
second="$work/a-second-clone-at-a-longer-path/b"
clone_and_release "$first"
clone_and_release "$second"

version=$(cat "$first/build/release/release-version.txt")
name="Tamsrove-$version-win-x64"
unsigned="$work/Tamsrove-unsigned.exe"
unzip -p "$first/dist/$name.zip" "$name/Tamsrove.exe" >"$unsigned"
unzip -p "$second/dist/$name.zip" "$name/Tamsrove.exe" >"$work/Tamsrove-second.exe"

# Reproducible: every file of dist/, and the program inside the zip, the same in both clones.
same=1
for file in "$first"/dist/* "$unsigned"; do
    other="$second/dist/${file##*/}"
    [ "$file" = "$unsigned" ] && other="$work/Tamsrove-second.exe"
    if ! cmp -s "$file" "$other"; then
        fail "reproducible: ${file##*/} differs between the two clones"
        same=0
    fi
    log "$(sha256sum "$file" | cut -c1-64) ${file##*/} (first)"
    log "$(sha256sum "$other" | cut -c1-64) ${file##*/} (second)"
done
[ "$same" -eq 1 ] && pass "reproducible: both clones give the same release"
if (cd "$first/dist" && sha256sum --quiet -c SHA256SUMS); then
    pass "SHA256SUMS matches the files"
else
    fail "SHA256SUMS does not match the files"
fi

# Contents: the program, its README and notices, and every file git tracks under installer/
# (the build may install more beside them).
missing=$(comm -23 <({ printf '%s\n' Tamsrove.exe README.txt THIRD-PARTY-NOTICES.txt
    git -C "$first" ls-files installer; } | sort) <(zipinfo -1 "$first/dist/$name.zip" | sed "s|^$name/||" | sort))
if [ -z "$missing" ]; then
    pass "contents: the program, README, notices and every installer kit's file"
else
    fail "contents: missing from the zip: $missing"
fi
# Symbols: the program carries no debug information, only the link to the file that does.
objdump=x86_64-w64-mingw32-objdump
unzip -p "$first/dist/$name-symbols.zip" "$name-symbols/Tamsrove.exe.debug" >"$work/Tamsrove.exe.debug"
if ! "$objdump" -h "$unsigned" | grep -q '\.debug_info' &&
    "$objdump" -s -j .gnu_debuglink "$unsigned" | grep -q 'Tamsrove.exe.d' &&
    "$objdump" -h "$work/Tamsrove.exe.debug" | grep -q '\.debug_info'; then
    pass "symbols: split off the program, which links to them"
else
    fail "symbols: the program keeps its debug information or lacks the link to it"
fi

# A throwaway CA and a code-signing certificate issued by it, in a password-protected PKCS#12.
pki="$work/pki"
mkdir -p "$pki"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tamsrove Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$pki/ca.key" -out "$pki/ca.crt" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Tamsrove Test Signer" \
    -keyout "$pki/signer.key" -out "$pki/signer.csr" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >"$pki/signer.ext"
openssl x509 -req -days 2 -in "$pki/signer.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" \
    -CAcreateserial -extfile "$pki/signer.ext" -out "$pki/signer.crt" 2>/dev/null
export TAMSROVE_SIGN_PASSWORD="throwaway $$"
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.crt" -out "$pki/signer.pfx" \
    -passout env:TAMSROVE_SIGN_PASSWORD

log "signed release in $first"
"$first/scripts/release" --sign "$pki/signer.pfx"
signed="$work/Tamsrove-signed.exe"
unzip -p "$first/dist/$name.zip" "$name/Tamsrove.exe" >"$signed"
if osslsigncode verify -CAfile "$pki/ca.crt" -in "$signed" >"$work/verify.log" 2>&1; then
    pass "signed: the signature verifies against the test CA"
else
    cat "$work/verify.log" >&2
    fail "signed: the signature does not verify"
fi
osslsigncode remove-signature -in "$signed" -out "$work/Tamsrove-removed.exe" >/dev/null
if cmp -s "$work/Tamsrove-removed.exe" "$unsigned"; then
    pass "signed: removing the signature gives back the unsigned bytes"
else
    fail "signed: without its signature the exe differs from the unsigned release's"
fi

# The signed program under Wine, played as an installer plays it: "0", start, "1", wait.
ensure_display
init_wine_prefix "$ROOT/build/release/wineprefix" desktop
start_wineserver
set_flag 0
wine "$signed" >/dev/null 2>&1 </dev/null &
program=$!
sleep 2
set_flag 1
code=0
for _ in $(seq 100); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$program" 2>/dev/null; then
    kill "$program"
    fail "signed: the program did not end within 10 s of the flag"
else
    wait "$program" || code=$?
    flag=$(read_flag)
    if [ "$code" -eq 0 ] && [[ $flag =~ ^REG_SZ[[:space:]]+0$ ]]; then
        pass "signed: the program ended with 0 on the flag and cleared it"
    else
        fail "signed: the program ended with $code, the flag reads: $flag"
    fi
fi

[ "$failed" -eq 0 ] || exit 1
