#include "export/CsvWriter.h"

#include "export/FailureText.h"
#include "export/NumberText.h"
#include "export/ReplacingFile.h"
#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <string_view>
#include <vector>

namespace CsvWriter {
namespace {

using workbook::ErrorKind;

// Text is handed to the device whenever this much has gathered.
constexpr qsizetype kPiece = 64 * 1024;

// Why a file device failed. Qt keeps only a coarse error code, so the system's errno, taken right
// after the failing call, says more where the system sets one; otherwise (Windows reports through
// its own codes) the path tells what it can.
ErrorKind kindOf(const QFileDevice& file, int err)
{
    if (file.error() == QFileDevice::ResourceError)
        return ErrorKind::DiskFull; // what Qt makes of ENOSPC
    if (err != 0) {
        const ErrorKind kind = workbook::errorKindOfErrno(err);
        if (kind != ErrorKind::Io)
            return kind;
    }
    const QFileInfo target(file.fileName());
    if (target.isDir())
        return ErrorKind::NotAFile;
    if (!target.dir().exists())
        return ErrorKind::NotFound;
    if (file.error() == QFileDevice::PermissionsError || (target.exists() && !target.isWritable()))
        return ErrorKind::AccessDenied;
    if (file.error() == QFileDevice::OpenError && !QFileInfo(target.absolutePath()).isWritable())
        return ErrorKind::AccessDenied;
    if (file.error() == QFileDevice::RenameError && target.exists())
        return ErrorKind::InUse; // Windows cannot replace a file another program holds open
    return ErrorKind::Io;
}

QString reasonFor(const QIODevice& out, int err)
{
    if (const auto* file = qobject_cast<const QFileDevice*>(&out))
        return FailureText::reason(kindOf(*file, err), file->errorString());
    return FailureText::reason(ErrorKind::Io, out.errorString());
}

SaveFailure failed(const QString& reason) { return SaveFailure{SaveFailure::Kind::Failed, reason}; }

// Gathers rows of fields and hands them to the device in pieces of about kPiece bytes, whole
// rows each. It keeps the errno of a failed hand-over; the caller stops at the first one.
class Sink {
public:
    explicit Sink(QIODevice& out) : m_out(out) { m_buffer.reserve(kPiece + 4096); }

    void raw(std::string_view bytes) { m_buffer.append(bytes.data(), qsizetype(bytes.size())); }

    void field(const QString& text) { field(QByteArrayView(text.toUtf8())); }
    void field(QByteArrayView utf8)
    {
        separate();
        appendField(m_buffer, utf8);
    }

    // A number, which never needs quotes.
    void number(double value)
    {
        separate();
        NumberBuffer chars;
        raw(formatNumber(value, chars));
    }

    // Ends the row; false once writing has failed.
    bool endRow()
    {
        raw("\r\n");
        m_rowStarted = false;
        return m_buffer.size() < kPiece || push();
    }

    // Hands over what is left and flushes a file device.
    bool finish()
    {
        if (!push())
            return false;
        if (auto* file = qobject_cast<QFileDevice*>(&m_out)) {
            errno = 0;
            if (!file->flush()) {
                m_errno = errno;
                return false;
            }
        }
        return true;
    }

    int failedErrno() const { return m_errno; }

private:
    void separate()
    {
        if (m_rowStarted)
            m_buffer.append(',');
        m_rowStarted = true;
    }

    bool push()
    {
        // QIODevice::write may take less than it is given (a file over the size limit takes
        // what fits and reports no error): the rest is offered again, and only a call that
        // takes nothing fails.
        qsizetype done = 0;
        while (done < m_buffer.size()) {
            errno = 0;
            const qint64 n = m_out.write(m_buffer.constData() + done, m_buffer.size() - done);
            if (n <= 0) {
                m_errno = errno;
                return false;
            }
            done += qsizetype(n);
        }
        m_buffer.resize(0); // keeps the allocation
        return true;
    }

    QIODevice& m_out;
    QByteArray m_buffer;
    bool m_rowStarted = false;
    int m_errno = 0;
};

// A reading or a temperature: the number the workbook gets, or the text when there is none.
void readingField(Sink& sink, QByteArrayView utf8)
{
    if (const std::optional<double> value = ReadingLayout::leadingTenths(utf8))
        sink.number(*value);
    else
        sink.field(utf8);
}

} // namespace

bool readsAsNumber(QByteArrayView s)
{
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        ++i;
    qsizetype mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == s.size();
}

void appendField(QByteArray& out, QByteArrayView utf8)
{
    // Spreadsheets compute a field that begins with one of these; an apostrophe in front makes
    // it text. A number keeps its sign and stays a number.
    const bool formula = utf8.size() > 1 &&
                         (utf8[0] == '=' || utf8[0] == '+' || utf8[0] == '-' || utf8[0] == '@' || utf8[0] == '\t' ||
                          utf8[0] == '\r') &&
                         !readsAsNumber(utf8);
    bool quote = false;
    for (const char c : utf8)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    if (!quote) {
        if (formula)
            out.append('\'');
        out.append(utf8.data(), utf8.size());
        return;
    }
    out.append('"');
    if (formula)
        out.append('\'');
    for (const char c : utf8) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}

SaveResult write(const PreviewGrid& grid, QIODevice& out, const Cancel& cancel)
{
    if (!out.isWritable())
        return failed(FailureText::reason(ErrorKind::Io, QStringLiteral("the output is not open for writing")));
    Sink sink(out);
    const auto writeFailed = [&] { return failed(reasonFor(out, sink.failedErrno())); };
    const auto cancelled = [&] { return cancel && cancel(); };
    const SaveFailure stopped{SaveFailure::Kind::Cancelled, FailureText::saveCancelled()};

    const int rows = grid.rows();
    const int cols = grid.cols();
    sink.raw("\xEF\xBB\xBF");
    if (ReadingLayout::applies(grid)) {
        sink.field(QStringLiteral("文件名"));
        for (int j = 0; j < cols; ++j)
            sink.field(grid.utf8(0, j));
        if (!sink.endRow())
            return writeFailed();
        std::vector<QByteArrayView> cells(static_cast<size_t>(cols));
        QByteArrayView section;
        for (int r = 1; r < rows; ++r) {
            if (r % kCancelEvery == 0 && cancelled())
                return stopped;
            for (int j = 0; j < cols; ++j)
                cells[size_t(j)] = grid.utf8(r, j);
            if (r == 1 || ReadingLayout::isHeading(grid, r)) {
                section = cells[0];
                bool more = false;
                for (int j = 1; j < cols; ++j)
                    more = more || !cells[size_t(j)].isEmpty();
                if (!more)
                    continue; // the file's name alone
            }
            sink.field(section);
            for (int j = 0; j < cols; ++j) {
                if (ReadingLayout::isNumberColumn(grid, j))
                    readingField(sink, cells[size_t(j)]);
                else
                    sink.field(cells[size_t(j)]);
            }
            if (!sink.endRow())
                return writeFailed();
        }
    } else if (cols > 0) {
        for (int r = 0; r < rows; ++r) {
            if (r > 0 && r % kCancelEvery == 0 && cancelled())
                return stopped;
            for (int j = 0; j < cols; ++j)
                sink.field(grid.utf8(r, j));
            if (!sink.endRow())
                return writeFailed();
        }
    }
    if (cancelled())
        return stopped;
    if (!sink.finish())
        return writeFailed();
    return std::nullopt;
}

SaveResult save(const PreviewGrid& grid, const QString& path, const Cancel& cancel)
{
    ReplacingFile file(path); // never writes into the target directly: no half-written file
    QString reason;
    if (!file.open(&reason))
        return failed(reason);
    if (SaveResult failure = write(grid, file.device(), cancel)) {
        file.cancel();
        return failure;
    }
    if (!file.commit(&reason))
        return failed(reason);
    return std::nullopt;
}

} // namespace CsvWriter
