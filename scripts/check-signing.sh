#!/usr/bin/env bash
# Checks the package and its optional Authenticode signature with throwaway certificates made here
# by openssl (nothing leaves the temporary folder):
#   - `package_zip` with a PEM certificate and key given through the environment: the zip's
#     SetUp.exe carries a signature that osslsigncode verifies against that certificate, and that
#     fails against another certificate and once a byte of the signed file is changed;
#   - scripts/package.sh with a password-protected PKCS#12 file: signed and verifiable as well;
#   - `package_zip` without a certificate: layout (one top folder with SetUp.exe, Data\ holding
#     every payload file byte for byte, README.txt marked DEMO for the demo payload) and no
#     signature at all. This run comes last, so the build keeps its unsigned package.
# Usage: scripts/check-signing.sh   Environment: BUILD_DIR (default build/win64, the win64 preset's)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build/win64}
jobs=${JOBS:-2}

for tool in osslsigncode openssl zip python3 wixl msiinfo; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)"; exit 1; }
done
if [ "$build" = build/win64 ]; then
  cmake --preset win64 >/dev/null || exit 1
else
  cmake -S . -B "$build" --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || exit 1
fi
cmake --build "$build" -j "$jobs" --target SetUp >/dev/null || { echo "building SetUp failed"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
payload=$(sed -n 's/^SETUP_PAYLOAD_DIR:PATH=//p' "$build/CMakeCache.txt")
zip=$build/VornexSetup-$version.zip
msi=$build/Vornex-$version.msi
top=VornexSetup-$version

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failed=1; }

# Throwaway certificates: the signer's, and a stranger's that must not verify it.
make_cert() {  # name
  openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=Vornex test signer $1" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/$1.key" -out "$work/$1.pem" >/dev/null 2>&1
}
make_cert signer && make_cert stranger || { echo "openssl could not make a certificate"; exit 1; }
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" -passout pass:'s3cret pass' \
  -out "$work/signer.pfx" >/dev/null 2>&1 || { echo "openssl could not make a PKCS#12 file"; exit 1; }

# Python's zipfile reads the zips (unzip is not among the build's packages).
unpack() {  # zip folder
  rm -rf "$2" && mkdir -p "$2" && python3 -m zipfile -e "$1" "$2"
}
verify() {  # exe cert
  osslsigncode verify -CAfile "$2" -in "$1" >"$work/verify.log" 2>&1 &&
    grep -q '^Signature verification: ok' "$work/verify.log"
}
expect_signed() {  # exe label
  if verify "$1" "$work/signer.pem"; then pass "$2: signature verifies against the signing certificate"
  else fail "$2: no verifiable signature"; sed 's/^/    /' "$work/verify.log"; fi
  if verify "$1" "$work/stranger.pem"; then fail "$2: signature also verifies against an unrelated certificate"
  else pass "$2: signature does not verify against an unrelated certificate"; fi
}

# 1. The build's target, certificate and key from the environment.
echo "== package_zip with a PEM certificate"
if SETUP_SIGN_CERT=$work/signer.pem SETUP_SIGN_KEY=$work/signer.key \
    cmake --build "$build" --target package_zip >"$work/build.log" 2>&1; then
  unpack "$zip" "$work/pem"
  exe=$work/pem/$top/SetUp.exe
  expect_signed "$exe" "PEM"
  expect_signed "$msi" "MSI (PEM)"
  # A changed byte inside the signed image (the middle of the code, not the signature) must be
  # caught: the signature covers the file, not just its presence.
  cp "$exe" "$work/tampered.exe"
  offset=$(($(stat -c %s "$exe") / 3))
  printf '\x5a' | dd of="$work/tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
  if cmp -s "$exe" "$work/tampered.exe"; then
    printf '\xa5' | dd of="$work/tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
  fi
  if verify "$work/tampered.exe" "$work/signer.pem"; then fail "PEM: a changed byte still verifies"
  else pass "PEM: a changed byte breaks the signature"; fi
else
  fail "package_zip with a certificate failed"; sed 's/^/    /' "$work/build.log"
fi

# 2. The script itself with a PKCS#12 file and its password.
echo "== package.sh with a PKCS#12 file and a password"
if SETUP_SIGN_CERT=$work/signer.pfx SETUP_SIGN_PASS='s3cret pass' bash scripts/package.sh \
    --exe "$build/src/SetUp.exe" --payload "$payload" --version "$version" --out "$work/pfx.zip" \
    >"$work/pfx.log" 2>&1; then
  unpack "$work/pfx.zip" "$work/pfx"
  expect_signed "$work/pfx/$top/SetUp.exe" "PKCS#12"
else
  fail "package.sh with a PKCS#12 file failed"; sed 's/^/    /' "$work/pfx.log"
fi
if SETUP_SIGN_CERT=$work/signer.pfx SETUP_SIGN_PASS='wrong' bash scripts/package.sh \
    --exe "$build/src/SetUp.exe" --payload "$payload" --version "$version" --out "$work/bad.zip" \
    >"$work/bad.log" 2>&1; then
  fail "package.sh made a package with a wrong certificate password"
else
  [ -e "$work/bad.zip" ] && fail "a zip was left behind after signing failed" ||
    pass "a wrong password stops the package"
fi

# 3. No certificate: the unsigned package the build keeps.
echo "== package_zip without a certificate"
if env -u SETUP_SIGN_CERT -u SETUP_SIGN_KEY -u SETUP_SIGN_PASS \
    cmake --build "$build" --target package_zip >"$work/build.log" 2>&1; then
  grep -q 'not signed' "$work/build.log" && pass "the build says that it does not sign" ||
    fail "no message about the skipped signature"
  unpack "$zip" "$work/plain"
  exe=$work/plain/$top/SetUp.exe
  if osslsigncode verify -in "$exe" >"$work/verify.log" 2>&1 || ! grep -q 'No signature found' "$work/verify.log"; then
    fail "the unsigned package's SetUp.exe has a signature"; sed 's/^/    /' "$work/verify.log"
  else
    pass "unsigned: no signature in SetUp.exe"
  fi
  # The security directory (data directory entry 4) is empty too: no certificate table at all.
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  if grep -qE '^Entry 4 0+ 0+ Security Directory' <<<"$headers"; then
    pass "unsigned: empty certificate table"
  else
    fail "unsigned: the certificate table is not empty"
  fi
  # The built file with the payload's manifest as a resource, and nothing else: made again here from
  # the payload with sha256sum, it must give the same bytes.
  {
    echo "Vornex payload manifest 1"
    (cd "$payload" && find . -mindepth 1 -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort) | while IFS= read -r f; do
      printf '%s %s %s\n' "$(sha256sum <"$payload/$f" | cut -c1-64)" "$(stat -c %s "$payload/$f")" "$f"
    done
  } >"$work/manifest.txt"
  python3 scripts/add-manifest.py "$build/src/SetUp.exe" "$work/manifest.txt" "$work/expected.exe" &&
    cmp -s "$exe" "$work/expected.exe" && pass "unsigned: SetUp.exe is the built file with the payload's manifest" ||
    fail "unsigned: SetUp.exe is not $build/src/SetUp.exe with the payload's manifest"
  if [ -f "$msi" ] && osslsigncode verify -in "$msi" >"$work/verify.log" 2>&1; then
    fail "the unsigned package's MSI has a signature"
  elif [ -f "$msi" ] && [ "$(msiinfo export "$msi" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')" = \
       "$(awk -F. '{ printf "%d.%d.%d", $1 - 2000, $2, $3 }' <<<"$version")" ]; then
    pass "unsigned: the MSI beside the zip, ProductVersion from the version, no signature"
  else
    fail "no MSI beside the zip, or its ProductVersion is not made from $version"
  fi
  # Layout: one top folder; SetUp.exe, README.txt and Data\ in it; Data\ is the payload exactly.
  tops=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip" |
         cut -d/ -f1 | sort -u)
  [ "$tops" = "$top" ] && pass "one top folder $top" || fail "top-level entries: $(echo $tops)"
  for f in SetUp.exe README.txt Data; do
    [ -e "$work/plain/$top/$f" ] || fail "$top/$f is missing"
  done
  if diff -r "$payload" "$work/plain/$top/Data" >"$work/diff.log"; then
    pass "Data holds the payload ($(ls "$payload" | wc -l) files) byte for byte"
  else
    fail "Data differs from the payload $payload"; sed 's/^/    /' "$work/diff.log"
  fi
  is_demo=0
  [ "$(readlink -f "$payload")" = "$root/demo/payload" ] && is_demo=1
  if head -1 "$work/plain/$top/README.txt" | grep -q 'DEMO'; then
    ((is_demo)) && pass "README.txt opens with DEMO" || fail "README.txt says DEMO for a real payload"
  else
    ((is_demo)) && fail "README.txt does not say DEMO for the demo payload" || pass "README.txt: not a demo"
  fi
else
  fail "package_zip without a certificate failed"; sed 's/^/    /' "$work/build.log"
fi

if [ "$failed" -eq 0 ]; then echo "signing and package checks: ok"; else echo "signing and package checks: FAILED"; fi
[ "$failed" -eq 0 ]
