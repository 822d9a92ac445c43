#include "tests/report/Poppler.h"

#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace report::test {

QString poppler(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << tool.toStdString() << " failed: " << process.errorString().toStdString() << " "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pdfPages(const QString& pdf)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(poppler(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString pdfText(const QString& pdf, int page)
{
    QStringList arguments{QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8")};
    if (page > 0)
        arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    return poppler(QStringLiteral("pdftotext"), arguments << pdf << QStringLiteral("-"));
}

QString pdfFonts(const QString& pdf) { return poppler(QStringLiteral("pdffonts"), {pdf}); }

} // namespace report::test
