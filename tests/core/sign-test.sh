#!/bin/bash
# tools/sign with a code-signing certificate made here: signs copies of the
# shipped SETUP1.EXE, of this build's SETUP1.EXE and of SETUP2.EXE into
# BUILD_DIR/signed (for the image test, an end-to-end run and the checker,
# with CHANGED.EXE, a program changed after signing), and SETUP2.EXE once
# more through the script's own sign command; a wrong key, a wrong password,
# a certificate that is not for code signing and a file that is no program
# leave the files as they were, exit code 1.
# usage: sign-test.sh BUILD_DIR SHIPPED_SETUP1 SETUP1 SETUP2 MAKENSIS
set -u
build=$1 shipped=$2 setup1=$3 setup2=$4 makensis=$5
here=$(cd "$(dirname "$0")/../.." && pwd)
out=$build/signed
rm -rf "$out"
mkdir -p "$out/shipped" "$out/keys"
failures=0
failed() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
keys=$out/keys
# A web server's certificate signs, but its signature does not verify.
for name in builder:codeSigning other:codeSigning web:serverAuth; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ZEV media ${name%:*}" -keyout "$keys/${name%:*}.key" \
    -out "$keys/${name%:*}.pem" -addext "extendedKeyUsage=${name#*:}" >/dev/null 2>&1 || failed "openssl req $name"
done
openssl pkcs12 -export -in "$keys/builder.pem" -inkey "$keys/builder.key" -out "$keys/builder.p12" \
  -passout pass:right >/dev/null 2>&1 || failed "openssl pkcs12"
sign=("$here/tools/sign" --cert "$keys/builder.pem" --key "$keys/builder.key")
verified() { osslsigncode verify -in "$1" -CAfile "$keys/builder.pem" 2>&1 | grep -c '^Signature verification: ok'; }

cp "$shipped" "$out/shipped/SETUP1.EXE"
cp "$setup1" "$out/SETUP1.EXE"
cp "$setup2" "$out/SETUP2.EXE"
for file in "$out/shipped/SETUP1.EXE" "$out/SETUP1.EXE" "$out/SETUP2.EXE"; do
  said=$("${sign[@]}" "$file" 2>&1) || failed "tools/sign $file: $said"
  grep -q "^signed $file (SHA-256, CN = ZEV media builder): signature verified$" <<<"$said" ||
    failed "tools/sign $file said: $said"
  [ "$(verified "$file")" = 1 ] || failed "$file: wanted one verified signature, got $(verified "$file")"
done
# Signing again replaces the signature.
size=$(stat -c %s "$out/SETUP1.EXE")
"${sign[@]}" "$out/SETUP1.EXE" >/dev/null 2>&1 || failed "tools/sign a second time"
[ "$(stat -c %s "$out/SETUP1.EXE")" = "$size" ] && [ "$(verified "$out/SETUP1.EXE")" = 1 ] ||
  failed "signed twice: $(stat -c %s "$out/SETUP1.EXE") bytes (wanted $size), $(verified "$out/SETUP1.EXE") signatures"
# A program changed after signing: a byte of its code.
cp "$out/SETUP1.EXE" "$out/CHANGED.EXE"
printf '\xCC' | dd of="$out/CHANGED.EXE" bs=1 seek=1100 conv=notrunc 2>/dev/null

# Refused: each leaves every file byte for byte as it was.
printf '[phasetwo]\r\n' >"$out/SETUP1.INF"
cp "$setup1" "$out/UNSIGNED.EXE"
refused() {  # refused PATTERN FILE COMMAND...
  local pattern=$1 file=$2
  shift 2
  cp "$file" "$out/kept"
  local said status
  said=$("$@" 2>&1)
  status=$?
  [ "$status" = 1 ] && grep -q -- "$pattern" <<<"$said" && cmp -s "$file" "$out/kept" ||
    failed "$*: status $status (wanted 1), file changed: $(cmp -s "$file" "$out/kept" && echo no || echo yes), said: $said"
}
refused 'the key does not belong' "$out/SETUP1.EXE" "$here/tools/sign" --cert "$keys/builder.pem" \
  --key "$keys/other.key" "$out/SETUP1.EXE"
refused 'does not verify' "$out/SETUP1.EXE" "$here/tools/sign" --cert "$keys/web.pem" --key "$keys/web.key" \
  "$out/SETUP1.EXE"
refused 'is no program' "$out/SETUP1.INF" "${sign[@]}" "$out/SETUP1.INF"
refused 'is no program' "$out/UNSIGNED.EXE" "${sign[@]}" "$out/UNSIGNED.EXE" "$out/SETUP1.INF"
refused 'wrong password' "$out/SETUP1.EXE" env PASSWORD=wrong "$here/tools/sign" --pkcs12 "$keys/builder.p12" \
  --password-env PASSWORD "$out/SETUP1.EXE"
said=$(PASSWORD=right "$here/tools/sign" --pkcs12 "$keys/builder.p12" --password-env PASSWORD "$out/UNSIGNED.EXE" 2>&1)
[ "$(verified "$out/UNSIGNED.EXE")" = 1 ] || failed "signed with PKCS#12: $said"
rm -f "$out/kept" "$out/UNSIGNED.EXE"

# The sample second phase signs itself and its uninstaller when the build
# gives it a sign command.
said=$("$makensis" -V2 -WX "-DOUTFILE=$out/SETUP2-NSIS.EXE" \
  "-DSIGN_COMMAND=\"$here/tools/sign\" --cert \"$keys/builder.pem\" --key \"$keys/builder.key\"" \
  "$here/medium/setup2/setup2.nsi" 2>&1) || failed "makensis with a sign command: $said"
[ "$(grep -c '^signed .*: signature verified$' <<<"$said")" = 2 ] ||
  failed "makensis: wanted the installer and the uninstaller signed, said: $said"
[ "$(verified "$out/SETUP2-NSIS.EXE")" = 1 ] || failed "SETUP2-NSIS.EXE is not signed"
exit $((failures > 0))
