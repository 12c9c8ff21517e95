#!/usr/bin/env python3
"""The Windows window as a person uses it, under Wine on a virtual X display.

Starts tolvane-editor.exe, finds the window by its caption, clicks its buttons
and presses keys, types paths into Windows' own file dialogs, and checks what the
window shows (a screenshot, and window_probe.exe for texts, places, focus, tab
order and the clipboard) and what it writes. Then a CHD image opened through
the dialog's CHD filter (from CHD_KINDS, made by make_chd_kinds.sh), at 144 DPI,
and at 192 DPI opening a sparse image over 4 GiB from the command line.

Usage: window_test.py EDITOR.exe window_probe.exe WORK_FOLDER VERSION CHD_KINDS
Exit status 77 (skipped) when a tool is missing, unless TOLVANE_REQUIRE_TOOLS=1.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_session  # noqa: E402
from wine_session import Failed, check  # noqa: E402

CAPTION = "Tolvane Editor by Darquil "

# The window's controls at 96 DPI: text, left, top, width, height.
CONTROLS = {
    "bnouvimg": (101, "Open Cdrwin Bin ", 0, 184, 121, 25),
    "lbtitre": (102, "Tolvane Editor 0.2.2 beta", 184, 8, 369, 25),
    "piboot": (103, "", 0, 48, 769, 129),
    "bnpatch": (104, " Patch ", 480, 184, 121, 25),
    "bnquitter": (105, "  Quit ", 688, 184, 81, 25),
    "bnouvbmp": (106, "  Open Bitmap   ", 344, 184, 129, 25),
    "bnsauvbmp": (107, "  Save Bitmap   ", 128, 184, 129, 25),
    "cbconsole": (108, "Console view", 566, 10, 112, 22),
    "cbpal": (109, "PAL", 684, 10, 80, 22),
    "lbetat": (110, None, 4, 213, 762, None),  # three lines of its font high
}
STATUS_LINES, STATUS_MARGIN = 3, 3
PUSH_BUTTONS = (101, 104, 105, 106, 107)
TAB_ORDER = ["bnouvimg", "piboot", "bnpatch", "bnquitter", "bnouvbmp", "bnsauvbmp", "cbconsole", "cbpal"]

# Windows 10's colours, so that the window background, the picture area and the
# title's face all differ and each can be checked.
COLOURS = {"ActiveBorder": (180, 180, 180), "ButtonFace": (240, 240, 240), "Window": (255, 255, 255),
           "ButtonText": (0, 0, 0), "WindowText": (0, 0, 0), "Hilight": (0, 120, 215)}

SECTOR, USER_DATA, LOGO_W, LOGO_H = 2352, 24, 384, 64
SYNC = bytes([0] + [0xFF] * 10 + [0])


def pattern_logo(seed):
    return bytes(((k % LOGO_W) * 3 + (k // LOGO_W) * 5 + seed * 17) % 256 for k in range(LOGO_W * LOGO_H))


def raw_image(sectors, logo):
    """A raw Mode 2 image: the CD sync at every sector, the logo in the user data of sectors 0-11."""
    image = bytearray((i * 7 + i // SECTOR) % 251 for i in range(sectors * SECTOR))
    for s in range(sectors):
        image[s * SECTOR:s * SECTOR + 12] = SYNC
        image[s * SECTOR + 15] = 2
    for s in range(12):
        image[s * SECTOR + USER_DATA:s * SECTOR + USER_DATA + 2048] = logo[s * 2048:(s + 1) * 2048]
    return bytes(image)


def grey_bmp(logo):
    """A 384 x 64 8-bit BMP with a grey palette, rows bottom first."""
    import struct
    offset = 14 + 40 + 1024
    header = b"BM" + struct.pack("<IHHI", offset + len(logo), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, LOGO_W, LOGO_H, 1, 8, 0, len(logo), 2835, 2835, 256, 0)
    palette = b"".join(bytes((g, g, g, 0)) for g in range(256))
    rows = b"".join(logo[y * LOGO_W:(y + 1) * LOGO_W] for y in reversed(range(LOGO_H)))
    return header + info + palette + rows


def bmp_logo(data):
    """The logo of a bottom-up 384 x 64 8-bit grey BMP."""
    offset = int.from_bytes(data[10:14], "little")
    rows = [data[offset + y * LOGO_W:offset + (y + 1) * LOGO_W] for y in range(LOGO_H)]
    return b"".join(reversed(rows))


def check_layout(window, dpi):
    scale = lambda v: (v * dpi + 48) // 96  # noqa: E731  (MulDiv rounds)
    shown = window.probe()
    controls = {c["id"]: c for c in shown["controls"]}
    # Three lines of the message font (its handle cannot be read from another process).
    status_height = controls[110]["rect"][3]
    check(status_height % STATUS_LINES == 0 and scale(12) <= status_height // STATUS_LINES <= scale(30),
          f"the status area is {status_height} pixels high at {dpi} DPI")
    client = [scale(770), scale(213) + status_height + scale(STATUS_MARGIN)]
    check(shown["client"][2:] == client, f"client area {shown['client'][2:]}, not {client}, at {dpi} DPI")
    for name, (cid, text, left, top, width, height) in CONTROLS.items():
        control = controls.get(cid)
        check(control is not None, f"{name} is missing")
        height = status_height if height is None else scale(height)
        check(control["rect"] == [scale(left), scale(top), scale(width), height],
              f"{name} at {control['rect']} at {dpi} DPI")
        if text is not None:
            check(control["text"] == text, f"{name} reads {control['text']!r}, not {text!r}")
    check(not controls[102]["tabstop"] and not controls[110]["tabstop"], "a label takes the focus")
    return shown


def run_at_96_dpi(session, work, version):
    logo = pattern_logo(0)
    new_logo = pattern_logo(9)
    image = raw_image(40, logo)
    with open(os.path.join(work, "game.bin"), "wb") as out:
        out.write(image)
    with open(os.path.join(work, "new.bmp"), "wb") as out:
        out.write(grey_bmp(new_logo))
    with open(os.path.join(work, "short.bin"), "wb") as out:
        out.write(bytes(1000))
    for stale in ("saved.bmp", "saved", "logo.xdelta", "logo"):
        if os.path.exists(os.path.join(work, stale)):
            os.remove(os.path.join(work, stale))

    window = session.start_editor([])
    shown = check_layout(window, 96)
    # The build's version, beside the title's older one, in the status's first line.
    status = next(c["text"] for c in shown["controls"] if c["id"] == 110)
    check(status == f"Tolvane Editor {version}: open a disc image to begin", f"the status starts as {status!r}")
    check(shown["focus"] == 101, f"the focus starts on control {shown['focus']}, not Open Cdrwin Bin")
    check(shown["tab_order"] == [101, 103, 105, 108], f"tab order with nothing open: {shown['tab_order']}")
    window.check_background_colours(COLOURS)
    window.check_fonts()

    # Return on Open Cdrwin Bin, which has the focus: the real open dialog, a typed Z:\ path.
    window.check_focus_mark(False, COLOURS["Hilight"])
    session.key("Return", window=window.xid)
    session.answer_dialog("Open CDR-Win File     ", session.wine_path(work, "game.bin"))
    window.wait_status("Opened game.bin: raw 2352-byte sectors")
    window.check_logo(logo, scale=2, at=(0, 0))
    session.screenshot_window(window, os.path.join(work, "win32-window.png"))
    shown = window.probe()
    check(shown["focus"] == 103, "the picture area does not have the focus after opening")
    window.check_focus_mark(True, COLOURS["Hilight"])
    # Tab and Shift+Tab go through IsDialogMessage in the message loop.
    session.key("Tab", window=window.xid)
    window.wait_focus(105)  # Patch is still disabled
    # Tab gives no button the default button's style (Wine kept it after the focus moved on).
    defaults = [c["id"] for c in window.probe()["controls"] if c["id"] in PUSH_BUTTONS and c["style"] & 0xF]
    check(not defaults, f"buttons {defaults} have the default button's style")
    window.check_focus_mark(False, COLOURS["Hilight"])
    session.key("shift+Tab", window=window.xid)
    window.wait_focus(103)

    # Console view redraws the picture without touching the image; PAL follows it.
    window.click(CONTROLS["cbconsole"])
    poll_enabled = lambda: window.probe_control(109)["enabled"]  # noqa: E731
    wine_session.poll("PAL to be enabled", wine_session.STEP_SECONDS, lambda: True if poll_enabled() else None)
    window.click(CONTROLS["cbpal"])
    wine_session.poll("PAL to be ticked", wine_session.STEP_SECONDS,
                      lambda: True if window.probe_control(109)["checked"] else None)
    window.check_picture_rect((212, 29, 344, 71), COLOURS["Window"])
    window.click(CONTROLS["cbconsole"])
    wine_session.poll("PAL to be disabled", wine_session.STEP_SECONDS, lambda: None if poll_enabled() else True)
    window.check_logo(logo, scale=2, at=(0, 0))
    check(window.probe()["focus"] == 108, "unticking Console view took the focus off it")

    # Save Bitmap: a name typed without extension gets .bmp.
    window.click(CONTROLS["bnsauvbmp"])
    session.answer_dialog("Sauver une image BMP", session.wine_path(work, "saved"))
    window.wait_status("Saved the logo to saved.bmp")
    saved = os.path.join(work, "saved.bmp")
    check(os.path.exists(saved) and not os.path.exists(os.path.join(work, "saved")), "saved.bmp was not written")
    with open(saved, "rb") as f:
        check(bmp_logo(f.read()) == logo, "saved.bmp does not hold the logo")

    # Open Bitmap, then Patch: the image's logo bytes change, nothing else does.
    window.click(CONTROLS["bnouvbmp"])
    session.answer_dialog(" Open Bitmap Image  ", session.wine_path(work, "new.bmp"))
    window.wait_status("Imported new.bmp - press Patch to write it into game.bin")
    check(window.probe_control(104)["enabled"], "Patch is not enabled after Open Bitmap")
    window.check_logo(logo, scale=2, at=(0, 0))  # Open Bitmap does not redraw
    # The logo's context menu saves the change as a patch file (a name typed without
    # extension gets .xdelta); the image stays as it is, and so do the focus and Patch.
    window.right_click(CONTROLS["piboot"])
    session.key("s")
    session.answer_dialog("Save as patch file", session.wine_path(work, "logo"))
    window.wait_status("Saved logo.xdelta, a VCDIFF delta of ")
    with open(os.path.join(work, "game.bin"), "rb") as f:
        check(f.read() == image, "Save as patch file changed the image")
    with open(os.path.join(work, "logo.xdelta"), "rb") as f:
        check(f.read(5) == b"\xd6\xc3\xc4\x00\x00", "logo.xdelta is not a VCDIFF delta")
    window.wait_focus(106)
    check(window.probe()["tab_order"] == [101, 103, 104, 105, 106, 107, 108], "tab order with everything enabled")
    # Patch with Space, from the keyboard; a second Space does not end the program.
    window.wait_focus(106)
    session.key("shift+Tab", "shift+Tab", window=window.xid)
    window.wait_focus(104)
    session.key("space", window=window.xid)
    window.wait_status("Patched game.bin")
    window.wait_focus(101)
    session.key("space", window=window.xid)
    session.cancel_dialog("Open CDR-Win File     ")
    check(window.alive(), "a second Space after Patch ended the program")
    with open(os.path.join(work, "game.bin"), "rb") as f:
        patched = f.read()
    expected = bytearray(image)
    for s in range(12):
        expected[s * SECTOR + USER_DATA:s * SECTOR + USER_DATA + 2048] = new_logo[s * 2048:(s + 1) * 2048]
    check(patched == bytes(expected), "the patched image is not the old one with the new logo's bytes")
    check([c["enabled"] for c in window.probe()["controls"] if c["id"] in (104, 106, 107)] == [False] * 3,
          "buttons still enabled after Patch")

    # Ctrl+Z takes the patch back once the person says yes: the old logo, in the file and on screen.
    session.key("ctrl+z", window=window.xid)
    box = session.wait_message_box(CAPTION)
    text = " ".join(c["text"] for c in box["controls"] if c["class"] == "Static")
    check("Take the last patch of game.bin back?" in text, f"Ctrl+Z asks {text!r}")
    session.key("y", window=box["xid"])
    window.wait_status("Took back the patch of ")
    with open(os.path.join(work, "game.bin"), "rb") as f:
        check(f.read() == image, "Ctrl+Z did not give the image its old logo back")
    window.check_logo(logo, scale=2, at=(0, 0))
    check([c["enabled"] for c in window.probe()["controls"] if c["id"] in (104, 106, 107)] == [False, True, True],
          "after Ctrl+Z, Patch is not the one disabled button")

    # A failure: a message box names the file and the reason; the window stays.
    window.click(CONTROLS["bnouvimg"])
    session.answer_dialog("Open CDR-Win File     ", session.wine_path(work, "short.bin"))
    box = session.wait_message_box(CAPTION)
    text = " ".join(c["text"] for c in box["controls"] if c["class"] == "Static")
    check("short.bin" in text and "is too short: the logo lies in the first 28248 bytes of a disc image, and this file has only 1000" in text, f"the message box says {text!r}")
    session.screenshot_window(box, os.path.join(work, "win32-failure.png"))
    session.key("Return", window=box["xid"])
    window.wait_status("\" is too short: the logo lies in the first 28248 bytes")
    check(window.alive(), "the window closed after a failure")

    # A file that is no disc image, under a long name: the status area tells it all,
    # and its context menu copies the whole text.
    long_name = "My Favourite Game Of All Time (USA) (Collector's Edition) Track 1.bin"
    with open(os.path.join(work, long_name), "wb") as out:
        out.write(b"t" * 40000)
    window.click(CONTROLS["bnouvimg"])
    session.answer_dialog("Open CDR-Win File     ", session.wine_path(work, long_name))
    window.wait_status("Opened My Favourite")
    lines = window.probe_control(110)["text"].split("\r\n")
    check(len(lines) <= STATUS_LINES and "\u2026" not in "".join(lines), f"the status reads {lines!r}")
    window.check_status_lines(len(lines))
    session.screenshot_window(window, os.path.join(work, "win32-long-status.png"))
    window.right_click((0, "", 4, 213, 762, 10))
    session.key("c")
    copied = wine_session.poll("the clipboard", wine_session.STEP_SECONDS,
                               lambda: session.clipboard() if "My Favourite" in (session.clipboard() or "") else None)
    check(f"Opened {long_name}" in copied and "does not look like a disc image" in copied,
          f"Copy gave {copied!r}")
    check(" ".join(lines) == copied.replace("\r\n", " "), f"the status area shows {lines!r}, Copy gave {copied!r}")
    os.remove(os.path.join(work, long_name))

    # Quit ends the program.
    window.click(CONTROLS["bnquitter"])
    check(window.wait_exit() == 0, "the editor did not end with status 0 after Quit")


def run_chd(session, kinds):
    """A CHD opened through the real Open dialog, its filter chosen from the list: the logo shown."""
    if not os.path.exists(os.path.join(kinds, "kinds.txt")):
        print(f"window test: no CHD opened: no {kinds}/kinds.txt (the test ChdKinds.Files makes it with chdman)",
              file=sys.stderr)
        check(os.environ.get("TOLVANE_REQUIRE_TOOLS") != "1", "no CHD to open")
        return
    window = session.start_editor([])
    window.click(CONTROLS["bnouvimg"])
    title = "Open CDR-Win File     "
    dialog = wine_session.poll("the Open dialog", wine_session.STEP_SECONDS,
                               lambda: session.find_x_windows(title)[:1] or None)[0]
    # The file type's box (cmb1) holds the filters once the dialog has filled it.
    filters = wine_session.poll("the Open dialog's filters", wine_session.STEP_SECONDS, lambda: next(
        (c["items"] for w in session.probe_windows(title) for c in w["controls"] if c["id"] == 0x470 and c["items"]),
        None))
    expected = ["CDR-Win Files  (*.bin)", "DVD images (*.iso)", "CUE sheets (*.cue)", "CHD images (*.chd)",
                "All files (*)"]
    check(filters == expected, f"the Open dialog's filters are {filters}, not {expected}")
    # The CHD filter, chosen from the keyboard (Alt+T: the file type's box), then back to the name (Alt+N).
    session.key("alt+t", "Down", "Down", "Down", "alt+n", window=dialog)
    session.answer_dialog(title, session.wine_path(kinds, "cd-mode2.chd"))
    window.wait_status("Opened cd-mode2.chd: raw 2352-byte sectors")
    window.check_logo(pattern_logo(5), scale=2, at=(0, 0))  # write_chd_discs' logo
    window.click(CONTROLS["bnquitter"])
    check(window.wait_exit() == 0, "the editor did not end with status 0 after Quit")


def run_at_144_dpi(session, work):
    """The logo at 3 x, from the area's top-left corner, on a display at 150 %."""
    logo = pattern_logo(5)
    with open(os.path.join(work, "game144.bin"), "wb") as out:
        out.write(raw_image(40, logo))
    session.set_dpi(144)
    window = session.start_editor([session.wine_path(work, "game144.bin")])
    window.wait_status("Opened game144.bin")
    check_layout(window, 144)
    window.check_logo(logo, scale=3, at=(0, 0))
    if window.probe()["focus"] != 103:  # the window took its first activation after the image opened
        session.key("Tab", window=window.xid)
        window.wait_focus(103)
    window.check_focus_mark(True, COLOURS["Hilight"], dpi=144)
    window.click(CONTROLS["bnquitter"], dpi=144)
    check(window.wait_exit() == 0, "the editor did not end with status 0 after Quit")
    os.remove(os.path.join(work, "game144.bin"))


def run_at_192_dpi(session, work):
    """A sparse DVD image over 4 GiB, opened from the command line, on a display at 200 %."""
    logo = pattern_logo(3)
    new_logo = pattern_logo(11)
    big = os.path.join(work, "big.iso")
    size = (4 << 30) + 123 * 2048
    with open(big, "wb") as out:
        out.write(logo)
        out.seek(16 * 2048)
        out.write(b"\x01CD001\x01")  # an ISO 9660 volume: 2048-byte sectors
        out.seek(size - 5)
        out.write(b"end\x00!")
    with open(os.path.join(work, "new2.bmp"), "wb") as out:
        out.write(grey_bmp(new_logo))

    session.set_dpi(192)
    window = session.start_editor([session.wine_path(work, "big.iso")])
    window.wait_status("Opened big.iso: 2048-byte sectors")
    check_layout(window, 192)
    window.check_logo(logo, scale=4, at=(0, 0))  # 1536 x 256 at the top-left of 1538 x 258
    session.screenshot_window(window, os.path.join(work, "win32-window-192dpi.png"))

    window.click(CONTROLS["bnouvbmp"], dpi=192)
    session.answer_dialog(" Open Bitmap Image  ", session.wine_path(work, "new2.bmp"))
    window.wait_status("Imported new2.bmp")
    window.click(CONTROLS["bnpatch"], dpi=192)
    window.wait_status("Patched big.iso")
    check(os.path.getsize(big) == size, "the image changed its length")
    with open(big, "rb") as f:
        check(f.read(len(new_logo)) == new_logo, "the big image's logo was not patched")
        f.seek(16 * 2048)
        check(f.read(7) == b"\x01CD001\x01", "the volume descriptor changed")
        f.seek(size - 5)
        check(f.read() == b"end\x00!", "the end of the image changed")
    window.click(CONTROLS["bnquitter"], dpi=192)
    check(window.wait_exit() == 0, "the editor did not end with status 0 after Quit")
    os.remove(big)


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__.strip().splitlines()[-2])
    editor, probe, work = (os.path.abspath(a) for a in sys.argv[1:4])
    version, kinds = sys.argv[4], os.path.abspath(sys.argv[5])
    missing = [tool for tool in ("Xvfb", "xdotool", "import", "wine", "wineserver") if not shutil.which(tool)]
    if missing:
        print("window test: missing " + ", ".join(missing), file=sys.stderr)
        return 1 if os.environ.get("TOLVANE_REQUIRE_TOOLS") == "1" else 77
    os.makedirs(work, exist_ok=True)
    started = time.monotonic()
    with wine_session.Session(editor, probe, os.path.join(work, "wine"), CAPTION, COLOURS) as session:
        try:
            run_at_96_dpi(session, work, version)
            run_chd(session, kinds)
            run_at_144_dpi(session, work)
            run_at_192_dpi(session, work)
        except Failed as failure:
            session.screenshot(os.path.join(work, "failure.png"))
            print(f"window test: {failure} (screen in {work}/failure.png)", file=sys.stderr)
            return 1
    print(f"window test: passed in {time.monotonic() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
