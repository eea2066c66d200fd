#!/usr/bin/python3
"""tty_login.py UTMP USER UID MODE OUT: a user logged in on a new pseudo-terminal
as login leaves one (owner UID, group tty, MODE 0620, or 0600 after `mesg n`),
with its USER_PROCESS entry appended to UTMP. Prints the line ("pts/N"), then
copies what arrives on the terminal to OUT until it is ended."""
import grp, os, pty, signal, struct, sys, time

utmp, user, uid, mode, out = sys.argv[1:6]
master, slave = pty.openpty()
path = os.ttyname(slave)
os.chown(path, int(uid), grp.getgrnam("tty").gr_gid)
os.chmod(path, int(mode, 8))
line = path[len("/dev/"):].encode()
with open(utmp, "ab") as f:  # glibc's struct utmpx on x86_64; 7 is USER_PROCESS
    f.write(struct.pack("<hxxi32s4s32s256shhiii16s20x", 7, os.getpid(), line, line[-4:], user.encode(),
                        b"", 0, 0, 0, int(time.time()), 0, b""))
print(line.decode(), flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
with open(out, "ab", buffering=0) as copy:
    while True:
        copy.write(os.read(master, 4096))
