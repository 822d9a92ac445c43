# Structural check of a written .xlsx: prints "ok", or one line per problem, then exits non-zero.
# - the zip: every part deflated, CRCs right, local headers agreeing with the central directory
#   (no data descriptors), no ZIP64, no duplicate names;
# - the package: every XML part well-formed, every part given a content type, every
#   relationship target present, the workbook's sheets each a worksheet part, white space at
#   the ends of a text kept.
import posixpath
import struct
import sys
import zipfile
import xml.etree.ElementTree as ET

path = sys.argv[1]
problems = []
z = zipfile.ZipFile(path)
infos = z.infolist()
names = [i.filename for i in infos]
if len(set(names)) != len(names):
    problems.append("duplicate part names")
bad = z.testzip()
if bad:
    problems.append("bad CRC in " + bad)
raw = open(path, "rb").read()
for i in infos:
    if i.compress_type != zipfile.ZIP_DEFLATED:
        problems.append(i.filename + " is not deflated")
    if i.flag_bits & 0x8:
        problems.append(i.filename + " uses a data descriptor")
    if i.extra:
        problems.append(i.filename + " has an extra field (ZIP64?)")
    sig, _, flags, method, _, _, crc, csize, usize, nlen, xlen = struct.unpack_from("<IHHHHHIIIHH", raw, i.header_offset)
    if sig != 0x04034B50:
        problems.append(i.filename + ": no local header at its offset")
    elif (crc, csize, usize) != (i.CRC, i.compress_size, i.file_size):
        problems.append(i.filename + ": local header disagrees with the central directory")
    elif raw[i.header_offset + 30:i.header_offset + 30 + nlen].decode() != i.filename:
        problems.append(i.filename + ": local header has another name")

NS_CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
NS_REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"
NS_MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
NS_R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
trees = {}
for n in names:
    if n.endswith(".xml") or n.endswith(".rels"):
        try:
            trees[n] = ET.fromstring(z.read(n))
        except ET.ParseError as e:
            problems.append("%s is not well-formed: %s" % (n, e))

types = trees.get("[Content_Types].xml")
if types is None:
    problems.append("no [Content_Types].xml")
else:
    defaults = {d.get("Extension"): d.get("ContentType") for d in types.iter(NS_CT + "Default")}
    overrides = {o.get("PartName"): o.get("ContentType") for o in types.iter(NS_CT + "Override")}
    for part in overrides:
        if part.lstrip("/") not in names:
            problems.append("content type for a missing part " + part)
    for n in names:
        if n != "[Content_Types].xml" and "/" + n not in overrides and n.rsplit(".", 1)[-1] not in defaults:
            problems.append("no content type for " + n)

targets = {}
for n in names:
    if not n.endswith(".rels"):
        continue
    base = posixpath.dirname(posixpath.dirname(n))
    ids = set()
    for r in trees.get(n, ET.Element("x")).iter(NS_REL + "Relationship"):
        if r.get("Id") in ids:
            problems.append("%s: relationship id %s twice" % (n, r.get("Id")))
        ids.add(r.get("Id"))
        t = posixpath.normpath(posixpath.join(base, r.get("Target")))
        targets[(n, r.get("Id"))] = (t, r.get("Type"))
        if t not in names:
            problems.append("%s: target %s missing" % (n, t))

book = trees.get("xl/workbook.xml")
if book is None:
    problems.append("no xl/workbook.xml")
else:
    ids = set()
    for s in book.iter(NS_MAIN + "sheet"):
        rid = s.get(NS_R + "id")
        t = targets.get(("xl/_rels/workbook.xml.rels", rid))
        if not t or not t[1].endswith("/worksheet"):
            problems.append("sheet %r has no worksheet part" % s.get("name"))
        elif types is not None and not overrides.get("/" + t[0], "").endswith(".worksheet+xml"):
            problems.append("sheet %r: its part is not typed as a worksheet" % s.get("name"))
        if s.get("sheetId") in ids:
            problems.append("sheetId %s twice" % s.get("sheetId"))
        ids.add(s.get("sheetId"))

# Excel drops white space at either end of a text unless the element says to keep it.
XML_SPACE = "{http://www.w3.org/XML/1998/namespace}space"
for n, tree in trees.items():
    for t in tree.iter(NS_MAIN + "t"):
        text = t.text or ""
        if text and (text[0] in " \t\r\n" or text[-1] in " \t\r\n") and t.get(XML_SPACE) != "preserve":
            problems.append("%s: a text with white space at an end lacks xml:space=\"preserve\"" % n)
            break

print("\n".join(problems) if problems else "ok")
sys.exit(1 if problems else 0)
