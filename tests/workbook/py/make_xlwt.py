# Writes an .xls with xlwt: several sheets, numbers, texts, blank cells, rich text, wide columns,
# an extra font, Chinese text.
import sys
import xlwt

book = xlwt.Workbook(encoding="utf-8")
bold = xlwt.easyxf("font: name Times New Roman, bold on, height 280")
a = book.add_sheet("Sheet1")
a.col(0).width = 5000
a.col(3).width = 7000
a.write(0, 0, "编号", bold)
a.write(0, 1, "读数")
a.write(1, 0, "A001=QRVA000001")
a.write(1, 1, 123.4)
a.write(2, 1, -5.2)
a.write(3, 1, 5)
a.write(4, 0, "")           # empty text
a.write(5, 2, None, bold)   # blank cell carrying a format only
a.write(6, 3, True)
a.write_rich_text(7, 0, ("rich ", ("bold", xlwt.easyfont("bold on")), " end"))
a.write(8, 0, "tab\there\nnew line")
b = book.add_sheet("Second")
b.write(0, 0, "second sheet")
b.write(10, 5, 1e20)
c = book.add_sheet("空表")
book.save(sys.argv[1])
