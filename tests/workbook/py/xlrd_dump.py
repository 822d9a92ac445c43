# Independent check: lists a workbook as xlrd sees it.
#   sheet<TAB>name
#   row<TAB>col<TAB>kind<TAB>value     (1-based; kind s, n, b or e; numbers as repr(float))
import sys
import xlrd


def esc(s):
    return s.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t").replace("\r", "\\r")


book = xlrd.open_workbook(sys.argv[1], formatting_info=len(sys.argv) > 2, ragged_rows=True)
out = []
for sh in book.sheets():
    out.append("sheet\t" + esc(sh.name))
    for r in range(sh.nrows):
        for c in range(sh.row_len(r)):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_TEXT:
                out.append("%d\t%d\ts\t%s" % (r + 1, c + 1, esc(cell.value)))
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                out.append("%d\t%d\tn\t%r" % (r + 1, c + 1, float(cell.value)))
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                out.append("%d\t%d\tb\t%d" % (r + 1, c + 1, cell.value))
            elif cell.ctype == xlrd.XL_CELL_ERROR:
                out.append("%d\t%d\te\t%d" % (r + 1, c + 1, cell.value))
    if len(sys.argv) > 2:
        widths = sorted((k, v.width) for k, v in sh.colinfo_map.items())
        out.append("widths\t" + " ".join("%d:%d" % w for w in widths))
if len(sys.argv) > 2:
    out.append("fonts\t" + " ".join("%s/%d/%d" % (f.name, f.height, f.bold) for f in book.font_list))
sys.stdout.write("\n".join(out) + "\n")
