#include "export/SheetWriter.h"

#include "export/Automation.h"
#include "export/FailureText.h"
#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"
#include "platform/FilePath.h"
#include "platform/SupportLog.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <workbook/workbook.h>

namespace SheetWriter {
namespace {

constexpr int kMaxNameLength = 31;

// Copies the template to a new work copy beside `target` ("~NAME.xls.<process>-<n>.saving.xls",
// workbook::createTemporaryFor), its path in `work`; the reason when that cannot be done.
std::optional<QString> copyTemplate(const QString& templatePath, const QString& target, QString* work)
{
    QFile source(templatePath);
    if (!source.open(QIODevice::ReadOnly))
        return FailureText::templateMissing();
    const QByteArray bytes = source.readAll();
    if (bytes.isEmpty())
        return FailureText::templateMissing();
    // The work copy is a temporary file of the target's own (an .xls, so that every server opens
    // it): refused for a target that cannot be replaced, and never shared with another save.
    const std::filesystem::path to = toFilePath(QDir::toNativeSeparators(target));
    workbook::Result<workbook::TemporaryFile> copy = workbook::createTemporaryFor(to, ".xls");
    if (!copy)
        return FailureText::reason(copy.error());
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), copy->file) == size_t(bytes.size()) &&
                         std::fflush(copy->file) == 0;
    int err = errno ? errno : EIO;
    const bool closed = std::fclose(copy->file) == 0;
    if (written && !closed)
        err = errno ? errno : EIO;
    const QString path = QString::fromStdU16String(copy->path.u16string());
    if (!written || !closed) {
        QFile::remove(path);
        return FailureText::reason(workbook::errorKindOfErrno(err), QString::fromLocal8Bit(std::strerror(err)));
    }
    *work = QDir::fromNativeSeparators(path);
    if (target.contains(QLatin1Char('\\')))
        *work = QDir::toNativeSeparators(*work);
    return std::nullopt;
}

} // namespace

QString sanitizeName(const QString& name)
{
    static const QString forbidden = QStringLiteral("<>/\\|?*\"");
    QString out = name;
    for (QChar& ch : out)
        if (forbidden.contains(ch))
            ch = QLatin1Char('-');
    return out;
}

QString sheetName(const QString& wanted, const QStringList& taken)
{
    const QString clean = QString::fromStdString(workbook::Workbook::cleanSheetName(wanted.toStdString()));
    auto used = [&](const QString& name) {
        return name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0 || taken.contains(name, Qt::CaseInsensitive);
    };
    if (clean.isEmpty() || !used(clean))
        return clean;
    for (int n = 2;; ++n) {
        const QString suffix = QStringLiteral("-%1").arg(n);
        QString base = clean.left(kMaxNameLength - suffix.size());
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
        const QString name = base + suffix;
        if (!used(name))
            return name;
    }
}

std::optional<TooLong> tooLongForXls(const PreviewGrid& grid)
{
    // Grid row r lands in worksheet row r + 1 - offset, below the header in row 1.
    const int rows = grid.rows();
    int offset = 0;
    int first = 1;
    for (int r = 1; r <= rows; ++r) {
        const bool ends = r == rows || ReadingLayout::startsSection(grid, r);
        if (!ends)
            continue;
        const int needed = r - offset; // the section's last row, r - 1, lands in row r - offset
        if (needed > workbook::kXlsMaxRows)
            return TooLong{grid.text(first, 0), needed};
        offset = r - 1;
        first = r;
    }
    return std::nullopt;
}

std::vector<Section> sections(const PreviewGrid& grid)
{
    // The first worksheet is named like the file a save makes of it; the others as they stand.
    std::vector<Section> out;
    for (const ReadingLayout::Section& s : ReadingLayout::sections(grid)) {
        const QString name = grid.text(s.first, 0);
        out.push_back({out.empty() ? sanitizeName(name) : name, s.first, s.end});
    }
    return out;
}

void write(const PreviewGrid& grid, sheets::Application& app, const QString& path, sheets::Workbook*& opened)
{
    sheets::Workbook& book = app.open(path);
    opened = &book;
    app.setVisible(false);
    const int cols = grid.cols();

    sheets::Worksheet* sheet = &book.worksheet(QStringLiteral("Sheet1"));
    // The names in use, so that a file named like another, or like a sheet of the template,
    // still gets a worksheet of its own.
    QStringList taken;
    for (int i = 0; i < book.worksheetCount(); ++i) {
        const QString other = book.worksheet(i).name();
        if (other.compare(sheet->name(), Qt::CaseInsensitive) != 0)
            taken << other;
    }
    auto rename = [&](const QString& wanted) {
        const QString name = sheetName(wanted, taken);
        sheet->setName(name);
        taken << name;
    };
    bool first = true;
    for (const Section& section : sections(grid)) {
        if (!first)
            sheet = &book.addAfter(*sheet);
        first = false;
        rename(section.wanted);
        for (int j = 0; j < cols; ++j)
            sheet->setCellText(1, j + 1, grid.text(0, j));
        // A plain int: a section far down a long grid must not overflow its offset.
        const int offset = section.first - 1;
        for (int r = section.first; r < section.end; ++r) {
            const int sheetRow = r + 1 - offset;
            for (int j = 0; j < cols; ++j) {
                const QString text = grid.text(r, j);
                sheet->setCellText(sheetRow, j + 1, text);
                if (ReadingLayout::isNumberColumn(grid, j))
                    sheet->setCellNumber(sheetRow, j + 1, ReadingLayout::workbookValue(text));
            }
        }
    }
    book.save();
    book.close(true);
}

SaveResult save(const PreviewGrid& grid, const sheets::Servers& servers, const QString& server, FailurePath failurePath,
                const QString& templatePath, const QString& target, const std::function<bool()>& stopRequested)
{
    // The servers write a copy of the template beside the chosen file; only a copy that was
    // written in full replaces it, so a failure (or the program being killed) never costs the
    // user the file that was there.
    QString work;
    if (const std::optional<QString> why = copyTemplate(templatePath, target, &work))
        return SaveFailure{SaveFailure::Kind::Failed, *why};
    const auto discardWork = [&] { QFile::remove(work); };
    std::unique_ptr<sheets::Application> app;
    sheets::Workbook* book = nullptr;
    QString why;
    try {
        app = servers.create(server);
        write(grid, *app, work, book);
        app->quit();
        app.reset();
        if (stopRequested && stopRequested()) {
            discardWork();
            return SaveFailure{SaveFailure::Kind::Cancelled, FailureText::saveCancelled()};
        }
        if (workbook::Error e = workbook::replaceFile(toFilePath(work), toFilePath(target))) {
            discardWork();
            return SaveFailure{SaveFailure::Kind::Failed, FailureText::reason(e)};
        }
        // Which spreadsheet program wrote a workbook is the first thing support asks.
        qCInfo(logFiles).noquote() << "saved" << target << "through" << server;
        return std::nullopt;
    } catch (const sheets::Error& e) {
        why = FailureText::reason(e);
        qCWarning(logFiles).noquote() << "saving" << target << "through" << server << "failed:" << why;
    }
    // Failure path; a step that fails in turn ends it quietly. What the server saved of the
    // work copy is discarded either way.
    try {
        if (failurePath == FailurePath::CloseAndReport) {
            if (!app)
                throw sheets::Error(QStringLiteral("no application"));
            app->quit();
        } else {
            if (!book)
                throw sheets::Error(QStringLiteral("no workbook"));
            book->save();
            book->close(true);
            app->quit();
        }
        discardWork();
        return SaveFailure{SaveFailure::Kind::Failed, why};
    } catch (const sheets::Error&) {
        discardWork();
        return SaveFailure{SaveFailure::Kind::Quiet, why};
    }
}

} // namespace SheetWriter
