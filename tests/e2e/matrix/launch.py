"""Runs one conx command inside a tmux pane with the standard handles a case
asks for, waits for it, and writes how it ended to a result file. (tmux
itself can be slow to notice that a Wine process in a pane has exited, so
the tests read the result file instead of the pane's status.)

Usage: python3 launch.py CASEFILE, where CASEFILE holds JSON:
{"argv": [hex-encoded byte strings], "stdin": "tty" | "null" | "file:PATH" |
"closed", "stdout": the same, "result": PATH}. The result is JSON:
{"code": exit status or null, "signal": signal number or null,
"seconds": run time}."""
import json
import os
import sys
import time


def redirect(fd, how):
    if how == "tty":
        return
    if how == "closed":
        os.close(fd)
        return
    path = "/dev/null" if how == "null" else how[len("file:"):]
    flags = os.O_RDONLY if fd == 0 else os.O_WRONLY | os.O_CREAT | os.O_TRUNC
    new = os.open(path, flags, 0o644)
    os.dup2(new, fd)
    os.close(new)


case = json.load(open(sys.argv[1]))
argv = [bytes.fromhex(a) for a in case["argv"]]
start = time.monotonic()
pid = os.fork()
if pid == 0:
    try:
        redirect(0, case["stdin"])
        redirect(1, case["stdout"])
        os.execv(argv[0], argv)
    finally:
        os._exit(127)
_, status = os.waitpid(pid, 0)
seconds = time.monotonic() - start
result = {"code": os.WEXITSTATUS(status) if os.WIFEXITED(status) else None,
          "signal": os.WTERMSIG(status) if os.WIFSIGNALED(status) else None,
          "seconds": seconds}
with open(case["result"] + ".part", "w") as f:
    json.dump(result, f)
os.rename(case["result"] + ".part", case["result"])
# Stay until the harness has read the pane: a dead pane's cursor flag and
# screen are no longer the run's.
time.sleep(30)
