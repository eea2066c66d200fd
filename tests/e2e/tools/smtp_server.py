"""A mail server for the mailer tests, on 127.0.0.1 only.

aiosmtpd on ports the system picks: one requiring STARTTLS, one speaking TLS
from the first byte, both requiring AUTH; one without TLS offering AUTH in
clear text; one requiring STARTTLS that never offers AUTH; a port that accepts
and then says nothing; and a port bound but not listening (nothing there). Prints the ports
as JSON on one line once all listen, stores each accepted message as
DIR/N.eml with DIR/N.json (envelope), and runs until standard input closes.

Usage: smtp_server.py CERT KEY USER PASSWORD DIR
"""
import asyncio
import json
import os
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

cert, key, user, password, store = sys.argv[1:6]
REFUSED_PREFIX = "nobody@"


class Handler:
    def __init__(self):
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith(REFUSED_PREFIX):
            return "550 5.1.1 no such mailbox"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(store, str(self.count))
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                       "login": session.auth_data.login.decode() if session.auth_data else None}, f)
        # The message file appears whole or not at all.
        os.replace(base + ".eml.tmp", base + ".eml")
        return "250 2.0.0 queued as %d" % self.count


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
          and auth_data.password.decode() == password)
    # Not "handled": aiosmtpd then sends the 535 itself.
    return AuthResult(success=True, auth_data=auth_data) if ok else AuthResult(success=False, handled=False)


class NoAuthHandler(Handler):
    """Takes mail from anyone and never offers AUTH."""

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        return [r for r in responses if not r[4:].upper().startswith("AUTH")]


class Silent(asyncio.Protocol):
    """Takes the connection and never answers."""


def listening_socket():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # aiosmtpd writes a reply line by line: with Nagle's algorithm each
    # multi-line reply would wait for the client's delayed ACK (~40 ms).
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(16)
    return s


async def main():
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    handler = Handler()
    common = dict(auth_required=True, authenticator=authenticator, decode_data=False,
                  enable_SMTPUTF8=False, hostname="localhost")
    loop = asyncio.get_running_loop()

    def starttls_factory():
        return SMTP(handler, tls_context=context, require_starttls=True, **common)

    # AUTH without STARTTLS: on the TLS port the connection is TLS before
    # aiosmtpd sees it, which it cannot tell; on the plain port in clear text.
    def auth_anywhere_factory():
        return SMTP(handler, auth_require_tls=False, **common)

    no_auth = NoAuthHandler()
    no_auth.count = 1000  # its messages are numbered apart

    def noauth_factory():
        return SMTP(no_auth, tls_context=context, require_starttls=True, decode_data=False,
                    enable_SMTPUTF8=False, hostname="localhost")

    socks = {name: listening_socket() for name in ("starttls", "tls", "plain", "noauth", "stall")}
    servers = [
        await loop.create_server(starttls_factory, sock=socks["starttls"]),
        await loop.create_server(auth_anywhere_factory, sock=socks["tls"], ssl=context),
        await loop.create_server(auth_anywhere_factory, sock=socks["plain"]),
        await loop.create_server(noauth_factory, sock=socks["noauth"]),
        await loop.create_server(Silent, sock=socks["stall"]),
    ]
    # Bound without listening: a connection there is refused, and no other
    # program can take the port while we hold it.
    closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    closed.bind(("127.0.0.1", 0))
    ports = {name: s.getsockname()[1] for name, s in socks.items()}
    ports["closed"] = closed.getsockname()[1]
    print(json.dumps(ports), flush=True)

    await loop.run_in_executor(None, sys.stdin.read)
    for server in servers:
        server.close()
    closed.close()


asyncio.run(main())
