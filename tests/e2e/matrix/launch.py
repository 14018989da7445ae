"""Starts one conx run inside a tmux pane with the standard handles a case
asks for, then becomes that run (exec), so the pane's exit status is the
run's. Usage: python3 launch.py CASEFILE, where CASEFILE holds JSON:
{"argv": [hex-encoded byte strings], "stdin": "tty" | "null" | "file:PATH" |
"closed", "stdout": the same}."""
import json
import os
import sys

case = json.load(open(sys.argv[1]))
argv = [bytes.fromhex(a) for a in case["argv"]]
for fd, how in ((0, case["stdin"]), (1, case["stdout"])):
    if how == "tty":
        continue
    if how == "closed":
        os.close(fd)
        continue
    path = "/dev/null" if how == "null" else how[len("file:"):]
    flags = os.O_RDONLY if fd == 0 else os.O_WRONLY | os.O_CREAT | os.O_TRUNC
    new = os.open(path, flags, 0o644)
    os.dup2(new, fd)
    os.close(new)
os.execv(argv[0], argv)
