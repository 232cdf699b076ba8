#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Seeds are starting points for libFuzzer and the inputs the replay tests run:
a few well-formed inputs per target that reach each branch of the code under
test. Run it again after changing a target's input layout; findings
(finding-*) are kept as they are.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


def value(v):
    """A table value as fuzz::Input::value() reads it: int16 eighths."""
    return struct.pack("<h", int(round(v * 8)))


def packet(code, a, b):
    return bytes([0xEE, 0x00, code, a >> 6, a & 63, b >> 6, b & 63, 0x00])


PEN = bytes([0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD9])
PEN_KEYS = bytes([0xE8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xCA])
TOUCH = bytes([0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB])
TOUCH_KEYS = bytes([0xC8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEA])


def stroke(x0, y0, x1, y1, n, ups=1):
    out = b""
    for i in range(n):
        out += packet(0x51, x0 + (x1 - x0) * i // max(1, n - 1), y0 + (y1 - y0) * i // max(1, n - 1))
    return out + packet(0x61, x1, y1) * ups


def grid(columns, rows, left=500, top=400, right=3500, bottom=3600):
    """Dots numbered column by column, as the calibration tool saves them."""
    xs, ys = [], []
    for k in range(columns * rows):
        i, j = divmod(k, rows)
        xs.append(left + (right - left) * i / (columns - 1))
        ys.append(top + (bottom - top) * j / (rows - 1))
    return xs, ys


def road_input(dot_count, dots, keys, packets, width=1920, height=1080, clock_step=2000, chunk=7):
    xs, ys = dots
    body = struct.pack("<b", dot_count)
    for k in range(20):
        body += value(xs[k] if k < len(xs) else 0) + value(ys[k] if k < len(ys) else 0)
    for mode in "TE":
        for key in (0, 1, 2, 12, 26):
            x, y = keys.get((mode, key), (0, 0))
            body += value(x) + value(y)
    body += struct.pack("<HHHB", width, height, clock_step, chunk)
    return body + packets


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode())


def board_road():
    keys = {(m, 0): (3900, 100) for m in "TE"}
    keys.update({(m, 1): (3900, 180) for m in "TE"})
    keys.update({(m, 2): (3900, 260) for m in "TE"})
    keys.update({(m, 12): (3900, 600) for m in "TE"})
    keys.update({(m, 26): (3900, 3400) for m in "TE"})
    pen_strokes = PEN + stroke(800, 800, 3200, 3000, 40) + stroke(1000, 1000, 1000, 1000, 70)
    write("board_road_fuzz", "pen-strokes-2x2", road_input(2, grid(2, 2), keys, pen_strokes))
    touch = TOUCH + stroke(3200, 800, 800, 3000, 40, ups=3) + stroke(2000, 2000, 2100, 2100, 95, ups=3)
    write("board_road_fuzz", "touch-strokes-3x3", road_input(3, grid(3, 3), keys, touch))
    write("board_road_fuzz", "touch-jumps-5x4",
          road_input(5, grid(5, 4), keys, TOUCH + b"".join(
              packet(0x51, 500 + 1500 * (i % 3), 500 + 1200 * (i % 2)) for i in range(30)) +
              packet(0x61, 500, 500) * 3))
    soft_keys = (TOUCH_KEYS + stroke(600, 3900, 600, 3900, 14, ups=3) +
                 PEN_KEYS + stroke(600, 3900, 600, 3900, 5) + stroke(600, 3900, 600, 3900, 5))
    write("board_road_fuzz", "soft-key-holds", road_input(2, grid(2, 2), keys, soft_keys))
    commands = (PEN + packet(0x85, 2048, 2048) + packet(0x85, 2048, 2048) + packet(0x87, 1000, 1000) +
                packet(0x87, 1000, 1000) + packet(0x28, 0, 0) + packet(0xF8, 0, 0) +
                TOUCH + packet(0xA2, 0, 0) + packet(0x85, 0, 0))
    write("board_road_fuzz", "pen-commands", road_input(0, ([], []), {}, commands))
    taps = PEN + b"".join(stroke(1500, 1500, 1500, 1500, 6) for _ in range(3))
    write("board_road_fuzz", "three-taps", road_input(2, grid(2, 2), keys, taps, clock_step=100))
    noisy = (PEN + stroke(800, 800, 1200, 1200, 9)[:-8] + bytes([0xEE, 0x00, 0x51]) + b"\xEE" +
             packet(0x61, 1200, 1200) + bytes([0xC8, 0xCC, 1, 2, 3, 4, 5]) + stroke(900, 900, 1000, 1000, 8))
    write("board_road_fuzz", "line-noise-mid-stroke", road_input(2, grid(2, 2), keys, noisy, chunk=3))


def wb_input(w_dot, h_dot, width, height, dots, points):
    comm_x, comm_y, scr_x, scr_y = ([0.0] * 25 for _ in range(4))
    for (i, j), (rx, ry, sx, sy) in dots.items():
        comm_x[5 * i + j], comm_y[5 * i + j], scr_x[5 * i + j], scr_y[5 * i + j] = rx, ry, sx, sy
    body = struct.pack("<iiII", w_dot, h_dot, width, height)
    for table in (comm_x, comm_y, scr_x, scr_y):
        body += b"".join(value(v) for v in table)
    return body + b"".join(value(x) + value(y) for x, y in points)


def wb_coordinate():
    square = {(0, 0): (500, 400, 100, 80), (1, 0): (3500, 400, 900, 80),
              (0, 1): (500, 3600, 100, 720), (1, 1): (3500, 3600, 900, 720)}
    points = [(2000, 2000), (500, 400), (2000, 3600), (0, 0), (4095, 4095)]
    write("wb_coordinate_fuzz", "square-2x2", wb_input(2, 2, 1000, 800, square, points))
    skewed = {(0, 0): (600, 500, 100, 80), (1, 0): (3400, 450, 900, 80),
              (0, 1): (700, 3500, 100, 720), (1, 1): (3300, 3600, 900, 720)}
    write("wb_coordinate_fuzz", "skewed-2x2", wb_input(2, 2, 1000, 800, skewed, points))
    for columns, rows, w_dot in ((3, 3, 3), (5, 4, 5)):
        xs, ys = grid(columns, rows)
        dots = {}
        for k in range(columns * rows):
            i, j = divmod(k, rows)
            dots[(i, j)] = (xs[k], ys[k], 192 + 1536 * i / (columns - 1), 108 + 864 * j / (rows - 1))
        pts = [(x, y) for x in range(0, 4096, 455) for y in range(0, 4096, 455)]
        write("wb_coordinate_fuzz", f"grid-{columns}x{rows}", wb_input(w_dot, rows, 1920, 1080, dots, pts))
    write("wb_coordinate_fuzz", "all-zero", wb_input(2, 2, 1920, 1080, {}, points))


def settings(dot_count, columns, rows, extra=""):
    xs, ys = grid(columns, rows) if columns else ([], [])
    lines = ["[General]", f"DotCount={dot_count}"]
    lines += [f"Dot{k}.x={x:g}" for k, x in enumerate(xs)] + [f"Dot{k}.y={y:g}" for k, y in enumerate(ys)]
    for mode in "TE":
        for key, y in ((0, 100), (1, 180), (2, 260), (12, 600), (26, 3400)):
            lines += [f"{mode}Key{key}.x=3900", f"{mode}Key{key}.y={y}"]
    return "\n".join(lines) + "\n" + extra


def calibration_load():
    write("calibration_load_fuzz", "form-2", settings(2, 2, 2, "CalivoPid=0\nZorvanPid=4242\n"))
    write("calibration_load_fuzz", "form-3", settings(3, 3, 3))
    write("calibration_load_fuzz", "form-5", settings(5, 5, 4))
    write("calibration_load_fuzz", "built-in", "[General]\nDotCount=0\nTKey0.y=0\nTKey1.y=57\nTKey2.y=114\n")
    write("calibration_load_fuzz", "form-4-wild",
          "[General]\nDotCount=4\nDot0.x=nan\nDot1.y=inf\nDot2.x=-1e40\nTKey2.y=\"1e9\"\n"
          "EKey0.x=@Variant(\\0\\0\\0\\x87\\x41\\x20\\0\\0)\n")
    write("calibration_load_fuzz", "failed-spacing", settings(2, 2, 2).replace("Dot3.x=3500", "Dot3.x=519.9"))
    write("calibration_load_fuzz", "sections-and-quotes",
          "; a hand edit\n[General]\nDotCount = \"3\"\nDot0.x=1,5\n[Other]\nDotCount=5\n"
          "[General]\nDot4.y=3.0e3\n%General\\Dot1.x=2\n")


def sim_script():
    for script in sorted((HERE.parent / "tools" / "board_sim" / "scripts").glob("*.sim")):
        write("sim_script_fuzz", script.name, script.read_bytes())
    write("sim_script_fuzz", "every-command",
          "hex EE 00 51 01 02 03 04 00\nmode touch-keys\nmode ElecS_Cmp_80\ndown 1 2\nup 4095 0\n"
          "key1 3 4\nkey2 5 6\ncalibrate\nmode touch\ncalibrate\nstroke 0 0 4095 4095 3\n"
          "hold 7 8 2\nwait 10\nrepeat 2\n  repeat 2\n    down 1 1\n  end\nend\n")
    write("sim_script_fuzz", "errors",
          "hex\nhex GG\nmode nothing\ndown 1\ndown 1 4096\nstroke 0 0 1 1 0\nwait -1\nend\nrepeat 2\n")


def serial_options():
    keys = ["VXSerialOptionServiceName", "VXSerialOptionSpeed", "VXSerialOptionDataBits",
            "VXSerialOptionParity", "VXSerialOptionStopBits", "VXSerialOptionInputFlowControl",
            "VXSerialOptionOutputFlowControl", "VXSerialOptionEcho", "VXSerialOptionCanonicalMode"]

    def options(flags, *records):
        out = bytes([flags])
        for key, value in records:
            value = value.encode()
            out += bytes([keys.index(key) if key in keys else len(keys), len(value)]) + value
        return out

    full = [("VXSerialOptionSpeed", "19200"), ("VXSerialOptionDataBits", "8"),
            ("VXSerialOptionParity", "Odd"), ("VXSerialOptionStopBits", "2"),
            ("VXSerialOptionInputFlowControl", "RTS"), ("VXSerialOptionOutputFlowControl", "CTS"),
            ("VXSerialOptionEcho", "YES"), ("VXSerialOptionCanonicalMode", "YES")]
    write("serial_options_fuzz", "pty-full", options(2, *full))
    write("serial_options_fuzz", "closed-full", options(0, *full))
    write("serial_options_fuzz", "other-port", options(3, *full))
    write("serial_options_fuzz", "pty-odd-values",
          options(2, ("VXSerialOptionSpeed", " -12abc"), ("VXSerialOptionDataBits", "99999999999"),
                  ("VXSerialOptionParity", "Even"), ("VXSerialOptionStopBits", "+1"),
                  ("VXSerialOptionInputFlowControl", "DTR"), ("VXSerialOptionOutputFlowControl", "CAR"),
                  ("SomethingElse", "x")))
    write("serial_options_fuzz", "pty-big-speed", options(2, ("VXSerialOptionSpeed", "4000000000")))


def serial_string():
    encodings = {1: 0, 4: 1, 5: 2, 12: 3, 30: 4, "unknown": 5}
    write("serial_string_fuzz", "ascii", bytes([encodings[1]]) + b"hello\r\n")
    write("serial_string_fuzz", "ascii-high", bytes([encodings[1]]) + b"caf\xe9")
    write("serial_string_fuzz", "utf8", bytes([encodings[4]]) + "grüße €".encode())
    write("serial_string_fuzz", "utf8-broken", bytes([encodings[4]]) + b"\xc3\x28\xed\xa0\x80\xf4\x90")
    # Forms glibc's iconv lets through: above U+10FFFF, then a surrogate.
    write("serial_string_fuzz", "utf8-beyond", bytes([encodings[4]]) + b"\xf6\x9f\x9d\x9c")
    write("serial_string_fuzz", "utf8-surrogate", bytes([encodings[4]]) + b"ok\xed\xa0\x80")
    write("serial_string_fuzz", "latin1-all", bytes([encodings[5]]) + bytes(range(256)))
    write("serial_string_fuzz", "cp1252-holes", bytes([encodings[12]]) + b"\x80\x81\x8d\x9f")
    write("serial_string_fuzz", "macroman-all", bytes([encodings[30]]) + bytes(range(256)))
    write("serial_string_fuzz", "unknown", bytes([encodings["unknown"]]) + b"abc")


if __name__ == "__main__":
    board_road()
    wb_coordinate()
    calibration_load()
    sim_script()
    serial_options()
    serial_string()
