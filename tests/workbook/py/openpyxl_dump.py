# Independent check of written .xlsx files: lists a workbook as openpyxl reads it.
#   sheet<TAB>name
#   row<TAB>col<TAB>kind<TAB>value   (1-based; kind i int, f float (repr), s str, e error; others as b)
# Texts escape backslash, tab, CR, LF and other control characters (\xHH).
import sys
import openpyxl


def esc(s):
    out = []
    for ch in s:
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ord(ch) < 0x20:
            out.append("\\x%02x" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


def kind(cell_type, value):
    if cell_type == "e":
        return "e"
    if isinstance(value, bool):
        return "b"
    if isinstance(value, int):
        return "i"
    if isinstance(value, float):
        return "f"
    if isinstance(value, str):
        return "s"
    return "?"


def show(value):
    return repr(value) if isinstance(value, float) else esc(str(value))


path = sys.argv[1]
out = []
book = openpyxl.load_workbook(path)
for ws in book.worksheets:
    out.append("sheet\t" + esc(ws.title))
    for row in ws.iter_rows():
        for cell in row:
            if cell.value is None:
                continue
            out.append("%d\t%d\t%s\t%s" % (cell.row, cell.column, kind(cell.data_type, cell.value), show(cell.value)))
sys.stdout.write("\n".join(out) + "\n")
