# Writes the benchmark's cells with xlwt: ROWS rows of text, two numbers, text; prints seconds taken
# (interpreter start-up excluded).
import sys
import time

t0 = time.perf_counter()
import xlwt

rows = int(sys.argv[2])
book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Sheet1")
for i in range(rows):
    r = sheet.row(i)
    r.write(0, str(i + 1))
    r.write(1, (i % 5000) / 10.0)
    r.write(2, -5.2 + (i % 100) / 10.0)
    r.write(3, "2026-12-07 %02d:%02d:%02d" % ((i // 3600) % 24, (i // 60) % 60, i % 60))
    if i % 1000 == 999:
        sheet.flush_row_data()
book.save(sys.argv[1])
print(time.perf_counter() - t0)
