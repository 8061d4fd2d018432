#!/usr/bin/env bash
# Makes the certificates and keys the tests use, fresh on every build, so no
# key material is ever checked in.
#   make-certs.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
pass="test pass phrase"
echo -n "$pass" > passphrase.txt

ca() { # name subject
  openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 3650 -keyout "$1.key" -out "$1.pem" \
    -subj "$2" -utf8 -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
leaf() { # name subject ca extensions
  openssl req -newkey rsa:2048 -sha256 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" -utf8 2>/dev/null
  printf '%s\n' "$4" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 3650 -sha256 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

server_ext='subjectAltName=IP:127.0.0.1,DNS:localhost
extendedKeyUsage=serverAuth'
client_ext='extendedKeyUsage=clientAuth
keyUsage=digitalSignature,keyEncipherment'

ca ca "/C=RU/O=Тестовый удостоверяющий центр/CN=Test CA"
ca rogue-ca "/C=RU/O=Rogue/CN=Rogue CA"
leaf server "/C=RU/O=Test/CN=localhost" ca "$server_ext"
leaf rogue-server "/C=RU/O=Rogue/CN=localhost" rogue-ca "$server_ext"
leaf wronghost "/C=RU/O=Test/CN=wrong.example" ca 'subjectAltName=DNS:wrong.example
extendedKeyUsage=serverAuth'
leaf user "/C=RU/O=ООО Тест/CN=Иванов Иван Иванович/emailAddress=ivanov@example.ru" ca "$client_ext"
leaf rogue-user "/C=RU/O=Rogue/CN=Rogue User" rogue-ca "$client_ext"

# The user's key protected by the pass phrase, in both PEM forms.
openssl pkcs8 -topk8 -v2 aes-256-cbc -in user.key -out user-pkcs8.pem -passout "pass:$pass"
openssl rsa -in user.key -aes256 -traditional -out user-rsa.pem -passout "pass:$pass" 2>/dev/null
echo "not a certificate" > notpem.txt

# Certificates the configuration dialog must still describe: one long
# expired (fixed dates and serial, so tests can spell them out), one that is
# no CA, and a pass-phrase key that belongs to no certificate here.
cat > expired.cnf <<CNF
[ca]
default_ca = testca
[testca]
database = expired-index.txt
new_certs_dir = .
serial = expired-serial
policy = anything
default_md = sha256
unique_subject = no
[anything]
commonName = supplied
emailAddress = optional
organizationName = optional
countryName = optional
CNF
: > expired-index.txt
echo 0A1B2C3D > expired-serial
openssl req -newkey rsa:2048 -sha256 -nodes -keyout expired.key -out expired.csr -utf8 \
  -subj "/C=RU/O=ООО Архив/CN=Петров Пётр/emailAddress=petrov@example.ru" 2>/dev/null
openssl ca -batch -config expired.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem -notext -utf8 \
  -startdate 20200101000000Z -enddate 20210101000000Z 2>/dev/null
rm -f expired.cnf expired.csr expired-index.txt* expired-serial* 0A1B2C3D.pem
leaf notca "/C=RU/O=Test/CN=Not A CA" ca 'basicConstraints=critical,CA:FALSE'
openssl genrsa 2048 2>/dev/null | openssl rsa -aes256 -traditional -out other-rsa.pem -passout "pass:$pass" 2>/dev/null
