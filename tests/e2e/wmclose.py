#!/usr/bin/env python3
"""Asks an X11 window to close as a window manager's close button does: the
WM_PROTOCOLS client message with WM_DELETE_WINDOW. Usage: wmclose.py WINDOW_ID
Prints the time it was sent, in nanoseconds (as date +%s%N)."""
import ctypes
import sys
import time

x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                         ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                ("pad", ctypes.c_long * 12)]  # the XEvent union is 24 longs


display = x.XOpenDisplay(None)
if not display:
    sys.exit("wmclose: no display")
event = ClientMessage(type=33, window=int(sys.argv[1], 0), format=32)  # ClientMessage
event.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
sent = x.XSendEvent(display, event.window, 0, 0, ctypes.byref(event))
x.XFlush(display)
print(time.time_ns())
x.XCloseDisplay(display)
sys.exit(0 if sent else 1)
