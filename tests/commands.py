"""The command list as src/dispatch/commands.h writes it (one ROW a
command), for the Python tests and the documentation checks."""
import os
import re
from collections import namedtuple

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "dispatch",
                      "commands.h")
Command = namedtuple("Command", "keyword handler parameters effects usage summary")
ROW = re.compile(r'^ROW\("([^"]+)",\s*(\w+),\s*([\w-]+),\s*([\w |]+?),\s*"([^"]*)",\s*"([^"]*)"\)',
                 re.M)


def commands():
    with open(HEADER) as f:
        rows = [Command(*m.groups()) for m in ROW.finditer(f.read())]
    assert rows, f"no command rows in {HEADER}"
    return rows


KEYWORDS = [c.keyword for c in commands()]
