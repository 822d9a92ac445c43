#include "archive/TableFile.h"

#include "export/CsvReader.h"
#include "export/FailureText.h"
#include "export/ReplacingFile.h"
#include "platform/FilePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <workbook/workbook.h>

#include <string>

namespace archive::TableFile {
namespace {

QByteArray csvField(const QString& s)
{
    QByteArray u = s.toUtf8();
    if (u.contains(',') || u.contains('"') || u.contains('\r') || u.contains('\n'))
        return '"' + u.replace("\"", "\"\"") + '"';
    return u;
}

} // namespace

std::optional<std::vector<QStringList>> read(const QString& path, QString* error)
{
    if (path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = FailureText::reason(QFileInfo::exists(path) ? workbook::ErrorKind::AccessDenied
                                                                     : workbook::ErrorKind::NotFound,
                                             path);
            return std::nullopt;
        }
        return CsvReader::parse(f.readAll(), error);
    }
    auto book = workbook::Workbook::open(toFilePath(path));
    if (!book) {
        if (error)
            *error = FailureText::reason(book.error());
        return std::nullopt;
    }
    std::vector<QStringList> rows;
    if (book->sheetCount() == 0)
        return rows;
    book->sheet(0).forEachCell([&](int row, int col, const std::string& text) {
        if (row < 1 || col < 1)
            return;
        while (rows.size() < std::size_t(row))
            rows.emplace_back();
        QStringList& r = rows[std::size_t(row) - 1];
        while (r.size() < col)
            r << QString();
        r[col - 1] = QString::fromStdString(text);
    });
    return rows;
}

QByteArray csvText(const std::vector<QStringList>& rows)
{
    QByteArray out = "\xEF\xBB\xBF";
    for (const QStringList& fields : rows) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i)
                out += ',';
            out += csvField(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::optional<QString> write(const QString& path, const std::vector<QStringList>& rows, const QString& sheet)
{
    if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        auto writer = workbook::XlsxWriter::create(toFilePath(QDir::toNativeSeparators(path)));
        if (!writer)
            return FailureText::reason(writer.error());
        if (workbook::Error e = writer->addSheet(sheet.toStdString()))
            return FailureText::reason(e);
        std::vector<std::string> texts;
        std::vector<workbook::CellValue> cells;
        for (const QStringList& row : rows) {
            texts.clear();
            cells.clear();
            for (const QString& t : row)
                texts.push_back(t.toStdString());
            for (const std::string& t : texts)
                cells.emplace_back(std::string_view(t));
            if (workbook::Error e = writer->writeRow(std::span<const workbook::CellValue>(cells)))
                return FailureText::reason(e); // the writer, gone, takes its temporary file along
        }
        if (workbook::Error e = writer->commit())
            return FailureText::reason(e);
        return std::nullopt;
    }
    ReplacingFile replacing(path);
    QString reason;
    if (!replacing.open(&reason))
        return reason;
    const QByteArray text = csvText(rows);
    if (replacing.device().write(text) != text.size())
        return FailureText::reason(workbook::ErrorKind::Io, replacing.device().errorString());
    if (!replacing.commit(&reason))
        return reason;
    return std::nullopt;
}

std::vector<int> columns(const QStringList& header, const QStringList& chinese, const QStringList& english,
                         const std::map<QString, int>& aliases)
{
    std::vector<int> field(std::size_t(header.size()), -1);
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString h = header[i].trimmed().toLower();
        qsizetype known = chinese.indexOf(h);
        if (known < 0)
            known = english.indexOf(h);
        if (known < 0)
            if (auto it = aliases.find(h); it != aliases.end())
                known = it->second;
        field[std::size_t(i)] = int(known);
    }
    return field;
}

} // namespace archive::TableFile
