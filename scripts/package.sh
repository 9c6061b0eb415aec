#!/usr/bin/env bash
# Makes the release from a payload folder:
#   FILE.zip                one folder holding SetUp.exe, the add-on's files in Data\ beside it (where
#                           SetUp.exe looks for them) and a README.txt
#   Vornex-<version>.msi    beside the zip: the Windows Installer package (package/Vornex.wxs, built
#                           with wixl), which installs the same SetUp.exe and Data\ under Program
#                           Files and runs SetUp.exe /S
# The SetUp.exe of both carries the payload's manifest (each file's name, size and SHA-256) as a
# resource, put in by scripts/add-manifest.py: it refuses to install a payload that differs from it.
# SetUp.exe, then the MSI, are Authenticode-signed when a certificate is given. The build's
# `package_zip` target runs this with the build's settings; it can be run by hand as well.
#
# The MSI's ProductVersion must be major.minor.build (major and minor below 256, build below 65536):
# a version YYYY.MM.DD becomes (YYYY-2000).MM.DD, e.g. 2025.04.28 -> 25.4.28, which orders as the
# dates do until 2255. Its ProductCode is derived from the version (the same version, the same code);
# its UpgradeCode never changes.
#
# Usage: scripts/package.sh --exe SetUp.exe --payload DIR --version VERSION --out FILE.zip [--demo]
#   --demo   the payload is the repository's demo payload: README.txt says so in its first line
#            (also assumed whenever DIR is demo/payload)
# Signing, from the environment (the build passes its cache variables of the same names):
#   SETUP_SIGN_CERT           certificate: a PEM file (chain allowed) or a PKCS#12 file (.pfx/.p12)
#   SETUP_SIGN_KEY            private key (PEM) for a PEM certificate; not needed with PKCS#12,
#                             nor when the PEM certificate file holds the key too
#   SETUP_SIGN_PASS           password of the key or the PKCS#12 file, if any
#   SETUP_SIGN_TIMESTAMP_URL  RFC 3161 time-stamp server; off unless set (needs the network)
#   SOURCE_DATE_EPOCH         time stamp of the zip's entries (default: the last commit's time),
#                             so that the same inputs give the same zip
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

exe= payload= version= out= demo=0
while (($#)); do
  case $1 in
    --exe) exe=$2; shift 2 ;;
    --payload) payload=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --demo) demo=1; shift ;;
    *) echo "package: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$exe" ] && [ -n "$payload" ] && [ -n "$version" ] && [ -n "$out" ] || {
  echo "usage: $0 --exe SetUp.exe --payload DIR --version VERSION --out FILE.zip [--demo]" >&2
  exit 2
}
fail() { echo "package: $*" >&2; exit 1; }

[ -f "$exe" ] || fail "no SetUp.exe at $exe (build the SetUp target first)"
[ -d "$payload" ] || fail "the payload folder $payload does not exist (build setting SETUP_PAYLOAD_DIR)"
[ -n "$(find "$payload" -mindepth 1 -maxdepth 1 -type f -print -quit)" ] ||
  fail "the payload folder $payload holds no files"
# SetUp.exe copies the files of Data\ and nothing below it: a sub-folder would be left out of
# every installation without a word, so it is refused here.
sub=$(find "$payload" -mindepth 1 -maxdepth 1 ! -type f -print -quit)
[ -z "$sub" ] || fail "the payload folder holds $(basename "$sub"), which is not a plain file; SetUp.exe copies files only"
if [ "$(readlink -f "$payload")" = "$(readlink -f "$root/demo/payload")" ]; then
  demo=1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=VornexSetup-$version
top=$work/$name
mkdir -p "$top/Data"
cp -p "$payload"/* "$top/Data/"

# --- payload manifest, compiled into SetUp.exe as a resource ------------------------------------
manifest=$work/manifest.txt
{
  echo "Vornex payload manifest 1"
  (cd "$payload" && find . -mindepth 1 -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort) | while IFS= read -r f; do
    printf '%s %s %s\n' "$(sha256sum <"$payload/$f" | cut -c1-64)" "$(stat -c %s "$payload/$f")" "$f"
  done
} >"$manifest"
python3 "$root/scripts/add-manifest.py" "$exe" "$manifest" "$work/SetUp.exe" || fail "adding the manifest to SetUp.exe failed"
exe=$work/SetUp.exe
cp "$exe" "$top/SetUp.exe"

# --- Authenticode signature -------------------------------------------------------------------
cert=${SETUP_SIGN_CERT:-}
key=${SETUP_SIGN_KEY:-}
signed=no
if [ -n "$cert" ]; then
  command -v osslsigncode >/dev/null || fail "osslsigncode is missing (scripts/install-deps.sh)"
  [ -f "$cert" ] || fail "SETUP_SIGN_CERT: no file at $cert"
  args=(sign -h sha256 -n "Vornex SetUp")
  case $(tr 'A-Z' 'a-z' <<<"${cert##*.}") in
    pfx | p12) args+=(-pkcs12 "$cert") ;;
    *)
      if [ -z "$key" ]; then
        grep -q 'PRIVATE KEY-----' "$cert" || fail "SETUP_SIGN_KEY is not set and $cert holds no private key"
        key=$cert
      fi
      [ -f "$key" ] || fail "SETUP_SIGN_KEY: no file at $key"
      args+=(-certs "$cert" -key "$key")
      ;;
  esac
  if [ -n "${SETUP_SIGN_PASS:-}" ]; then
    # Through a private file, not the command line, which every local user can read.
    (umask 077 && printf '%s' "$SETUP_SIGN_PASS" >"$work/pass")
    args+=(-readpass "$work/pass")
  fi
  if [ -n "${SETUP_SIGN_TIMESTAMP_URL:-}" ]; then
    args+=(-ts "$SETUP_SIGN_TIMESTAMP_URL")
  fi
  # Signed after linking, stripping and the manifest: any later change to the file breaks the signature.
  osslsigncode "${args[@]}" -in "$exe" -out "$work/signed.exe" >"$work/sign.log" 2>&1 || {
    cat "$work/sign.log" >&2
    fail "signing SetUp.exe failed"
  }
  mv "$work/signed.exe" "$top/SetUp.exe"
  sign_args=("${args[@]}")
  signed=yes
  echo "package: SetUp.exe signed with $cert${SETUP_SIGN_TIMESTAMP_URL:+ (time-stamped by $SETUP_SIGN_TIMESTAMP_URL)}"
else
  echo "package: no certificate given (SETUP_SIGN_CERT): SetUp.exe is not signed"
fi
chmod 755 "$top/SetUp.exe"

# --- README.txt (UTF-8 with a byte-order mark and CRLF, so that Notepad shows it right) -------
{
  if [ "$demo" -eq 1 ]; then
    cat <<EOF
DEMO PACKAGE - NOT FOR DISTRIBUTION / 演示包，请勿分发

The files in Data\\ are demo files made for testing this installer; they are not the
Vornex add-on. Build the package with the real payload: cmake -D SETUP_PAYLOAD_DIR=<folder>.
Data\\ 中的文件是测试安装程序用的演示文件，不是 Vornex 插件本身。

EOF
  fi
  cat <<EOF
Vornex 批打印软件 $version

安装：解压后运行 SetUp.exe。Data 文件夹必须留在 SetUp.exe 旁边。
Install: unpack the whole folder, then run SetUp.exe. Keep the Data folder beside SetUp.exe.
EOF
} | sed 's/$/\r/' | { printf '\xef\xbb\xbf'; cat; } >"$top/README.txt"

# --- MSI --------------------------------------------------------------------------------------------
command -v wixl >/dev/null && command -v wixl-heat >/dev/null || fail "wixl is missing (scripts/install-deps.sh)"
IFS=. read -r v_year v_month v_day v_rest <<<"$version"
[[ $v_year =~ ^[0-9]+$ && $v_month =~ ^[0-9]+$ && $v_day =~ ^[0-9]+$ && -z $v_rest ]] ||
  fail "version $version is not YEAR.MONTH.DAY: no MSI version can be made from it"
msi_major=$((10#$v_year >= 2000 ? 10#$v_year - 2000 : 10#$v_year))
msi_version=$msi_major.$((10#$v_month)).$((10#$v_day))
((msi_major < 256 && 10#$v_month < 256 && 10#$v_day < 65536)) || fail "MSI version $msi_version out of range"
upgrade_code=6f1d2b9e-3c1a-4b8e-9d5e-2a7b0c4e8f11
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Vornex " + sys.argv[2])).upper())' \
  "$upgrade_code" "$msi_version")
msi=$(dirname "$out")/Vornex-$version.msi
mkdir -p "$(dirname "$out")"
(cd "$top" && find Data -type f | LC_ALL=C sort |
  wixl-heat --prefix Data/ --directory-ref DATADIR --component-group Payload --var var.DataDir --win64 \
  >"$work/payload.wxs") || fail "wixl-heat failed"
# wixl takes sources relative to where it runs only.
(cd "$top" && wixl -a x64 -D Version="$msi_version" -D ProductCode="$product_code" -D Win64=yes \
  -D SetUpExe=SetUp.exe -D DataDir=Data -o "$work/out.msi" "$root/package/Vornex.wxs" "$work/payload.wxs" \
  >"$work/wixl.log" 2>&1 && [ -s "$work/out.msi" ]) || { cat "$work/wixl.log" >&2; fail "wixl failed"; }
msi_signed=no
if [ "$signed" = yes ]; then
  osslsigncode "${sign_args[@]}" -in "$work/out.msi" -out "$work/signed.msi" >"$work/sign.log" 2>&1 || {
    cat "$work/sign.log" >&2
    fail "signing the MSI failed"
  }
  mv "$work/signed.msi" "$work/out.msi"
  msi_signed=yes
fi
rm -f "$work/pass"
mv -f "$work/out.msi" "$msi"
echo "package: $msi (ProductVersion $msi_version, ProductCode {$product_code}, signed: $msi_signed)"

# --- zip ------------------------------------------------------------------------------------------
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
find "$top" -exec touch -h -d "@$stamp" {} +
mkdir -p "$(dirname "$out")"
# Sorted names and no extra attributes (-X): the same inputs make the same bytes.
(cd "$work" && find "$name" | LC_ALL=C sort | zip -X -q -@ "$work/out.zip") || fail "zip failed"
mv -f "$work/out.zip" "$out"

echo "package: $out ($(stat -c %s "$out") bytes; SetUp.exe $(stat -c %s "$top/SetUp.exe") bytes," \
  "signed: $signed; payload: $(find "$top/Data" -type f | wc -l) files from $payload$( ((demo)) && echo ', DEMO'))"
