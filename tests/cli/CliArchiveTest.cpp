// ktm520-cli keeps its copies in the archive as the window does, lists it and exports from it.
#include "tests/cli/CliFixture.h"
#include "tests/support/XlrdReader.h"
#include "tests/support/Scribble.h"
#include "archive/Archive.h"
#include "archive/Record.h"
#include "archive/Spool.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <limits>

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
    ASSERT_TRUE(addReadout(kReadout, file("other.sqlite")));
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

TEST_F(CliArchiveTest, ArchiveCheckRepairsFromTheTextsAndSaysWhatItFound)
{
    // An archive with one reading whose number a stray write changed; its text stayed right.
    const QString path = file("checked.sqlite");
    {
        auto a = archive::Archive::open(path, nullptr, nullptr);
        ASSERT_TRUE(a);
        const std::optional<archive::Readout> r = a->addReadout("R", {}, nullptr);
        ASSERT_TRUE(r);
        ASSERT_TRUE(a->store({{"A", "F1", "A001", "2026-12-07 10:31:05", "31234", "-52"},
                              {"A", "F1", "A002", "2026-12-07 10:31:05", "28456", "235"}},
                             QDateTime::currentDateTimeUtc(), archive::CopyOrigin{r->id, std::nullopt}, nullptr));
    }
    testing_damage::scribbleNumber(path, 3123.4);

    CliRun run = cli({"archive", "check", "--archive", path}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.outText().contains("1 条记录的数值与其文本不符")) << run.describe();
    EXPECT_TRUE(run.outText().contains("按文本“31234”应为 3123.4 Hz")) << run.describe();
    EXPECT_TRUE(run.outText().contains("已按记录的文本修复，档案现已完好。")) << run.describe();
    {
        auto a = archive::Archive::open(path, nullptr, nullptr);
        ASSERT_TRUE(a);
        const std::vector<archive::Point> p = a->series("A", "A001", 0, std::numeric_limits<qint64>::max());
        ASSERT_EQ(p.size(), 1u);
        EXPECT_DOUBLE_EQ(p[0].readingHz, 3123.4);
    }
    run = cli({"archive", "check", "--archive", path}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(run.outText(), "档案检查完毕：2 条记录，未发现问题。\n") << run.describe();

    // No archive: nothing is created, and the run says so.
    run = cli({"archive", "check", "--archive", file("none.sqlite")}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 8) << run.describe();
    EXPECT_TRUE(run.errText().contains("无法打开档案数据库")) << run.describe();
    EXPECT_FALSE(QFileInfo::exists(file("none.sqlite")));
    run = cli({"archive", "check", "extra", "--archive", path}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
}

// A copy kept for later is stored by the next command that writes the archive; one that only
// reads it says that the copy waits, since what it shows lacks it.
TEST_F(CliArchiveTest, AReadingCommandSaysThatACopyWaitsAndTheNextCopyStoresIt)
{
    const QString path = file("kept.sqlite");
    ASSERT_TRUE(addReadout(kReadout, path));
    ASSERT_EQ(cli({"copy", "C", "-o", file("C.csv"), "--archive", path}).exitCode, 0);
    const qint64 inC = archivedCount({"--archive", path});
    const std::vector<archive::Record> kept{{"Z", "Z1", "Z001", "2026-12-07 10:31:05", "28456", "235"}};
    QString failure;
    qint64 readout = 0;
    {
        const auto a = archive::Archive::open(path, nullptr, nullptr);
        ASSERT_TRUE(a && a->readout(kReadout));
        readout = a->readout(kReadout)->id;
    }
    ASSERT_TRUE(archive::Spool::keep(path, archive::recordSource(kept), QDateTime::currentDateTimeUtc(),
                                     archive::CopyOrigin{readout, std::nullopt}, &failure))
        << failure.toStdString();

    for (const QStringList& reading : {QStringList{"archive", "list"}, QStringList{"archive", "export", "-o", file("all.csv")}}) {
        const CliRun run = cli(reading + QStringList{"--archive", path}, {}, 60000, false);
        EXPECT_EQ(run.exitCode, 0) << run.describe();
        EXPECT_TRUE(run.errText().contains(QStringLiteral("另有 1 份拷贝暂存、等待存档"))) << run.describe();
    }
    EXPECT_EQ(archivedCount({"--archive", path}), inC) << "a reading command stores nothing";

    const CliRun copy = cli({"copy", "D", "-o", file("D.csv"), "--archive", path});
    ASSERT_EQ(copy.exitCode, 0) << copy.describe();
    EXPECT_TRUE(copy.errText().contains(QStringLiteral("已存入先前暂存的 1 份拷贝：新增 1 条记录"))) << copy.describe();
    const CliRun list = cli({"archive", "list", "--archive", path}, {}, 60000, false);
    EXPECT_FALSE(list.errText().contains(QStringLiteral("等待存档"))) << list.describe();
    EXPECT_TRUE(list.outText().contains(QStringLiteral("%1\tZ\tZ001\t1\t").arg(kReadout))) << list.describe();
}
