"""A logged-in user's terminal, as login makes one: a pseudo terminal owned by
USER, group tty, mode 0620, and a USER_PROCESS record for it in /run/utmp.
Copies what arrives on the terminal to OUT until TEXT has arrived or SECONDS
have passed. Usage (as root): tty_session.py USER OUT TEXT SECONDS
Prints the terminal's name once it is ready; exit code 1 when TEXT did not come."""
import grp
import os
import pwd
import select
import struct
import sys
import time

user, out, text, seconds = sys.argv[1], sys.argv[2], sys.argv[3].encode(), float(sys.argv[4])
master, slave = os.openpty()
name = os.ttyname(slave)
os.chown(name, pwd.getpwnam(user).pw_uid, grp.getgrnam("tty").gr_gid)
os.chmod(name, 0o620)

# struct utmp of glibc on x86-64: 384 bytes.
line = name[len("/dev/"):].encode()
now = time.time()
record = struct.pack("<h2xi32s4s32s256shhii i4i20x", 7, os.getpid(), line, line[-4:], user.encode(), b"",
                     0, 0, 0, int(now), int((now % 1) * 1e6), 0, 0, 0, 0)
assert len(record) == 384
with open("/run/utmp", "ab") as utmp:
    utmp.write(record)
print(name, flush=True)

got = b""
deadline = time.monotonic() + seconds
with open(out, "wb") as copy:
    while text not in got and time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            chunk = os.read(master, 4096)
            got += chunk
            copy.write(chunk)
            copy.flush()
sys.exit(0 if text in got else 1)
