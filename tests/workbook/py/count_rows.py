# Independent check of very large written .xlsx files, quicker than openpyxl: streams each
# worksheet through expat (xml.etree.iterparse) and prints, in workbook order,
#   sheet<TAB>name<TAB>row elements<TAB>r of the last row<TAB>texts and values of its cells
import posixpath
import sys
import zipfile
import xml.etree.ElementTree as ET

MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"
R_ID = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"

z = zipfile.ZipFile(sys.argv[1])
rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels")).iter(REL + "Relationship")}
for sheet in ET.fromstring(z.read("xl/workbook.xml")).iter(MAIN + "sheet"):
    part = posixpath.normpath(posixpath.join("xl", rels[sheet.get(R_ID)]))
    count, last_r, last = 0, "", []
    with z.open(part) as f:
        for _, el in ET.iterparse(f):
            if el.tag == MAIN + "row":
                count += 1
                last_r = el.get("r")
                last = ["".join(c.itertext()) for c in el]
                el.clear()
    print("sheet\t%s\t%d\t%s\t%s" % (sheet.get("name"), count, last_r, " ".join(last)))
