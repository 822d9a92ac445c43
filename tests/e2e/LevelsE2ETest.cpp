// A gauge crossing its trigger levels over two nightly downloads: the simulator's readings of
// A001 drift upwards between its runs, and ktm520-cli archives each download, reports the
// gauge's new status in its verdict and exit code, and lists both changes afterwards.
#include "tests/e2e/SimFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliResult {
    int exitCode = -1;
    QByteArray out;
    QString err;
    std::string describe() const
    {
        return "exit " + std::to_string(exitCode) + "\nstdout: " + out.toStdString() + "\nstderr: " + err.toStdString();
    }
};

class LevelsE2ETest : public ::testing::Test {
protected:
    CliResult cli(const QStringList& arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VARNOK_PORT_DIR", m_ports.path());
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KTM_CLI_PATH), QStringList{"--archive", m_home.filePath("archive.sqlite")} + arguments);
        CliResult r;
        if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished(5000);
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    void write(const QString& name, const QByteArray& text)
    {
        QFile f(m_home.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(text), text.size());
    }
    // A download of partition A with the archive's verdict as JSON.
    CliResult copy(const QString& output)
    {
        return cli({"--port", m_sim.portName(), "--instrument", "北坝", "copy", "A", "-o", m_home.filePath(output), "--json"});
    }
    // The entry of `changed` for the gauge, or an empty object.
    static QJsonObject changedGauge(const QJsonObject& verdict, const QString& gauge)
    {
        for (const auto& g : verdict["changed"].toArray())
            if (g.toObject()["gauge"].toString() == gauge)
                return g.toObject();
        return {};
    }
    static QJsonArray eventsOf(const QJsonArray& events, const QString& gauge)
    {
        QJsonArray out;
        for (const auto& e : events)
            if (e.toObject()["gauge"].toString() == gauge)
                out.append(e);
        return out;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_state;
    QTemporaryDir m_ports;
    SimProcess m_sim;
};

} // namespace

TEST_F(LevelsE2ETest, AGaugeDriftingUpReachesItsFirstLevelThenItsThird)
{
    // The numbers, from the simulator's bounds: partition A starts empty (--records 0) and has
    // four components, so 20 readings a run take A001 five times. Each of its readings is the
    // one before plus 30 Hz (the drift, 300 tenths) and a random step of at most 4 Hz: its
    // change since its first reading (the baseline) after its j-th reading lies within
    // [26 (j - 1), 34 (j - 1)] Hz and only ever grows. After the first run (j = 5) that is 104 to
    // 136 Hz: beyond rank 1 (100 Hz), short of rank 3 (200 Hz). After the second (j = 10) it is
    // 234 to 306 Hz: beyond rank 3. No rank 2 is set, so the gauge goes 正常 -> 预警 -> 控制.
    const QStringList drift{"--no-pace", "--measure", "20", "--drift", "A001=300"};
    ASSERT_TRUE(m_sim.start(m_state.path(), m_ports.path(), QStringList{"--records", "0"} + drift));

    CliResult run = cli({"archive", "instruments", "add", "北坝"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    write("register.csv", "测点,工程\nQRVA000001,北坝工程\n");
    run = cli({"archive", "register", "import", m_home.filePath("register.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    write("levels.csv", "测点,方向,等级,比较量,阈值\n"
                        "QRVA000001,上限,1,累计变化,100\n"
                        "QRVA000001,上限,3,累计变化,200\n");
    run = cli({"archive", "levels", "import", m_home.filePath("levels.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();

    run = copy("A-1.csv");
    EXPECT_EQ(run.exitCode, 10) << run.describe();
    QJsonObject verdict = QJsonDocument::fromJson(run.out).object()["verdict"].toObject();
    EXPECT_TRUE(verdict["raised"].toBool()) << run.describe();
    QJsonObject gauge = changedGauge(verdict, "QRVA000001");
    EXPECT_EQ(gauge["status"].toInt(), 1) << run.describe();
    EXPECT_EQ(gauge["statusName"].toString(), "预警") << run.describe();
    QJsonArray events = eventsOf(verdict["events"].toArray(), "QRVA000001");
    ASSERT_EQ(events.size(), 1) << run.describe();
    EXPECT_EQ(events[0].toObject()["from"].toInt(), 0);
    EXPECT_EQ(events[0].toObject()["to"].toInt(), 1);
    EXPECT_TRUE(run.err.contains("状态变化：QRVA000001")) << run.describe();

    // The next night: five more readings of A001, still drifting.
    m_sim.stop();
    ASSERT_TRUE(m_sim.start(m_state.path(), m_ports.path(), drift));
    run = copy("A-2.csv");
    EXPECT_EQ(run.exitCode, 10) << run.describe();
    verdict = QJsonDocument::fromJson(run.out).object()["verdict"].toObject();
    gauge = changedGauge(verdict, "QRVA000001");
    EXPECT_EQ(gauge["status"].toInt(), 3) << run.describe();
    EXPECT_EQ(gauge["statusName"].toString(), "控制") << run.describe();
    events = eventsOf(verdict["events"].toArray(), "QRVA000001");
    ASSERT_EQ(events.size(), 1) << run.describe();
    EXPECT_EQ(events[0].toObject()["from"].toInt(), 1);
    EXPECT_EQ(events[0].toObject()["to"].toInt(), 3);
    EXPECT_EQ(events[0].toObject()["toName"].toString(), "控制");
    m_sim.stop();

    // Both changes are kept, oldest first, with the values that made them.
    run = cli({"archive", "events", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    events = eventsOf(QJsonDocument::fromJson(run.out).array(), "QRVA000001");
    ASSERT_EQ(events.size(), 2) << run.describe();
    EXPECT_EQ(events[0].toObject()["toName"].toString(), "预警");
    EXPECT_EQ(events[1].toObject()["fromName"].toString(), "预警");
    EXPECT_EQ(events[1].toObject()["toName"].toString(), "控制");
    EXPECT_LT(events[0].toObject()["value"].toDouble(), events[1].toObject()["value"].toDouble());
    run = cli({"archive", "events"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.out.contains("正常 -> 预警")) << run.describe();
    EXPECT_TRUE(run.out.contains("预警 -> 控制")) << run.describe();
}
