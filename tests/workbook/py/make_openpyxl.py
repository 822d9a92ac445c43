# Writes an .xlsx with openpyxl, then gives one shared string rich-text runs and one cell an inline
# string, as other producers write them.
import re
import sys
import zipfile
import openpyxl

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Parts"
ws["A1"] = "编号"
ws["B1"] = "元件名"
ws["B2"] = "A001=QRVA000001"
ws["B4"] = "A003=QRVA000003"
ws["C2"] = 123.4
ws["C3"] = -5.2
ws["C4"] = 5
ws["D2"] = True
ws["E2"] = "RICHTEXT"
ws["F2"] = "INLINE"
ws2 = wb.create_sheet("Zweite")
ws2["A1"] = "second"
ws2["AA100"] = 7
wb.create_sheet("Empty")
# Sheet order differs from creation order: move "Zweite" first.
wb.move_sheet("Zweite", offset=-1)
tmp = sys.argv[1] + ".tmp"
wb.save(tmp)

# openpyxl writes inline strings; the first sheet's texts are moved into a shared string table
# (one entry with rich-text runs and a phonetic run), and F2 keeps an inline string with an escape.
zin = zipfile.ZipFile(tmp)
names = [i.filename for i in zin.infolist()]
book_rels = zin.read("xl/_rels/workbook.xml.rels").decode("utf-8")
book_xml = zin.read("xl/workbook.xml").decode("utf-8")
rid = re.search(r'<sheet[^>]*name="Parts"[^>]*id="(rId\d+)"', book_xml).group(1)
rel = re.search(r'<Relationship[^>]*Id="%s"[^>]*>' % rid, book_rels).group(0)
part = "xl/" + re.search(r'Target="/?(?:xl/)?([^"]+)"', rel).group(1)
strings = []


def to_shared(m):
    ref, style, text = m.group(1), m.group(2) or "", m.group(3)
    if ref == "F2":
        return '<c r="F2"%s t="inlineStr"><is><t>in_x0020_line</t></is></c>' % style
    strings.append(text)
    return '<c r="%s"%s t="s"><v>%d</v></c>' % (ref, style, len(strings) - 1)


zout = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED)
for item in zin.infolist():
    data = zin.read(item.filename)
    if item.filename == part:
        text = re.sub(r'<c r="(\w+)"( s="\d+")? t="inlineStr"><is><t>(.*?)</t></is></c>', to_shared, data.decode("utf-8"))
        data = text.encode("utf-8")
    elif item.filename == "xl/_rels/workbook.xml.rels":
        data = data.decode("utf-8").replace("</Relationships>",
            '<Relationship Id="rIdSst" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>').encode("utf-8")
    elif item.filename == "[Content_Types].xml":
        data = data.decode("utf-8").replace("</Types>",
            '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>').encode("utf-8")
    zout.writestr(item, data)
items = []
for t in strings:
    if t == "RICHTEXT":
        items.append('<si><r><t>ri</t></r><r><rPr><b/></rPr><t xml:space="preserve">ch </t></r>'
                     '<r><t>text</t></r><rPh sb="0" eb="1"><t>PHONETIC</t></rPh></si>')
    else:
        items.append("<si><t>%s</t></si>" % t)
zout.writestr("xl/sharedStrings.xml",
              '<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="%d" uniqueCount="%d">%s</sst>'
              % (len(items), len(items), "".join(items)))
zout.close()
