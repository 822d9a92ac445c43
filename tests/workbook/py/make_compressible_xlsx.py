# Writes a component list with openpyxl whose remark column repeats one long note in every row:
# an ordinary workbook that compresses far beyond 100:1. Prints the sheet part's ratio.
import sys
import zipfile
import openpyxl

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "元件"
ws["A1"] = "序号"
ws["B1"] = "元件名"
ws["C1"] = "备注"
note = "按设计图纸埋设于坝体，出厂编号与读数已核对，读数稳定。" * 40
for r in range(2, 206):
    ws.cell(row=r, column=1, value=r - 1)
    ws.cell(row=r, column=2, value="A%03d=QRVA%06d" % (r - 1, r - 1))
    ws.cell(row=r, column=3, value=note)
wb.save(sys.argv[1])
with zipfile.ZipFile(sys.argv[1]) as z:
    info = z.getinfo("xl/worksheets/sheet1.xml")
    print("%d" % (info.file_size // info.compress_size))
