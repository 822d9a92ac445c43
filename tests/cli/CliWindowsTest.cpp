// What only the Windows build of ktm520-cli does, run under Wine (see CliFixture.h): the port
// list from the registry's SERIALCOMM key, paths through the wide calls, the archive in the
// user's local application data. The rest of the command line's tests run there unchanged.
#include "tests/cli/CliFixture.h"
#include "tests/support/XlrdReader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class WindowsCliTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (!HasFatalFailure() && !underWine())
            GTEST_SKIP() << "runs the Windows program under Wine only";
    }
    // The Windows name of a file in the work folder, as a Windows user types it (Wine's Z: is /).
    QString windowsPath(const QString& name) const { return "Z:" + QDir::toNativeSeparators(file(name)); }
};

} // namespace

TEST_F(WindowsCliTest, ThePortListIsTheRegistrysAndItsComPortReachesTheInstrument)
{
    CliRun run = cli({"ports", "--json"}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QStringList names;
    for (const auto& p : QJsonDocument::fromJson(run.out).array()) {
        names << p.toObject()["name"].toString();
        if (names.last() == kWineComPort)
            EXPECT_EQ(p.toObject()["device"].toString(), QString("\\\\.\\") + kWineComPort);
    }
    EXPECT_TRUE(names.contains(kWineComPort)) << run.describe();

    // By its name, as the window's list offers it.
    run = cli({"partitions"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()).size(), 10);
}

TEST_F(WindowsCliTest, AWindowsPathWithChineseNamesIsWrittenWhereItSays)
{
    ASSERT_TRUE(QDir().mkpath(file("现场数据")));
    const QStringList files = lines(expected("DIR B"));
    ASSERT_GE(files.size(), 2);
    const CliRun run = cli({"copy", "B", files[1], "-o", windowsPath("现场数据/坝体 B.xls")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QString error;
    const QJsonArray sheets = readWithXlrd(file("现场数据/坝体 B.xls"), &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    EXPECT_EQ(sheets[0].toObject()["name"].toString(), files[1]);
    EXPECT_EQ(QDir(file("现场数据")).entryList(QDir::Files | QDir::Hidden), QStringList({"坝体 B.xls"}));
}

TEST_F(WindowsCliTest, CopiesAreKeptInTheArchiveInTheLocalApplicationData)
{
    ASSERT_FALSE(QFileInfo::exists(defaultArchive()));
    const CliRun run = cli({"copy", "C", "-o", windowsPath("C.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(QFileInfo(defaultArchive()).size() > 0) << defaultArchive().toStdString();
    const CliRun list = cli({"archive", "list", "--json"}, {}, 60000, false);
    ASSERT_EQ(list.exitCode, 0) << list.describe();
    EXPECT_FALSE(QJsonDocument::fromJson(list.out).array().isEmpty()) << list.describe();
}
