"""A scripting host's view of libpanoctl, through ctypes: list the displays,
read the first one's brightness, set it to a percentage, and show a status
for a display that is not there.

Usage: brightness_ctypes.py <path of libpanoctl.so or .dylib> <percent>
"""
import ctypes
import sys


class DisplayInfo(ctypes.Structure):
    _fields_ = [("size", ctypes.c_size_t), ("position", ctypes.c_int),
                ("id", ctypes.c_char * 40), ("name", ctypes.c_char * 128),
                ("serial", ctypes.c_char * 24)]


def load(path):
    lib = ctypes.CDLL(path)
    lib.panoctl_status_name.restype = ctypes.c_char_p
    lib.panoctl_version.restype = ctypes.c_char_p
    return lib


def main(path, percent):
    lib = load(path)
    session = ctypes.c_void_p()
    if lib.panoctl_open(None, ctypes.byref(session)) != 0:
        return 1
    count = ctypes.c_size_t()
    lib.panoctl_display_count(session, ctypes.byref(count))
    for index in range(count.value):
        info = DisplayInfo(size=ctypes.sizeof(DisplayInfo))
        lib.panoctl_display_info_at(session, ctypes.c_size_t(index), ctypes.byref(info))
        print(info.position, info.id.decode(), info.name.decode())
    value, maximum = ctypes.c_uint(), ctypes.c_uint()
    lib.panoctl_get(session, b"1", 0x10, ctypes.byref(value), ctypes.byref(maximum))
    print(f"brightness {value.value} of {maximum.value}")
    lib.panoctl_set_percent(session, b"1", 0x10, percent, ctypes.byref(value))
    print(f"brightness {value.value}")
    status = lib.panoctl_get(session, b"9", 0x10, ctypes.byref(value), None)
    print("display 9:", lib.panoctl_status_name(status).decode())
    lib.panoctl_close(ctypes.byref(session))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
