# Shared by the mailer scripts (after lib.sh): a throwaway CA, the test mail
# server on 127.0.0.1, and mail files in the encodings the profile reads.

# Debian's interpreter: another python may come first on PATH.
QV_PYTHON=/usr/bin/python3
[ -x "$QV_PYTHON" ] && "$QV_PYTHON" -c 'import aiosmtpd' 2>/dev/null ||
  skip "python3-aiosmtpd is not installed (scripts/setup.sh installs it)"
command -v openssl >/dev/null || skip "openssl is not installed"

MAIL_USER=alert
MAIL_PASSWORD='s3cret-Pa55'

# A CA and a certificate for localhost (and 127.0.0.1) signed by it, in $1.
make_ca() {
  local d=$1
  mkdir -p "$d"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$d/ca.key" -out "$d/ca.pem" -days 2 \
    -subj "/CN=Mailer Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" >/dev/null 2>&1 &&
  openssl req -newkey rsa:2048 -nodes -keyout "$d/server.key" -out "$d/server.csr" \
    -subj "/CN=localhost" >/dev/null 2>&1 &&
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' >"$d/server.ext" &&
  openssl x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -CAcreateserial \
    -out "$d/server.pem" -days 2 -extfile "$d/server.ext" >/dev/null 2>&1
}

# Starts the server with its CA in $1 and messages in $1/mail; sets
# PORT_STARTTLS, PORT_TLS, PORT_PLAIN, PORT_NOAUTH, PORT_STALL, PORT_CLOSED. Its standard input is fd 8
# of this script: it ends when that closes, at the latest when we exit.
start_mail_server() {
  local d=$1
  make_ca "$d" || { fail "throwaway CA made"; finish; }
  mkdir -p "$d/mail"
  mkfifo "$d/server.in"
  "$QV_PYTHON" "$QV_ROOT/tests/e2e/tools/smtp_server.py" "$d/server.pem" "$d/server.key" \
    "$MAIL_USER" "$MAIL_PASSWORD" "$d/mail" <"$d/server.in" >"$d/server.out" 2>"$d/server.err" &
  MAIL_SERVER_PID=$!
  exec 8>"$d/server.in"
  if ! wait_for "[ -s '$d/server.out' ]" 20; then
    cat "$d/server.err"; fail "mail server started"; finish
  fi
  local ports
  ports=$(head -1 "$d/server.out")
  port_of() { "$QV_PYTHON" -c 'import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]])' "$ports" "$1"; }
  PORT_STARTTLS=$(port_of starttls); PORT_TLS=$(port_of tls)
  PORT_PLAIN=$(port_of plain); PORT_NOAUTH=$(port_of noauth)
  PORT_STALL=$(port_of stall); PORT_CLOSED=$(port_of closed)
}

stop_mail_server() {
  exec 8>&-
  wait "$MAIL_SERVER_PID" 2>/dev/null
}

# Writes UTF-8 text from stdin into $1 with CRLF, as code page 932 ($2=cp932)
# or UTF-16LE with a BOM ($2=utf16).
write_ini() {
  local file=$1 enc=$2
  if [ "$enc" = utf16 ]; then
    { printf '\xff\xfe'; sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$file"
  else
    sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$file"
  fi
}

# The computer name as the programs report it (NetBIOS style).
computer_name() { hostname | cut -d. -f1 | tr '[:lower:]' '[:upper:]' | cut -c1-15; }

# Number of messages the server accepted.
mail_count() { find "$1/mail" -name '*.eml' | wc -l; }
