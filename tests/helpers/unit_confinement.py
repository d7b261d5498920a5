#!/usr/bin/python3
"""unit_confinement.py UNIT PROGRAM [ARGS...]

Runs the program under the confinement the systemd unit asks for, as far as a process can
set it up for itself: no new privileges, SystemCallFilter= (its groups expanded by
systemd-analyze), RestrictAddressFamilies=, MemoryDenyWriteExecute= (the kernel's PR_SET_MDWE)
and UMask=. A system call outside the filter kills the program (the unit answers it with an
error instead), so a call the program needs shows as a crash rather than as a failure that
might go unnoticed. Exits 77 when seccomp cannot be used here.
"""
import ctypes
import errno
import os
import socket
import subprocess
import sys

try:
    import seccomp
except ImportError:
    print("unit_confinement: python3-seccomp is not installed", file=sys.stderr)
    sys.exit(77)


def expand(name, seen):
    """The system calls of a group (@name), or the call itself."""
    if not name.startswith("@"):
        return {name}
    out = subprocess.run(["systemd-analyze", "syscall-filter", name], capture_output=True, text=True, check=True)
    calls = set()
    for line in out.stdout.splitlines()[1:]:
        word = line.strip()
        if not word or word.startswith("#") or word in seen:
            continue
        seen.add(word)
        calls |= expand(word, seen)
    return calls


def settings(path):
    found = {}
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if "=" in line and not line.startswith(("#", ";", "[")):
            key, value = line.split("=", 1)
            found.setdefault(key, []).append(value)
    return found


unit = settings(sys.argv[1])
allowed = None
for value in unit.get("SystemCallFilter", []):
    deny = value.startswith("~")
    calls = set()
    for name in value.lstrip("~").split():
        calls |= expand(name, set())
    if deny:
        allowed = (allowed if allowed is not None else set()) - calls
    else:
        allowed = (allowed or set()) | calls
families = [getattr(socket, name) for value in unit.get("RestrictAddressFamilies", []) for name in value.split()]

libc = ctypes.CDLL(None, use_errno=True)
PR_SET_NO_NEW_PRIVS, PR_SET_MDWE, PR_MDWE_REFUSE_EXEC_GAIN = 38, 65, 1
if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0:
    sys.exit(77)
if unit.get("MemoryDenyWriteExecute", ["no"])[-1] == "yes" and libc.prctl(
        PR_SET_MDWE, PR_MDWE_REFUSE_EXEC_GAIN, 0, 0, 0) != 0:
    print("unit_confinement: the kernel cannot deny writable executable memory", file=sys.stderr)
    sys.exit(77)
if "UMask" in unit:
    os.umask(int(unit["UMask"][-1], 8))

if allowed is not None or families:
    rules = seccomp.SyscallFilter(defaction=seccomp.KILL_PROCESS if allowed is not None else seccomp.ALLOW)
    for call in sorted(allowed or ()):
        if call == "socket" and families:
            continue
        try:
            rules.add_rule(seccomp.ALLOW, call)
        except (RuntimeError, ValueError, OSError):
            pass  # a call this architecture does not have
    if families:
        for family in families:
            rules.add_rule(seccomp.ALLOW, "socket", seccomp.Arg(0, seccomp.EQ, family))
        for family in range(1, 46):
            if family not in families:
                rules.add_rule(seccomp.ERRNO(errno.EAFNOSUPPORT), "socket", seccomp.Arg(0, seccomp.EQ, family))
    rules.load()
os.execv(sys.argv[2], sys.argv[2:])
