"""UTF-16 at the library's boundary: its characters are 16-bit code units, whatever the
platform's wchar_t, so strings travel as NUL-terminated uint16 arrays."""

import ctypes

Char = ctypes.c_uint16
CharPtr = ctypes.POINTER(Char)

# Lone surrogates are passed through both ways: the library's strings are UTF-16 code unit
# sequences, not necessarily well-formed text, and a reply must never fail to decode.
_ERRORS = "surrogatepass"


def to_utf16(value, name):
    """A NUL-terminated UTF-16 copy of the str `value`, as a ctypes array.

    An embedded NUL would silently cut the string short on the other side, so it is refused.
    """
    if not isinstance(value, str):
        raise TypeError(f"{name} must be str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{name} contains a NUL character")
    data = value.encode("utf-16-le", _ERRORS)
    buffer = (Char * (len(data) // 2 + 1))()
    ctypes.memmove(buffer, data, len(data))
    return buffer


def wipe(buffer):
    """Overwrites a buffer made by to_utf16 (one that held a password)."""
    ctypes.memset(buffer, 0, ctypes.sizeof(buffer))


def from_utf16(pointer):
    """The str held by a NUL-terminated UTF-16 block; never reads past the terminator."""
    length = 0
    while pointer[length] != 0:
        length += 1
    return ctypes.string_at(pointer, length * 2).decode("utf-16-le", _ERRORS)
