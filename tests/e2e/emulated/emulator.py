"""Runs the released 32-bit conx.exe in an x86 emulator (unicorn) over a
modelled Windows console, so that the 32-bit program itself is executed on
a machine that cannot run 32-bit Windows programs.

The loader maps the PE image at its image base, one mapping per section
with the section's own protection (code read and run only, .bss zeroed),
and binds every import to a stub in a page of its own. A stub is one
`ret` instruction: `ret 4*n` for kernel32's stdcall functions (the callee
pops its n arguments) and a plain `ret` for msvcrt's cdecl functions (the
caller pops); a hook on the stub runs the Python model of the function
first, which reads the arguments from the emulated stack, leaves its
result in EAX and garbage in ECX and EDX (a callee's to use in both
conventions).

The process starts at the entry point with the stack Windows gives a new
thread (a return address into the thread start and the PEB pointer above
it) and runs until ExitProcess. A run fails with EmulationError on an
access to unmapped or protected memory (data is never executable), an
import the model lacks, a call that would wait forever (no key or input
event queued, or still polling after 10,000 sleeps), an exhausted
instruction budget, a return from the entry point (conx always ends
through ExitProcess), and a return whose stack pointer is not the one its
call left: a shadow stack records every call made in the program's code
and checks each return against it, so a wrong calling convention shows at
the first return after the faulty call.
"""

import os
import re
import struct
from collections import deque

import pefile
from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_MEM_INVALID, UC_MEM_FETCH_PROT,
                     UC_MEM_FETCH_UNMAPPED, UC_MEM_READ_PROT, UC_MEM_READ_UNMAPPED,
                     UC_MEM_WRITE_PROT, UC_MEM_WRITE_UNMAPPED, UC_MODE_32, UC_PROT_EXEC,
                     UC_PROT_READ, UC_PROT_WRITE, Uc, UcError)
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_EBP, UC_X86_REG_EBX, UC_X86_REG_ECX,
                               UC_X86_REG_EDI, UC_X86_REG_EDX, UC_X86_REG_EIP, UC_X86_REG_ESI,
                               UC_X86_REG_ESP)

PAGE = 0x1000

# The emulated address space besides the image (which sits at its own base).
STACK_TOP = 0x00300000
HEAP_BASE = 0x00600000      # argv, the environment block
STUB_BASE = 0x7FF00000      # one 16-byte stub per import, then the extra ones
PEB_BASE = 0x7FFDE000       # a zeroed page: the entry's argument points here
IOB_BASE = 0x7FFDD000       # msvcrt's _iob: stdin, stdout, stderr, 32 bytes each
IOB_SIZE, IOB_FLAGS_AT, IOB_ERROR = 32, 12, 0x0020  # a FILE, its _flag, _IOERR
KERNEL32_HANDLE = 0x76000000  # GetModuleHandleA("kernel32.dll"); never mapped

STDIN, STDOUT, STDERR, FILE_HANDLE = 0x50, 0x54, 0x58, 0x60
HANDLE_NAMES = {STDIN: "STDIN", STDOUT: "STDOUT", STDERR: "STDERR", FILE_HANDLE: "FILE"}

KEY_EVENT, MOUSE_EVENT, WINDOW_BUFFER_SIZE_EVENT, MENU_EVENT, FOCUS_EVENT = 1, 2, 4, 8, 0x10

DEFAULT_BUDGET = 10_000_000  # instructions per run
MAX_SLEEPS = 10_000  # Sleep calls per run: more is a wait that never ends
SCRATCH = 0xBAADF00D  # what an import leaves in ECX and EDX


class EmulationError(Exception):
    """The program did something a Windows process could not survive or
    that the model cannot answer: the test fails with this message."""


def s16(value):
    value &= 0xFFFF
    return value - 0x10000 if value & 0x8000 else value


def s32(value):
    value &= 0xFFFFFFFF
    return value - 0x100000000 if value & 0x80000000 else value


def coord(packed):
    """A COORD passed by value: X in the low 16 bits, Y in the high 16."""
    return s16(packed), s16(packed >> 16)


# ---- Input records -------------------------------------------------------------

def key_event(char="\0", down=True, virtual_key=0, scan=0, control=0, repeat=1):
    """A KEY_EVENT record: (type, 16 payload bytes) as INPUT_RECORD.Event."""
    code = ord(char) if isinstance(char, str) else char
    return KEY_EVENT, struct.pack("<IHHHHI", 1 if down else 0, repeat, virtual_key, scan,
                                  code, control)


def mouse_event(row, column, buttons, flags=0, control=0):
    return MOUSE_EVENT, struct.pack("<hhIII", column, row, buttons & 0xFFFFFFFF, control, flags)


def focus_event(gained):
    return FOCUS_EVENT, struct.pack("<I12x", 1 if gained else 0)


def size_event(columns, rows):
    return WINDOW_BUFFER_SIZE_EVENT, struct.pack("<hh12x", columns, rows)


# ---- The console -----------------------------------------------------------------

LEADING_HALF, TRAILING_HALF = 0x0100, 0x0200  # a wide character's two cells


class Console:
    """A Windows console as the program sees it through kernel32 and
    msvcrt: the screen buffer (cells of a character and an attribute), the
    cursor, the text attribute, the input mode and queue, msvcrt's
    keystroke queue, the clock, and standard output.

    A cell keeps the UTF-16 character written to it and its colours; the
    trailing half of a wide character shows as "" (the leading half is
    drawn over both). The
    keystrokes that _kbhit and _getch see are queued apart from the input
    records (a test queues both for a key); FlushConsoleInputBuffer empties
    both. Standard output is a pipe unless stdout_is_console is set: what
    vprintf prints waits in msvcrt's buffer until _flushall (or 4 KiB), and
    what is still there at ExitProcess is lost."""

    def __init__(self, width=80, height=25, fill=" ", fill_attribute=0x07):
        self.width, self.height = width, height
        self.chars = [[fill] * width for _ in range(height)]
        self.attrs = [[fill_attribute] * width for _ in range(height)]
        self.cursor = (0, 0)                  # (column, row), as a COORD
        self.cursor_size, self.cursor_visible = 25, True
        self.attribute = 0x07                 # SetConsoleTextAttribute
        self.input_mode = 0x1F7
        self.output_mode = 0x3
        self.events = deque()                 # pending INPUT_RECORDs: (type, payload)
        self.keys = deque()                   # what _getch returns, code by code
        self.arrivals = []                    # (slept ms, records, keys) still to come
        self.time = (2024, 3, 5, 15, 13, 14, 15, 678)  # SYSTEMTIME: year month dow day h m s ms
        self.slept = 0                        # milliseconds, summed over Sleep calls
        self.font = None                      # last SetConsoleFont index
        self.has_set_font = True              # False: kernel32 lacks SetConsoleFont
        self.input_is_console = True          # False: standard input is a file
        self.stdout_is_console = False        # False: a pipe, buffered by msvcrt
        self.stdout = b""                     # what reached standard output
        self.stdout_buffer = b""              # printed but not yet flushed
        self.stdout_fails = False             # writes fail: a full disk, a closed handle
        self.wait_fails = False               # WaitForSingleObject fails

    # What a test sets up.
    def queue(self, *records):
        self.events.extend(records)

    def type_keys(self, *codes):
        self.keys.extend(codes)

    def later(self, milliseconds, records=(), keys=()):
        """Input that arrives once the program has slept `milliseconds`."""
        self.arrivals.append((milliseconds, list(records), list(keys)))

    # What a test reads back.
    def text(self, row, column=0, length=None):
        end = self.width if length is None else column + length
        return "".join(self.chars[row][column:end])

    def attributes(self, row, column=0, length=None):
        end = self.width if length is None else column + length
        return self.attrs[row][column:end]

    def cell(self, row, column):
        return self.chars[row][column], self.attrs[row][column]

    def sleep(self, milliseconds):
        self.slept += milliseconds
        due = [a for a in self.arrivals if a[0] <= self.slept]
        self.arrivals = [a for a in self.arrivals if a[0] > self.slept]
        for _, records, keys in due:
            self.events.extend(records)
            self.keys.extend(keys)

    def flush_input(self):
        self.events.clear()
        self.keys.clear()


# ---- The C runtime's number readers (msvcrt, where long is 32 bits) ----------------

def _is_space(byte):
    return byte == 0x20 or 0x09 <= byte <= 0x0D


def _digit(byte):
    if 0x30 <= byte <= 0x39:
        return byte - 0x30
    if 0x61 <= byte <= 0x7A:
        return byte - 0x61 + 10
    if 0x41 <= byte <= 0x5A:
        return byte - 0x41 + 10
    return 99


def _blanks_and_sign(text):
    """Where the digits start after blanks and one sign, and whether the sign was a minus."""
    i = 0
    while i < len(text) and _is_space(text[i]):
        i += 1
    negative = i < len(text) and text[i] == ord("-")
    if i < len(text) and text[i] in b"+-":
        i += 1
    return i, negative


def msvcrt_strtoul(text, base):
    """strtoul of msvcrt.dll: returns (value, characters used). A magnitude
    beyond 32 bits saturates at 0xFFFFFFFF before a minus negates it."""
    i, negative = _blanks_and_sign(text)
    if base < 0 or base == 1 or base > 36:
        return 0, 0
    if base in (0, 16) and text[i:i + 1] == b"0" and text[i + 1:i + 2] in (b"x", b"X"):
        i += 2
        base = 16
    elif base == 0:
        base = 8 if text[i:i + 1] == b"0" else 10
    start = i
    value, overflow = 0, False
    while i < len(text) and _digit(text[i]) < base:
        value = value * base + _digit(text[i])
        if value > 0xFFFFFFFF:
            overflow = True
        i += 1
    if i == start:
        return 0, 0
    if overflow:
        value = 0xFFFFFFFF
    if negative:
        value = -value & 0xFFFFFFFF
    return value, i


def msvcrt_atol(text):
    """atol of msvcrt.dll: decimal, wrapping at 32 bits."""
    i, negative = _blanks_and_sign(text)
    total = 0
    while i < len(text) and 0x30 <= text[i] <= 0x39:
        total = (total * 10 + text[i] - 0x30) & 0xFFFFFFFF
        i += 1
    return -total & 0xFFFFFFFF if negative else total


# ---- The image ------------------------------------------------------------------------

class Image:
    """A PE32 file parsed once: sections, entry point and imports."""

    def __init__(self, path):
        self.path = str(path)
        pe = pefile.PE(self.path)
        if pe.FILE_HEADER.Machine != 0x14C or pe.OPTIONAL_HEADER.Magic != 0x10B:
            raise EmulationError(f"{path}: not a 32-bit x86 PE file")
        header = pe.OPTIONAL_HEADER
        self.base = header.ImageBase
        self.entry = self.base + header.AddressOfEntryPoint
        self.size = header.SizeOfImage
        self.stack_reserve = header.SizeOfStackReserve
        self.headers = pe.header[:header.SizeOfHeaders]
        self.sections = []  # (address, mapped size, protection, bytes, name)
        for s in pe.sections:
            flags = s.Characteristics
            protection = ((UC_PROT_READ if flags & 0x40000000 else 0) |
                          (UC_PROT_WRITE if flags & 0x80000000 else 0) |
                          (UC_PROT_EXEC if flags & 0x20000000 else 0))
            size = max(s.Misc_VirtualSize, s.SizeOfRawData)
            data = s.get_data()[:min(s.SizeOfRawData, s.Misc_VirtualSize or s.SizeOfRawData)]
            self.sections.append((self.base + s.VirtualAddress, -(-size // PAGE) * PAGE,
                                  protection, data, s.Name.rstrip(b"\0").decode()))
        self.code = [(a, a + n, d) for a, n, p, d, _ in self.sections if p & UC_PROT_EXEC]
        self.imports = []  # (dll, name, address of its import address table slot)
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            for imp in entry.imports:
                name = imp.name.decode() if imp.name else f"#{imp.ordinal}"
                self.imports.append((entry.dll.decode(), name, imp.address))
        pe.close()


# ---- The run --------------------------------------------------------------------------

class Run:
    """What one emulated run left: exit code, calls, standard output, console."""

    def __init__(self, console, log, exit_code, instructions):
        self.console = console
        self.log = log                # every import call: (name, arguments...)
        self.exit_code = exit_code
        self.stdout = console.stdout.decode("latin-1")
        self.lost_output = console.stdout_buffer.decode("latin-1")
        self.instructions = instructions  # executed in the program's own code

    def calls(self, *names):
        return [c for c in self.log if c[0] in names]

    def console_calls(self):
        """kernel32's console calls (and SetConsoleFont) in order: GetStdHandle
        and the start's WideCharToMultiByte left out."""
        return [c for c in self.log if c[0] in KERNEL32_CALLS and
                c[0] not in ("GetStdHandle", "WideCharToMultiByte")]


# The modelled functions: (dll, name) -> (method name, argument count, stdcall).
MODELS = {}
KERNEL32_CALLS = set()
DATA_IMPORT = ("msvcrt.dll", "_iob")  # msvcrt's streams, read in place


def kernel32(argc):
    """A kernel32 function: stdcall, the callee pops its arguments."""
    def mark(method):
        MODELS["kernel32.dll", method.__name__] = (method.__name__, argc, True)
        KERNEL32_CALLS.add(method.__name__)
        return method
    return mark


def msvcrt(argc, name=None):
    """A msvcrt function: cdecl, the caller pops the arguments."""
    def mark(method):
        MODELS["msvcrt.dll", name or method.__name__] = (method.__name__, argc, False)
        return method
    return mark


PRINTF_CONVERSION = re.compile(rb"%([-+ #0]*)(\*|\d+)?(?:\.(\*|\d*))?(hh|h|ll|l|I64|I32|I)?(.)",
                               re.S)


class Process:
    """One run of the image over a console: memory, CPU, the modelled imports."""

    def __init__(self, image, console, args, budget=DEFAULT_BUDGET):
        self.image, self.console = image, console
        self.log = []
        self.exit_code = None
        self.error = None
        self.shadow = []  # (return address, stack pointer at the return) per open call
        self.uc = uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self._map_image()
        self._bind_imports()
        self._map_stack()
        self._map_heap(args)
        self.budget = budget
        self.steps = 0
        self.sleeps = 0
        uc.hook_add(UC_HOOK_MEM_INVALID, self._on_bad_access)
        for start, end, _ in image.code:
            uc.hook_add(UC_HOOK_CODE, self._on_code, begin=start, end=end - 1)
        uc.hook_add(UC_HOOK_CODE, self._on_stub, begin=STUB_BASE, end=STUB_BASE + PAGE - 1)

    # ---- Memory layout

    def _map_image(self):
        uc, image = self.uc, self.image
        uc.mem_map(image.base, PAGE, UC_PROT_READ)
        uc.mem_write(image.base, image.headers)
        for address, size, protection, data, _ in image.sections:
            uc.mem_map(address, size, protection)
            uc.mem_write(address, data)  # the rest of the mapping stays zero (.bss)
        if len(image.code) != 1:
            raise EmulationError(f"{image.path}: {len(image.code)} executable sections, "
                                 "the shadow stack follows one")
        self.code_start, _, self.code_bytes = image.code[0]

    def _bind_imports(self):
        uc = self.uc
        uc.mem_map(STUB_BASE, PAGE, UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_map(PEB_BASE, PAGE, UC_PROT_READ)
        uc.mem_map(IOB_BASE, PAGE, UC_PROT_READ | UC_PROT_WRITE)
        self.stubs = {}  # stub address -> (name, model function or None)
        slot = 0
        for dll, name, iat in self.image.imports:
            if (dll.lower(), name) == DATA_IMPORT:  # data, not a function
                uc.mem_write(iat, struct.pack("<I", IOB_BASE))
                continue
            model = MODELS.get((dll.lower(), name))
            address = self._stub(slot, name, model)
            slot += 1
            uc.mem_write(iat, struct.pack("<I", address))
        # Found through GetProcAddress, and where the entry point returns to.
        self.set_font_stub = self._stub(slot, "SetConsoleFont", MODELS["kernel32.dll",
                                                                        "SetConsoleFont"])
        self.thread_return = self._stub(slot + 1, "(thread start)", None)

    def _stub(self, slot, name, model):
        address = STUB_BASE + 16 * slot
        if model is not None and model[2]:
            code = b"\xC2" + struct.pack("<H", 4 * model[1])  # ret 4*n
        else:
            code = b"\xC3"  # ret
        self.uc.mem_write(address, code)
        self.stubs[address] = (name, model)
        return address

    def _map_stack(self):
        reserve = max(self.image.stack_reserve, 64 * 1024)
        self.uc.mem_map(STACK_TOP - reserve, reserve, UC_PROT_READ | UC_PROT_WRITE)
        # As a new Windows thread starts the entry: the PEB pointer as its
        # argument, the return address into the thread start below it.
        esp = STACK_TOP - 0x100
        self.write32(esp, PEB_BASE)
        esp -= 4
        self.write32(esp, self.thread_return)
        self.entry_esp = esp
        self.shadow.append((self.thread_return, esp))

    def _map_heap(self, args):
        """The wide argument vector msvcrt builds: UTF-16 (a lone surrogate
        in an argument stays one)."""
        strings = [a.encode("utf-16-le", "surrogatepass") + b"\0\0" for a in args]
        size = sum(len(s) for s in strings) + 4 * (len(strings) + 4) + 64
        self.uc.mem_map(HEAP_BASE, -(-size // PAGE) * PAGE, UC_PROT_READ | UC_PROT_WRITE)
        pointer = HEAP_BASE + 4 * (len(strings) + 1) + 8
        vector = []
        for s in strings:
            self.uc.mem_write(pointer, s)
            vector.append(pointer)
            pointer += len(s)
        self.uc.mem_write(HEAP_BASE, struct.pack(f"<{len(vector) + 1}I", *vector, 0))
        self.argc, self.argv = len(vector), HEAP_BASE
        self.envp = HEAP_BASE + 4 * (len(vector) + 1)  # an empty environment: [NULL]
        self.write32(self.envp, 0)

    # ---- Memory access

    def read32(self, address):
        return struct.unpack("<I", self.uc.mem_read(address, 4))[0]

    def write32(self, address, value):
        self.uc.mem_write(address, struct.pack("<I", value & 0xFFFFFFFF))

    def read_string(self, address, limit=1 << 16):
        out = bytearray()
        while len(out) < limit:
            chunk = bytes(self.uc.mem_read(address + len(out), 1))
            if chunk == b"\0":
                return bytes(out)
            out += chunk
        raise EmulationError(f"no end to the string at {address:#x}")

    def need(self, address, what):
        if address == 0:
            raise EmulationError(f"{what}: null pointer")
        return address

    # ---- Running

    def run(self):
        uc = self.uc
        uc.reg_write(UC_X86_REG_ESP, self.entry_esp)
        for reg in (UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                    UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP):
            uc.reg_write(reg, 0)
        try:
            uc.emu_start(self.image.entry, 0xFFFFFFFF, count=self.budget)
        except UcError as e:
            if self.error is None:
                self.error = EmulationError(f"{e} at eip {uc.reg_read(UC_X86_REG_EIP):#x}")
        if self.error is not None:
            raise self.error
        if self.exit_code is None:
            raise EmulationError(f"no ExitProcess within {self.budget} instructions "
                                 f"(eip {uc.reg_read(UC_X86_REG_EIP):#x}): a runaway")
        return Run(self.console, self.log, self.exit_code, self.steps)

    def fail(self, message):
        if self.error is None:
            self.error = EmulationError(message)
        self.uc.emu_stop()

    def _on_bad_access(self, uc, access, address, size, value, _):
        kind = {UC_MEM_READ_UNMAPPED: "read of unmapped", UC_MEM_WRITE_UNMAPPED:
                "write to unmapped", UC_MEM_FETCH_UNMAPPED: "run of unmapped",
                UC_MEM_READ_PROT: "read of unreadable", UC_MEM_WRITE_PROT:
                "write to read-only", UC_MEM_FETCH_PROT: "run of non-executable"}.get(
                    access, "bad access to")
        self.fail(f"{kind} memory at {address:#x} ({size} bytes) from eip "
                  f"{uc.reg_read(UC_X86_REG_EIP):#x}")
        return False

    def _on_code(self, uc, address, size, _):
        """Every instruction of the program's code: the shadow stack."""
        self.steps += 1
        code = self.code_bytes
        op = code[address - self.code_start]
        if op == 0xE8 or (op == 0xFF and (code[address - self.code_start + 1] >> 3) & 7 == 2):
            esp = uc.reg_read(UC_X86_REG_ESP)
            self.shadow.append((address + size, esp - 4))
        elif op == 0xC3 or op == 0xC2 or (op == 0xF3 and code[address - self.code_start + 1]
                                          == 0xC3):
            self._check_return(uc.reg_read(UC_X86_REG_ESP), address)

    def _check_return(self, esp, where):
        if not self.shadow:
            self.fail(f"return at {where:#x} with no call open")
            return
        expected, expected_esp = self.shadow.pop()
        if esp != expected_esp:
            self.fail(f"stack imbalance: the return at {where:#x} finds the stack pointer at "
                      f"{esp:#x}, {esp - expected_esp:+d} bytes from where the call to it "
                      f"left it (return address {expected:#x})")
        elif self.read32(esp) != expected:
            self.fail(f"return address overwritten: the return at {where:#x} would go to "
                      f"{self.read32(esp):#x}, its call came from {expected:#x}")

    def _on_stub(self, uc, address, size, _):
        name, model = self.stubs.get(address, ("?", None))
        esp = uc.reg_read(UC_X86_REG_ESP)
        if address == self.thread_return:
            self.fail(f"the entry point returned (eax {uc.reg_read(UC_X86_REG_EAX):#x}) "
                      "without calling ExitProcess")
            return
        self._check_return(esp, address)
        if self.error:
            return
        if model is None:
            self.fail(f"the program called {name}, which the console model does not have")
            return
        method, argc, _ = model
        args = [self.read32(esp + 4 + 4 * i) for i in range(argc)]
        try:
            result = getattr(self, method)(*args)
        except EmulationError as e:
            self.fail(f"{name}: {e}")
            return
        except UcError as e:
            self.fail(f"{name}: {e} reading or writing its arguments {args}")
            return
        if result is None:
            return  # ExitProcess: stopped
        uc.reg_write(UC_X86_REG_EAX, result & 0xFFFFFFFF)
        # ECX and EDX belong to the callee in both conventions: a real DLL
        # leaves anything there, so the program must not count on them.
        uc.reg_write(UC_X86_REG_ECX, SCRATCH)
        uc.reg_write(UC_X86_REG_EDX, SCRATCH)

    def call(self, name, *args):
        self.log.append((name, *args))

    # ---- Handles

    def handle(self, value, want):
        """The console side a handle stands for, or None when it is not one
        the call can take (the call then fails, as on Windows)."""
        if want == "input" and value == STDIN and self.console.input_is_console:
            return "input"
        if want == "output" and value in (STDOUT, STDERR):
            return "output"
        return None

    def hname(self, value):
        return HANDLE_NAMES.get(value, f"{value:#x}")

    # ---- kernel32.dll: stdcall

    @kernel32(1)
    def GetStdHandle(self, which):
        which = s32(which)
        result = {-10: STDIN if self.console.input_is_console else FILE_HANDLE,
                  -11: STDOUT, -12: STDERR}.get(which, 0xFFFFFFFF)
        self.call("GetStdHandle", which)
        return result

    @kernel32(1)
    def ExitProcess(self, code):
        self.call("ExitProcess", code)
        self.exit_code = code
        self.uc.emu_stop()
        return None

    @kernel32(2)
    def SetConsoleTextAttribute(self, h, attribute):
        self.call("SetConsoleTextAttribute", self.hname(h), attribute)
        if not self.handle(h, "output"):
            return 0
        self.console.attribute = attribute & 0xFFFF
        return 1

    @kernel32(2)
    def SetConsoleCursorPosition(self, h, packed):
        column, row = coord(packed)
        self.call("SetConsoleCursorPosition", self.hname(h), (column, row))
        c = self.console
        if not self.handle(h, "output") or not (0 <= column < c.width and 0 <= row < c.height):
            return 0
        c.cursor = (column, row)
        return 1

    @kernel32(2)
    def GetConsoleCursorInfo(self, h, info):
        self.call("GetConsoleCursorInfo", self.hname(h))
        if not self.handle(h, "output"):
            return 0
        c = self.console
        self.uc.mem_write(self.need(info, "CONSOLE_CURSOR_INFO"),
                          struct.pack("<Ii", c.cursor_size, int(c.cursor_visible)))
        return 1

    @kernel32(2)
    def SetConsoleCursorInfo(self, h, info):
        size, visible = struct.unpack("<Ii", self.uc.mem_read(self.need(info, "info"), 8))
        self.call("SetConsoleCursorInfo", self.hname(h), (size, visible))
        if not self.handle(h, "output") or not 1 <= size <= 100:
            return 0
        self.console.cursor_size, self.console.cursor_visible = size, visible != 0
        return 1

    @kernel32(5)
    def WriteConsoleOutputW(self, h, buffer, packed_size, packed_origin, region):
        """Copies the source block's cells into the target rectangle, both
        clipped (the source to its own size, the target to the screen
        buffer), and writes the rectangle actually drawn back. A row that
        begins with a wide character's trailing half or ends with its
        leading half, once clipped, is a fault: the console would blank
        it, or draw the character at the start of the next row."""
        size_x, size_y = coord(packed_size)
        origin_x, origin_y = coord(packed_origin)
        left, top, right, bottom = struct.unpack(
            "<hhhh", self.uc.mem_read(self.need(region, "SMALL_RECT"), 8))
        c = self.console
        self.call("WriteConsoleOutputW", self.hname(h), (size_x, size_y), (origin_x, origin_y),
                  (left, top, right, bottom))
        if not self.handle(h, "output"):
            return 0
        self.need(buffer, "CHAR_INFO buffer")
        if size_x <= 0 or size_y <= 0 or not (0 <= origin_x < size_x and 0 <= origin_y < size_y):
            raise EmulationError(f"source block {size_x}x{size_y} has no cell at "
                                 f"({origin_x}, {origin_y})")
        # kernel32 hands the console the whole source block, so all of it
        # must be readable, not only the cells that land.
        source = self.uc.mem_read(buffer, 4 * size_x * size_y)
        # The source rectangle, clipped to the source block.
        width = min(right - left + 1, size_x - origin_x)
        height = min(bottom - top + 1, size_y - origin_y)
        # The target, clipped to the screen buffer.
        x0, y0 = max(left, 0), max(top, 0)
        x1, y1 = min(left + width - 1, c.width - 1), min(top + height - 1, c.height - 1)
        if width <= 0 or height <= 0 or x1 < x0 or y1 < y0:
            self.uc.mem_write(region, struct.pack("<hhhh", left, top, left - 1, top - 1))
            return 1
        for y in range(y0, y1 + 1):
            first = (origin_y + y - top) * size_x + origin_x + x0 - left
            row = [struct.unpack_from("<HH", source, 4 * (first + i)) for i in range(x1 - x0 + 1)]
            if row[0][1] & TRAILING_HALF or row[-1][1] & LEADING_HALF:
                raise EmulationError(f"row {y} of a block cut at a wide character: {row}")
            for i, (unit, attribute) in enumerate(row):
                c.chars[y][x0 + i] = "" if attribute & TRAILING_HALF else chr(unit)
                c.attrs[y][x0 + i] = attribute & ~(LEADING_HALF | TRAILING_HALF)
        self.uc.mem_write(region, struct.pack("<hhhh", x0, y0, x1, y1))
        return 1

    @kernel32(2)
    def GetConsoleScreenBufferInfo(self, h, info):
        self.call("GetConsoleScreenBufferInfo", self.hname(h))
        if not self.handle(h, "output"):
            return 0
        c = self.console
        self.uc.mem_write(self.need(info, "CONSOLE_SCREEN_BUFFER_INFO"), struct.pack(
            "<hhhhHhhhhhh", c.width, c.height, *c.cursor, c.attribute,
            0, 0, c.width - 1, c.height - 1, c.width, c.height))
        return 1

    @kernel32(8)
    def WideCharToMultiByte(self, code_page, flags, wide, length, out, room, default, used):
        """UTF-8 only, of a NUL-terminated text (length -1), as the program
        asks: a lone surrogate becomes U+FFFD; too little room fails."""
        if code_page != 65001 or flags != 0 or s32(length) != -1 or default or used:
            raise EmulationError(f"WideCharToMultiByte({code_page}, {flags}, {s32(length)}) "
                                 "is not modelled")
        units, address = bytearray(), self.need(wide, "text")
        while len(units) < 2 or units[-2:] != b"\0\0":
            units += self.uc.mem_read(address + len(units), 2)
        text = units[:-2].decode("utf-16-le", "replace").encode("utf-8") + b"\0"
        self.call("WideCharToMultiByte", text[:-1].decode())
        if len(text) > room:
            return 0
        self.uc.mem_write(self.need(out, "buffer"), text)
        return len(text)

    @kernel32(2)
    def GetConsoleMode(self, h, mode):
        self.call("GetConsoleMode", self.hname(h))
        side = self.handle(h, "input") or self.handle(h, "output")
        if not side:
            return 0
        value = self.console.input_mode if side == "input" else self.console.output_mode
        self.write32(self.need(mode, "mode"), value)
        return 1

    @kernel32(2)
    def SetConsoleMode(self, h, mode):
        self.call("SetConsoleMode", self.hname(h), mode)
        if self.handle(h, "input"):
            self.console.input_mode = mode
        elif self.handle(h, "output"):
            self.console.output_mode = mode
        else:
            return 0
        return 1

    def _records(self, h, buffer, length, count, take, name):
        self.call(name, self.hname(h), length)
        if not self.handle(h, "input"):
            return 0
        events = self.console.events
        if take and not events:
            # Windows would wait; only a Sleep delivers what comes later.
            raise EmulationError("waits for an input event and none is queued")
        n = min(length, len(events))
        records = [events.popleft() if take else events[i] for i in range(n)]
        for i, (kind, payload) in enumerate(records):
            self.uc.mem_write(self.need(buffer, "records") + 20 * i,
                              struct.pack("<H2x", kind) + payload)
        self.write32(self.need(count, "count"), n)
        return 1

    @kernel32(4)
    def ReadConsoleInputA(self, h, buffer, length, count):
        return self._records(h, buffer, length, count, True, "ReadConsoleInputA")

    @kernel32(4)
    def PeekConsoleInputA(self, h, buffer, length, count):
        return self._records(h, buffer, length, count, False, "PeekConsoleInputA")

    @kernel32(2)
    def GetNumberOfConsoleInputEvents(self, h, count):
        self.call("GetNumberOfConsoleInputEvents", self.hname(h))
        if not self.handle(h, "input"):
            return 0
        self.write32(self.need(count, "count"), len(self.console.events))
        return 1

    @kernel32(1)
    def FlushConsoleInputBuffer(self, h):
        self.call("FlushConsoleInputBuffer", self.hname(h))
        if not self.handle(h, "input"):
            return 0
        self.console.flush_input()
        return 1

    @kernel32(1)
    def Sleep(self, milliseconds):
        self.call("Sleep", milliseconds)
        self.sleeps += 1
        if self.sleeps > MAX_SLEEPS:
            raise EmulationError(f"still polling after {MAX_SLEEPS} sleeps: a wait that "
                                 "never ends")
        self.console.sleep(milliseconds)
        return 0

    @kernel32(2)
    def WaitForSingleObject(self, h, milliseconds):
        """The console input handle is signalled while input is pending: the
        wait returns once the next input that comes is there (the clock
        moves on to it)."""
        self.call("WaitForSingleObject", self.hname(h), milliseconds)
        c = self.console
        if not self.handle(h, "input") or c.wait_fails:
            return 0xFFFFFFFF  # WAIT_FAILED
        if not c.events and not c.arrivals:
            raise EmulationError("waits for input and none can come")
        if not c.events:
            c.sleep(min(a[0] for a in c.arrivals) - c.slept)
        return 0  # WAIT_OBJECT_0

    @kernel32(1)
    def GetLocalTime(self, system_time):
        self.call("GetLocalTime")
        self.uc.mem_write(self.need(system_time, "SYSTEMTIME"),
                          struct.pack("<8H", *self.console.time))
        return 0

    @kernel32(1)
    def GetModuleHandleA(self, name):
        text = self.read_string(name).decode("latin-1") if name else None
        self.call("GetModuleHandleA", text)
        if text is not None and text.lower() in ("kernel32.dll", "kernel32"):
            return KERNEL32_HANDLE
        return 0

    @kernel32(2)
    def GetProcAddress(self, module, name):
        text = self.read_string(name).decode("latin-1") if name >= 0x10000 else f"#{name}"
        self.call("GetProcAddress", "kernel32.dll" if module == KERNEL32_HANDLE else module, text)
        if module == KERNEL32_HANDLE and text == "SetConsoleFont" and self.console.has_set_font:
            return self.set_font_stub
        return 0

    @kernel32(2)
    def SetConsoleFont(self, h, index):
        self.call("SetConsoleFont", self.hname(h), index)
        if not self.handle(h, "output"):
            return 0
        self.console.font = index
        return 1

    # ---- msvcrt.dll: cdecl

    @msvcrt(5, "__wgetmainargs")
    def wgetmainargs(self, argc, argv, envp, wildcards, startup):
        self.call("__wgetmainargs", wildcards)
        self.write32(self.need(argc, "argc"), self.argc)
        self.write32(self.need(argv, "argv"), self.argv)
        self.write32(self.need(envp, "envp"), self.envp)
        return 0

    def _flush_stdout(self):
        c = self.console
        if c.stdout_fails and c.stdout_buffer:  # the write fails: stdout's error flag
            flags = IOB_BASE + IOB_SIZE + IOB_FLAGS_AT
            self.write32(flags, self.read32(flags) | IOB_ERROR)
        else:
            c.stdout += c.stdout_buffer
        c.stdout_buffer = b""

    @msvcrt(0)
    def _flushall(self):
        self.call("_flushall")
        self._flush_stdout()
        return 3

    @msvcrt(0)
    def _kbhit(self):
        self.call("_kbhit")
        return 1 if self.console.keys else 0

    @msvcrt(0)
    def _getch(self):
        self.call("_getch")
        if not self.console.keys:
            raise EmulationError("waits for a key and none is queued")
        return self.console.keys.popleft()

    @msvcrt(1)
    def _strupr(self, text):
        data = self.read_string(self.need(text, "_strupr"))
        self.uc.mem_write(text, bytes(b - 32 if 0x61 <= b <= 0x7A else b for b in data))
        return text

    @msvcrt(2)
    def strcmp(self, a, b):
        x, y = self.read_string(self.need(a, "strcmp")), self.read_string(self.need(b, "strcmp"))
        return (x > y) - (x < y)

    @msvcrt(1)
    def atol(self, text):
        return msvcrt_atol(self.read_string(self.need(text, "atol")))

    @msvcrt(3)
    def strtoul(self, text, end, base):
        data = self.read_string(self.need(text, "strtoul"))
        value, used = msvcrt_strtoul(data, s32(base))
        if end:
            self.write32(end, text + used)
        return value

    @msvcrt(2)
    def vprintf(self, format_address, va_list):
        text = self.format(self.read_string(self.need(format_address, "format")), va_list)
        self.call("vprintf", text.decode("latin-1"))
        c = self.console
        c.stdout_buffer += text
        if c.stdout_is_console or len(c.stdout_buffer) >= 4096:
            self._flush_stdout()
        return len(text)

    def format(self, fmt, va_list):
        """msvcrt's printf conversions over a va_list in emulated memory."""
        out, i, arg = bytearray(), 0, va_list

        def take(wide=False):
            nonlocal arg
            value = self.read32(arg)
            if wide:
                value |= self.read32(arg + 4) << 32
            arg += 8 if wide else 4
            return value

        while i < len(fmt):
            if fmt[i] != 0x25:
                out.append(fmt[i])
                i += 1
                continue
            m = PRINTF_CONVERSION.match(fmt, i)
            if not m:
                raise EmulationError(f"format {fmt!r}: a lone % at the end")
            i = m.end()
            flags, width, precision, length, conversion = m.groups()
            flags = flags.decode()
            width = s32(take()) if width == b"*" else int(width or 0)
            if width < 0:
                flags, width = flags + "-", -width
            if precision == b"*":
                precision = s32(take())
                precision = None if precision < 0 else precision
            elif precision is not None:
                precision = int(precision or 0)
            conversion = chr(conversion[0])
            wide = length in (b"ll", b"I64")
            if conversion == "%":
                body = b"%"
            elif conversion == "c":
                body = bytes([take() & 0xFF])
            elif conversion == "s":
                pointer = take()
                body = self.read_string(pointer) if pointer else b"(null)"
                if precision is not None:
                    body = body[:precision]
            elif conversion in "diouxXp":
                value = take(wide)
                bits = 64 if wide else 16 if length == b"h" else 8 if length == b"hh" else 32
                value &= (1 << bits) - 1
                if conversion in "di" and value >> (bits - 1):
                    value -= 1 << bits
                digits = {"d": "d", "i": "d", "u": "d", "o": "o", "x": "x", "X": "X",
                          "p": "X"}[conversion]
                text = format(abs(value), digits)
                if conversion == "p":
                    text = text.zfill(8)
                if precision is not None:
                    text = "" if precision == 0 and value == 0 else text.zfill(precision)
                if "#" in flags and value and conversion in "xX":
                    text = ("0x" if conversion == "x" else "0X") + text
                sign = "-" if value < 0 else "+" if "+" in flags else " " if " " in flags else ""
                if ("0" in flags and "-" not in flags and precision is None
                        and len(sign + text) < width):
                    text = text.zfill(width - len(sign))
                body = (sign + text).encode()
            else:
                raise EmulationError(f"format {fmt!r}: conversion %{conversion} not modelled")
            pad = b" " * max(0, width - len(body))
            out += body + pad if "-" in flags else pad + body
        return bytes(out)


_images = {}


def load(path):
    """The parsed image, once per path and file state."""
    stat = os.stat(path)
    key = (str(path), stat.st_mtime_ns, stat.st_size)
    if key not in _images:
        _images[key] = Image(path)
    return _images[key]


def missing_models(image):
    """Imports of the image that the console model has no function for."""
    return [(dll, name) for dll, name, _ in image.imports
            if (dll.lower(), name) not in MODELS and (dll.lower(), name) != DATA_IMPORT]


def run(path, *args, console=None, budget=DEFAULT_BUDGET, program="conx.exe"):
    """Runs `program args...` and returns its Run; raises EmulationError."""
    console = console or Console()
    process = Process(load(path), console, [program, *args], budget)
    return process.run()
