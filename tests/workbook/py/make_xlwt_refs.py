# Writes an .xls whose first sheet holds a formula reading the third sheet, so the workbook carries
# SUPBOOK and EXTERNSHEET records that name sheets by position.
import sys
import xlwt

book = xlwt.Workbook(encoding="utf-8")
a = book.add_sheet("Sheet1")
b = book.add_sheet("Middle")
c = book.add_sheet("Target")
c.write(0, 0, 21)
a.write(0, 0, xlwt.Formula("Target!A1*2"))
book.save(sys.argv[1])
