# Writes hostile .xlsx files into the folder given: a zip bomb, broken parts, bad references.
import os
import sys
import zipfile

out = sys.argv[1]
CT = ('<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
      '<Default Extension="xml" ContentType="application/xml"/></Types>')
RELS = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
        '</Relationships>')
BOOK = ('<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
        'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
        '<sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>')
BOOK_RELS = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
             '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
             '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
             '</Relationships>')
SHEET_HEAD = '<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
SHEET_TAIL = '</sheetData></worksheet>'


def book(name, sheet, sst=None, extra=None):
    with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CT)
        z.writestr("_rels/.rels", RELS)
        z.writestr("xl/workbook.xml", BOOK)
        z.writestr("xl/_rels/workbook.xml.rels", BOOK_RELS)
        if isinstance(sheet, bytes):
            z.writestr("xl/worksheets/sheet1.xml", sheet)
        elif sheet is not None:
            z.writestr("xl/worksheets/sheet1.xml", SHEET_HEAD + sheet + SHEET_TAIL)
        if sst is not None:
            z.writestr("xl/sharedStrings.xml", sst)
        for n, data in (extra or []):
            z.writestr(n, data)


book("good.xlsx", '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1"><v>2.5</v></c></row>',
     '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>ok</t></si></sst>')
# 300 MB of spaces inside the sheet, beyond what a part may inflate to, compress to about 300 KB.
with zipfile.ZipFile(os.path.join(out, "bomb.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", CT)
    z.writestr("_rels/.rels", RELS)
    z.writestr("xl/workbook.xml", BOOK)
    z.writestr("xl/_rels/workbook.xml.rels", BOOK_RELS)
    with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as part:
        part.write(SHEET_HEAD.encode())
        spaces = b" " * (1 << 20)
        for _ in range(300):
            part.write(spaces)
        part.write(SHEET_TAIL.encode())
# Elements nested far deeper than any workbook's.
book("deep.xlsx", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + "<x>" * 5000 + "</x>" * 5000)
book("missing-sheet.xlsx", None)
book("bad-xml.xlsx", '<row r="1"><c r="A1"><v>1</v></row>')
book("bad-sst-index.xlsx", '<row r="1"><c r="A1" t="s"><v>5</v></c></row>',
     '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>only</t></si></sst>')
book("bad-ref.xlsx", '<row r="1"><c r="XFE1"><v>1</v></c></row>')
book("bad-row.xlsx", '<row r="1048577"><c><v>1</v></c></row>')
with zipfile.ZipFile(os.path.join(out, "many-entries.xlsx"), "w") as z:
    for i in range(10001):
        z.writestr("x/%d.xml" % i, "")
import warnings
warnings.simplefilter("ignore")
book("duplicate.xlsx", '<row r="1"><c r="A1"><v>1</v></c></row>',
     extra=[("xl/worksheets/sheet1.xml", SHEET_HEAD + SHEET_TAIL)])
with open(os.path.join(out, "not-a-zip.xlsx"), "wb") as f:
    f.write(b"PK\x03\x04" + b"\x00" * 200)
