#!/usr/bin/env python3
"""Checks the series files of a working directory before they are shipped.

Reads the catalogue ZQCList.TXT and every series file it names (or only the
series files given on the command line), parses them the way the program's
loader does, and prints one line per problem: how many items, groups and
answer letters it has, and which of the four frame layouts the board will
use for it with the window at its design size. Any inconsistency that would
make a problem unsolvable or unshowable is an error; things that would only
look poor (an item that does not fit inside its frame, more items than a
frame can show) are warnings, which --strict turns into errors.

Label widths are estimated in twips like this: a full-width character 225
(15 px at 11.25 pt), a half-width character 110, and a label is its caption
" " + text + " " plus 30 for the border. Where the IPA P Gothic font file is
installed, the widths are also measured with its real glyph advances, and
the layout must come out the same both ways, so that a problem never sits
right on the edge between two layouts.

Usage: tools/check-series.py [--dir DIR] [--strict] [--font FILE] [SERIES ...]
Exit status: 0 clean, 1 errors found, 2 bad usage.
"""

import argparse
import os
import struct
import sys

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
DEFAULT_DIR = os.path.join(os.path.dirname(TOOLS_DIR), "data")
ENCODING = "cp932"

BLANKS = " \u3000"

# Window at its design size: client 9330 x 6870 twips plus the frame.
OUTER_W = 9330 + 120
OUTER_H = 6870 + 405

MAX_ITEMS = 21
MAX_GROUPS = 6
MAX_PROBLEMS = 99
MAX_CATALOGUE = 50

ITEM_HEIGHT = 285          # item label, 11.25 pt
ROW_PITCH = 350            # rows of the item flow
FLOW_LEFT = 360
FLOW_TOP = 720
FLOW_GAP = 150
LABEL_BORDER = 30          # 1 px each side
FULL_WIDTH = 225           # 15 px at 11.25 pt
HALF_WIDTH = 110
CAPTION_FULL = 240         # group captions: 12 pt fixed-pitch, bold
CAPTION_HALF = 120
QUESTION_WIDTH = 6730      # Label3 at the design size
QUESTION_LINES = 2

FONT_CANDIDATES = [
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/truetype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic-p.ttf",
]

LAYOUT_NAMES = {
    "stacked": "stacked pair",
    "grid": "two-by-two grid",
    "row": "single row",
    "tworow": "two rows",
}


# ---------------------------------------------------------------- text rules

def trim(s):
    return s.strip(BLANKS)


def ltrim(s):
    return s.lstrip(BLANKS)


def begins(line, *words):
    t = ltrim(line)
    return any(t.startswith(w) for w in words)


def first_blank(s):
    """0-based index of the first blank, or -1."""
    positions = [i for i in (s.find(" "), s.find("\u3000")) if i >= 0]
    return min(positions) if positions else -1


def is_full_width(ch):
    code = ord(ch)
    if code < 0x80:
        return False
    if 0xFF61 <= code <= 0xFF9F:  # half-width katakana
        return False
    return True


def estimate_text(text, full=FULL_WIDTH, half=HALF_WIDTH):
    return sum(full if is_full_width(c) else half for c in text)


def estimate_item_label(term):
    return estimate_text(" " + term + " ") + LABEL_BORDER


def estimate_caption_label(name):
    return estimate_text(" " + name + " ", CAPTION_FULL, CAPTION_HALF) + LABEL_BORDER


# ------------------------------------------------------- real glyph advances

class FontAdvances:
    """Horizontal advances of a TrueType font, from its cmap and hmtx tables."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        tables = {}
        count = struct.unpack(">H", data[4:6])[0]
        for i in range(count):
            tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
            tables[tag.decode("latin-1")] = (offset, length)
        head = tables["head"][0]
        self.units_per_em = struct.unpack(">H", data[head + 18:head + 20])[0]
        hhea = tables["hhea"][0]
        metrics = struct.unpack(">H", data[hhea + 34:hhea + 36])[0]
        hmtx = tables["hmtx"][0]
        self.advances = [struct.unpack(">H", data[hmtx + 4 * i:hmtx + 4 * i + 2])[0]
                         for i in range(metrics)]
        self.cmap = self._read_cmap(data, tables["cmap"][0])
        self.path = path

    @staticmethod
    def _read_cmap(data, base):
        count = struct.unpack(">H", data[base + 2:base + 4])[0]
        chosen = None
        for i in range(count):
            platform, encoding, offset = struct.unpack(">HHI", data[base + 4 + 8 * i:base + 12 + 8 * i])
            fmt = struct.unpack(">H", data[base + offset:base + offset + 2])[0]
            if platform == 3 and encoding in (1, 10) and fmt in (4, 12):
                if chosen is None or fmt == 12:
                    chosen = (base + offset, fmt)
        if chosen is None:
            raise ValueError("no Unicode cmap")
        start, fmt = chosen
        mapping = {}
        if fmt == 4:
            segx2 = struct.unpack(">H", data[start + 6:start + 8])[0]
            seg = segx2 // 2
            ends = struct.unpack(f">{seg}H", data[start + 14:start + 14 + segx2])
            p = start + 16 + segx2
            starts = struct.unpack(f">{seg}H", data[p:p + segx2])
            deltas = struct.unpack(f">{seg}h", data[p + segx2:p + 2 * segx2])
            range_base = p + 2 * segx2
            offsets = struct.unpack(f">{seg}H", data[range_base:range_base + segx2])
            for s in range(seg):
                for code in range(starts[s], ends[s] + 1):
                    if code == 0xFFFF:
                        continue
                    if offsets[s] == 0:
                        glyph = (code + deltas[s]) & 0xFFFF
                    else:
                        at = range_base + 2 * s + offsets[s] + 2 * (code - starts[s])
                        glyph = struct.unpack(">H", data[at:at + 2])[0]
                        if glyph:
                            glyph = (glyph + deltas[s]) & 0xFFFF
                    mapping[code] = glyph
        else:
            groups = struct.unpack(">I", data[start + 12:start + 16])[0]
            for g in range(groups):
                first, last, glyph = struct.unpack(">III", data[start + 16 + 12 * g:start + 28 + 12 * g])
                for code in range(first, last + 1):
                    mapping[code] = glyph + code - first
        return mapping

    def advance_units(self, ch):
        glyph = self.cmap.get(ord(ch), 0)
        if glyph >= len(self.advances):
            glyph = len(self.advances) - 1
        return self.advances[glyph]

    def label_widths(self, term, pixel_size=15.0):
        """Item label width in twips, with exact and with per-glyph rounded advances."""
        caption = " " + term + " "
        exact = sum(self.advance_units(c) * pixel_size / self.units_per_em for c in caption)
        rounded = sum(round(self.advance_units(c) * pixel_size / self.units_per_em) for c in caption)
        return [exact * 15 + LABEL_BORDER, rounded * 15 + LABEL_BORDER]


# ------------------------------------------------------------------ loading

class Problem:
    def __init__(self, line):
        self.line = line
        self.question = ""
        self.item_text = None
        self.group_text = None
        self.answer_line = None
        self.items = []
        self.groups = []
        self.answers = []
        self.explanation = ""
        self.explanation_at_eof = False
        self.joins = []  # (section, line number) where two lines run together


def split_prefixed(text, prefix):
    """The loader's split of item or group text into entries."""
    s = trim(text)
    entries = []
    while first_blank(s) >= 0:
        p = first_blank(s)
        entries.append(trim(s[prefix:p + 1]))
        s = trim(s[p:])
    if s:
        entries.append(s[prefix:])
    return entries


def run_together(parts):
    """Line numbers at which a line is joined to the one before it without a
    blank between them, so that two entries would become one."""
    found = []
    for (_, before), (number, after) in zip(parts, parts[1:]):
        if before and after and before[-1] not in BLANKS and after[0] not in BLANKS:
            found.append(number)
    return found


def parse_series(lines):
    """Parses series lines like the program; returns problems and findings."""
    problems = []
    orphans = []
    notes = []
    state = 0
    q = ""
    items_acc = ""
    groups_acc = ""
    item_parts = []
    group_parts = []
    expl = None
    current = None
    question_line = 0

    for number, line in enumerate(lines, 1):
        if trim(line) == "":
            continue
        if begins(line, "問題", "設問"):
            if state == 1 and q:
                orphans.append(question_line)
                q = ""
            if state in (2, 3):
                notes.append(f"line {number}: a new problem begins before problem "
                             f"{len(problems)} reached its {'group' if state == 2 else 'answer'} section")
            state = 1
            question_line = number
        if state == 0:
            continue
        if state == 1:
            if begins(line, "Ａ群", "語群"):
                state = 2
                current = Problem(question_line)
                current.question = q
                problems.append(current)
                q = ""
            else:
                q += trim(line)
                if expl is not None:
                    problems[-1].explanation = expl
                    expl = None
        elif state == 2:
            if begins(line, "Ｂ群", "分類群"):
                state = 3
                current.item_text = items_acc
                current.items = split_prefixed(items_acc, 1)
                current.joins += [("item", n) for n in run_together(item_parts)]
                items_acc = ""
                item_parts = []
            else:
                items_acc += line
                item_parts.append((number, line))
        elif state == 3:
            if begins(line, "正解", "解答"):
                state = 4
                current.group_text = groups_acc
                current.groups = split_prefixed(groups_acc, 2)
                current.joins += [("group", n) for n in run_together(group_parts)]
                groups_acc = ""
                group_parts = []
                current.answer_line = trim(line)
                expl = ""
            else:
                groups_acc += line
                group_parts.append((number, line))
        elif state == 4:
            if begins(line, "解説"):
                expl = "\u3000"
            else:
                expl += trim(line)
        if len(problems) > MAX_PROBLEMS:
            notes.append(f"line {number}: more than {MAX_PROBLEMS} problems; the rest is not read")
            break

    if state == 1 and q:
        orphans.append(question_line)
    if state in (2, 3) and current is not None:
        notes.append(f"the file ends inside problem {len(problems)}")
    if expl is not None and problems:
        # The explanation of the last problem is only complete at the end of
        # the file; keep it, and let the report say so.
        problems[-1].explanation = expl
        problems[-1].explanation_at_eof = True
    return problems, orphans, notes


def read_lines(path, errors):
    """Reads a code page 932 file with CR LF line ends, strictly."""
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        errors.append(f"{path}: cannot be read ({e.strerror})")
        return None
    try:
        text = raw.decode(ENCODING)
    except UnicodeDecodeError as e:
        errors.append(f"{path}: byte {e.start} is not valid code page 932")
        return None
    if raw and not raw.endswith(b"\r\n"):
        errors.append(f"{path}: the last line has no CR LF")
    body = text.replace("\r\n", "")
    if "\n" in body or "\r" in body:
        errors.append(f"{path}: has line ends other than CR LF")
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if any("\t" in line for line in lines):
        errors.append(f"{path}: contains tabs, which are not blanks to the program")
    return lines


# ------------------------------------------------------------------- layout

def flow_items(widths):
    """Positions of the item labels; returns the frame top F and the row count."""
    x, y = FLOW_LEFT, FLOW_TOP
    rows = 1
    for i in range(1, len(widths)):
        x = x + widths[i - 1] + FLOW_GAP
        if x + widths[i] > OUTER_W - FLOW_GAP:
            y += ROW_PITCH
            x = FLOW_LEFT
            rows += 1
    bottom = y + ITEM_HEIGHT
    frame_top = 2280.0
    if frame_top < bottom:
        frame_top = bottom + 300
    return frame_top, rows


def choose_layout(groups, widest):
    if groups == 2 and widest > (OUTER_W - 80) / 2:
        return "stacked"
    if groups == 4 and widest > (OUTER_W - 80) / 4:
        return "grid"
    if groups < 5:
        return "row"
    return "tworow"


def frames(layout, groups, top):
    """(width, height) of every frame, in group order."""
    w, h = OUTER_W, OUTER_H
    first_h = (h - top - 270) / 2 - 500
    second_top = top + first_h + 100
    second_h = h - 480 - second_top - 500
    if layout == "stacked":
        return [(w - 400, first_h), (w - 400, second_h)]
    if layout == "grid":
        p = (w - 250) / 2 - 50
        return [(p - 50, first_h)] * 2 + [(p - 50, second_h)] * 2
    if layout == "row":
        p = (w - (groups + 1) * 50 - 50) / groups - 5
        return [(p - 50, h - 480 - top - 500)] * groups
    p = (w - 250) / 3 - 50
    return [(p - 50, first_h)] * 3 + [(p - 50, second_h)] * (groups - 3)


def slots_that_fit(height):
    return int((height - 250) // ITEM_HEIGHT)


# ------------------------------------------------------------------- checks

def check_problem(index, prob, font, errors, warnings):
    where = f"problem {index} (line {prob.line})"

    # Heading and question text.
    s = prob.question
    cut = [i for i in (s.find(" "), s.find("\u3000")) if i >= 0]
    split_at = min(cut) if cut else 9
    if split_at > 9:
        split_at = 9
    heading, rest = s[:split_at], s[split_at:]
    if not cut or min(cut) > 9:
        errors.append(f"{where}: no blank within the first 10 characters of the question, "
                      "so the heading cannot be split off")
    if len(heading) < 3:
        warnings.append(f"{where}: the heading {heading!r} is unusually short")
    if not trim(rest):
        errors.append(f"{where}: the question has no text after its heading")
    if estimate_text(rest) > QUESTION_WIDTH * QUESTION_LINES:
        warnings.append(f"{where}: the question text is longer than {QUESTION_LINES} lines of its label")

    for section, number in prob.joins:
        errors.append(f"{where}: line {number} continues the {section} text without a blank "
                      "before it or at the end of the line above, so two entries run together")

    # Items.
    items, groups = prob.items, prob.groups
    if prob.item_text is None or prob.group_text is None or prob.answer_line is None:
        errors.append(f"{where}: incomplete problem")
        return None
    if not items:
        errors.append(f"{where}: no items")
    if len(items) > MAX_ITEMS:
        errors.append(f"{where}: {len(items)} items, at most {MAX_ITEMS}")
    for n, term in enumerate(items, 1):
        if term == "":
            errors.append(f"{where}: item {n} is empty (a prefix with nothing after it)")
        if "," in term:
            errors.append(f"{where}: item {n} {term!r} contains a comma")
    dupes = sorted({t for t in items if items.count(t) > 1})
    if dupes:
        warnings.append(f"{where}: items appear twice: {', '.join(dupes)}")

    # Groups.
    if not groups:
        errors.append(f"{where}: no groups")
    if len(groups) > MAX_GROUPS:
        errors.append(f"{where}: {len(groups)} groups, at most {MAX_GROUPS}")
    for n, name in enumerate(groups, 1):
        if trim(name) == "":
            errors.append(f"{where}: group {n} is empty after its two-character prefix")
        if "," in name:
            errors.append(f"{where}: group {n} {name!r} contains a comma")

    # Answer line: letters at positions 3, 5, 7, ... of the trimmed line.
    body = prob.answer_line[2:]
    letters = []
    if len(body) % 2:
        errors.append(f"{where}: the answer line ends in {body[-1]!r} with no separator after it")
    for i in range(0, len(body) - 1, 2):
        letter, sep = body[i], body[i + 1]
        if letter not in "abcdef":
            errors.append(f"{where}: answer character {letter!r} at position {i + 3} is not a letter a to f")
            continue
        if sep in BLANKS:
            errors.append(f"{where}: a blank separates the answers at position {i + 4}")
        letters.append(ord(letter) - 96)
    prob.answers = letters
    if len(letters) != len(items):
        errors.append(f"{where}: {len(items)} items but {len(letters)} answer letters")
    for n, g in enumerate(letters, 1):
        if g > len(groups):
            errors.append(f"{where}: answer {n} names group {g}, but there are {len(groups)} groups")
    used = set(letters)
    for g in range(1, len(groups) + 1):
        if g not in used:
            warnings.append(f"{where}: no item belongs to group {g} ({groups[g - 1]})")

    # Explanation.
    if trim(prob.explanation) == "":
        warnings.append(f"{where}: no explanation")

    if not items or not groups or len(groups) > MAX_GROUPS or len(items) > MAX_ITEMS:
        return None

    # Layout by the estimate, and by the real font where there is one.
    widths = [estimate_item_label(t) for t in items]
    widest = max(widths)
    layout = choose_layout(len(groups), widest)
    measured = []
    if font is not None:
        for variant in range(2):
            real = [font.label_widths(t)[variant] for t in items]
            measured.append(choose_layout(len(groups), max(real)))
        if any(m != layout for m in measured):
            errors.append(f"{where}: the layout depends on the exact label widths "
                          f"(estimate: {LAYOUT_NAMES[layout]}, measured: "
                          f"{', '.join(LAYOUT_NAMES[m] for m in measured)}); "
                          "make the widest item clearly longer or shorter")

    top, rows = flow_items(widths)
    boxes = frames(layout, len(groups), top)
    for g, (fw, fh) in enumerate(boxes, 1):
        members = [items[i] for i, a in enumerate(letters) if a == g and i < len(items)]
        fit = slots_that_fit(fh)
        if len(members) > fit:
            warnings.append(f"{where}: group {g} gets {len(members)} items, its frame shows {fit}")
        for term in members:
            if estimate_item_label(term) + 120 > fw:
                warnings.append(f"{where}: item {term!r} is wider than the frame of group {g}")
        if estimate_caption_label(groups[g - 1]) > fw:
            warnings.append(f"{where}: the caption of group {g} is wider than its frame")

    return {
        "heading": heading,
        "items": len(items),
        "groups": len(groups),
        "answers": len(letters),
        "widest": widest,
        "rows": rows,
        "top": top,
        "layout": layout,
    }


def read_catalogue(directory, errors):
    path = os.path.join(directory, "ZQCList.TXT")
    lines = read_lines(path, errors)
    if lines is None:
        return []
    entries = []
    for number, line in enumerate(lines, 1):
        if line == "":
            errors.append(f"{path}:{number}: empty line; it would be read as an entry of its own")
            continue
        fields = []
        rest = line
        while True:
            rest = rest.lstrip(" ")
            if rest.startswith('"'):
                end = rest.find('"', 1)
                if end < 0:
                    errors.append(f"{path}:{number}: unclosed double quote")
                    break
                fields.append(rest[1:end])
                rest = rest[end + 1:]
                comma = rest.find(",")
                if comma < 0:
                    rest = None
                else:
                    rest = rest[comma + 1:]
            else:
                comma = rest.find(",")
                if comma < 0:
                    fields.append(rest.rstrip(" "))
                    rest = None
                else:
                    fields.append(rest[:comma].rstrip(" "))
                    rest = rest[comma + 1:]
            if rest is None:
                break
        if len(fields) != 2:
            errors.append(f"{path}:{number}: {len(fields)} fields, expected title and file name")
            continue
        title, name = fields
        if trim(title) == "":
            errors.append(f"{path}:{number}: empty title")
        entries.append((title, name))
    if not entries:
        errors.append(f"{path}: no entries")
    if len(entries) > MAX_CATALOGUE:
        errors.append(f"{path}: {len(entries)} entries, at most {MAX_CATALOGUE}")
    return entries


def check_marks_file(directory, errors):
    path = os.path.join(directory, "Marked.txt")
    lines = read_lines(path, errors)
    if lines is None:
        return
    if len(lines) < 5 or len(lines) % 5:
        errors.append(f"{path}: {len(lines)} lines; the file must consist of five-line records")
        return
    print(f"Marked.txt: placeholder record and {len(lines) // 5 - 1} marked problem(s)")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--dir", default=DEFAULT_DIR, help="working directory with the data files")
    parser.add_argument("--strict", action="store_true", help="treat warnings as errors")
    parser.add_argument("--font", help="TrueType file of the item font (IPA P Gothic)")
    parser.add_argument("series", nargs="*", help="series files to check instead of the catalogue")
    args = parser.parse_args(argv[1:])

    errors, warnings = [], []

    font = None
    font_path = args.font or next((p for p in FONT_CANDIDATES if os.path.exists(p)), None)
    if font_path:
        try:
            font = FontAdvances(font_path)
        except (OSError, ValueError, KeyError, struct.error) as e:
            errors.append(f"{font_path}: cannot read its metrics ({e})")

    if args.series:
        targets = [(os.path.basename(p), p) for p in args.series]
    else:
        catalogue = read_catalogue(args.dir, errors)
        targets = [(title, os.path.join(args.dir, name)) for title, name in catalogue]
        check_marks_file(args.dir, errors)

    print(f"width estimate: full-width {FULL_WIDTH}, half-width {HALF_WIDTH}, border {LABEL_BORDER} twips; "
          f"window {OUTER_W} x {OUTER_H} twips")
    print("measured with: " + (font.path if font else "(no font file found; estimate only)"))
    print(f"stacked pair when 2 groups and widest > {(OUTER_W - 80) / 2:.1f}; "
          f"grid when 4 groups and widest > {(OUTER_W - 80) / 4:.1f}")
    print()

    seen_layouts = {}
    header = f"{'file':<10} {'no':>2} {'heading':<8} {'items':>5} {'groups':>6} {'answers':>7} " \
             f"{'widest':>6} {'rows':>4} {'top':>5}  layout"
    for title, path in targets:
        file_errors = []
        lines = read_lines(path, file_errors)
        errors.extend(file_errors)
        if lines is None:
            continue
        problems, orphans, notes = parse_series(lines)
        name = os.path.basename(path)
        print(f"{name}: {title}  ({len(problems)} problems)")
        print(header)
        for line in orphans:
            errors.append(f"{name}: the question at line {line} has no item section")
        for note in notes:
            errors.append(f"{name}: {note}")
        if not problems:
            errors.append(f"{name}: no problem found")
        for index, prob in enumerate(problems, 1):
            local_errors = []
            local_warnings = []
            info = check_problem(index, prob, font, local_errors, local_warnings)
            errors.extend(f"{name}: {e}" for e in local_errors)
            warnings.extend(f"{name}: {w}" for w in local_warnings)
            if info is None:
                print(f"{name:<10} {index:>2} (not laid out)")
                continue
            seen_layouts.setdefault(info["layout"], []).append(f"{name}#{index}")
            print(f"{name:<10} {index:>2} {info['heading']:<8} {info['items']:>5} {info['groups']:>6} "
                  f"{info['answers']:>7} {info['widest']:>6} {info['rows']:>4} {info['top']:>5.0f}  "
                  f"{LAYOUT_NAMES[info['layout']]}")
        if problems and problems[-1].explanation_at_eof and trim(problems[-1].explanation):
            print(f"  note: the explanation of problem {len(problems)} ends at the end of the file")
        print()

    if not args.series:
        for key, label in LAYOUT_NAMES.items():
            if key not in seen_layouts:
                errors.append(f"no problem uses the {label} layout")
        print("layouts: " + "; ".join(f"{LAYOUT_NAMES[k]} {len(v)}" for k, v in seen_layouts.items()))

    for w in warnings:
        print(f"warning: {w}")
    for e in errors:
        print(f"error: {e}")
    if errors or (args.strict and warnings):
        print(f"{len(errors)} error(s), {len(warnings)} warning(s)")
        return 1
    print(f"clean: {len(warnings)} warning(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
