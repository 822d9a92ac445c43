// ktm520-cli keeps its copies in the archive as the window does, lists it and exports from it.
#include "tests/cli/CliFixture.h"
#include "tests/support/XlrdReader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class CliArchiveTest : public CliTest {
protected:
    qint64 archivedCount(const QStringList& extra = {})
    {
        const CliRun list = cli(QStringList{"archive", "list", "--json"} + extra, {}, 60000, false);
        EXPECT_EQ(list.exitCode, 0) << list.describe();
        qint64 n = 0;
        for (const auto& c : QJsonDocument::fromJson(list.out).array())
            n += c.toObject()["count"].toInteger();
        return n;
    }
};

qint64 recordLines(const QString& reply)
{
    qint64 n = 0;
    for (const QString& line : CliTest::lines(reply))
        n += line.contains(' ') ? 1 : 0;
    return n;
}

} // namespace

TEST_F(CliArchiveTest, CopiesAreArchivedOnceAndExported)
{
    const qint64 inC = recordLines(expected("COPY C"));
    ASSERT_GT(inC, 0);
    CliRun run = cli({"copy", "C", "-o", file("C.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains(QStringLiteral("已存档：新增 %1 条记录，共 %1 条").arg(inC))) << run.describe();
    run = cli({"copy", "C", "-o", file("C.csv")});
    EXPECT_TRUE(run.errText().contains(QStringLiteral("已存档：新增 0 条记录，共 %1 条").arg(inC))) << run.describe();
    // --no-archive keeps nothing; another archive file is another archive
    run = cli({"copy", "D", "-o", file("D.csv"), "--no-archive"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_FALSE(run.errText().contains(QStringLiteral("已存档"))) << run.describe();
    EXPECT_EQ(archivedCount(), inC);
    run = cli({"copy", "D", "-o", file("D.csv"), "--archive", file("other.sqlite")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(archivedCount(), inC);
    EXPECT_EQ(archivedCount({"--archive", file("other.sqlite")}), recordLines(expected("COPY D")));

    // The export holds every archived record of C, a row each, under its header.
    run = cli({"archive", "export", "C", "-o", file("C-history.csv")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QString error;
    const QList<QStringList> rows = readWithPythonCsv(file("C-history.csv"), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(rows.size(), 2 + inC); // the byte-order mark, the header, the records
    EXPECT_EQ(rows[1].value(1), "元件编号");
    EXPECT_EQ(rows[2].value(0), "C");

    // A component the archive does not hold, and a range with nothing in it.
    run = cli({"archive", "export", "C", "C199", "-o", file("x.xlsx")}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    run = cli({"archive", "export", "C", "-o", file("empty.csv"), "--to", "2000-01-01"}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(readWithPythonCsv(file("empty.csv")).size(), 2);
}

TEST_F(CliArchiveTest, AnArchiveThatCannotBeOpenedIsExitCodeEightAfterTheFileIsWritten)
{
    // The archive's place is a folder: the copy's file is still written, and the failure said.
    QDir().mkpath(file("blocked.sqlite"));
    const CliRun run = cli({"copy", "C", "-o", file("C.csv"), "--archive", file("blocked.sqlite")});
    EXPECT_EQ(run.exitCode, 8) << run.describe();
    EXPECT_TRUE(QFileInfo::exists(file("C.csv")));
    EXPECT_TRUE(run.errText().contains(QStringLiteral("未能存档"))) << run.describe();
}
