#!/usr/bin/env bash
# The build's Authenticode signing (cmake/SignFile.cmake, as the build runs it)
# on copies of Lumivox.exe and the installer, with a throwaway CA and signing
# certificate made here, checked with osslsigncode against that CA:
#   signing-test.sh <Lumivox.exe> <installer> <source dir>
set -euo pipefail
program=$1 installer=$2 source=$3
dir=$(mktemp -d /tmp/lumivox-signing-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A CA, and a code-signing certificate it issued; a second CA nobody trusts.
for ca in ca other; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout $ca.key -out $ca.pem -days 2 \
    -subj "/CN=Lumivox throwaway $ca" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
done
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Lumivox test signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext \
  -out signer.pem 2>/dev/null
echo -n 'throwaway password' >password.txt
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout file:password.txt \
  -out signer.p12 2>/dev/null

# sign <file> [VAR=value...]: the build's signing step, with the settings in the environment.
sign() {
  local file=$1; shift
  env -u LUMIVOX_SIGN_CERT -u LUMIVOX_SIGN_KEY -u LUMIVOX_SIGN_PASSWORD_FILE -u LUMIVOX_SIGN_TIMESTAMP_URL \
    "$@" cmake -DOSSLSIGNCODE="$(command -v osslsigncode)" -P "$source/cmake/SignFile.cmake" "$file"
}
verify() { osslsigncode verify -CAfile "${2:-ca.pem}" -in "$1"; }

# No certificate: the file is left as it was, and the build says so.
cp "$program" unsigned.exe
out=$(sign unsigned.exe)
grep -q "unsigned.exe is NOT signed" <<<"$out" || fail "no 'not signed' note: $out"
cmp -s "$program" unsigned.exe || fail "an unsigned build was changed"
verify unsigned.exe >/dev/null 2>&1 && fail "an unsigned file verified"

# Each way of giving the key signs a file that verifies against the CA.
cases=(
  "Lumivox.exe|$program|LUMIVOX_SIGN_CERT=signer.pem LUMIVOX_SIGN_KEY=signer.key"
  "setup.exe|$installer|LUMIVOX_SIGN_CERT=signer.pem LUMIVOX_SIGN_KEY=signer.key"
  "p12.exe|$program|LUMIVOX_SIGN_CERT=signer.p12 LUMIVOX_SIGN_PASSWORD_FILE=password.txt"
)
for case in "${cases[@]}"; do
  IFS='|' read -r name original settings <<<"$case"
  cp "$original" "$name"
  # shellcheck disable=SC2086
  sign "$name" $settings >/dev/null || { fail "$name: signing failed"; continue; }
  if out=$(verify "$name" 2>&1); then
    echo "== osslsigncode verify -CAfile ca.pem -in $name"
    grep -E "Subject:|Issuer :|Message digest algorithm  |Signature verification|Number of verified|Succeeded" <<<"$out"
  else
    fail "$name does not verify: $out"
  fi
  verify "$name" other.pem >/dev/null 2>&1 && fail "$name verified against a CA that did not issue its certificate"
done

# Signed again (a second build step over the same file): still one signature that verifies.
sign Lumivox.exe LUMIVOX_SIGN_CERT=signer.pem LUMIVOX_SIGN_KEY=signer.key >/dev/null
out=$(verify Lumivox.exe 2>&1) || fail "re-signed file does not verify: $out"
grep -q "Number of verified signatures: 1" <<<"$out" || fail "re-signing nested a second signature: $out"

# One byte of the program changed after signing: the signature no longer holds.
cp Lumivox.exe tampered.exe
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(0x1000); b = f.read(1)[0]; f.seek(0x1000); f.write(bytes([b ^ 0xFF]))' tampered.exe
verify tampered.exe >/dev/null 2>&1 && fail "a changed file still verified"

# A certificate without its key stops the build.
cp "$program" nokey.exe
sign nokey.exe LUMIVOX_SIGN_CERT=signer.pem >/dev/null 2>&1 && fail "signing without a key did not fail"

[ "$failures" -eq 0 ] && echo "all signing cases passed"
exit "$failures"
