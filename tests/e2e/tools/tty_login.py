#!/usr/bin/python3
"""A user logged in on a pseudo-terminal, as login leaves one: the terminal
owned by the user and the group tty with MODE (0620, or 0600 after `mesg n`),
and a USER_PROCESS entry for it appended to the utmp file UTMP. Prints the
terminal's line ("pts/N"), then copies what arrives on it to OUT until ended.

usage: tty_login.py UTMP USER UID MODE OUT
"""
import grp
import os
import pty
import signal
import struct
import sys
import time

USER_PROCESS = 7
# struct utmpx of glibc on x86_64: 384 bytes.
UTMPX = struct.Struct("<hxxi32s4s32s256shhiii16s20x")

utmp, user, uid, mode, out = sys.argv[1:6]
master, slave = pty.openpty()
path = os.ttyname(slave)
os.chown(path, int(uid), grp.getgrnam("tty").gr_gid)
os.chmod(path, int(mode, 8))
line = path[len("/dev/"):]
with open(utmp, "ab") as f:
    f.write(UTMPX.pack(USER_PROCESS, os.getpid(), line.encode(), line[-4:].encode(), user.encode(),
                       b"", 0, 0, 0, int(time.time()), 0, b""))
print(line, flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
with open(out, "ab", buffering=0) as copy:
    while True:
        copy.write(os.read(master, 4096))
