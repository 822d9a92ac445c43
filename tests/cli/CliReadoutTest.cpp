// ktm520-cli archives each copy under a readout: named by --instrument, remembered for the
// port's device, or the command line's default; never guessed. The component list read with a
// copy files its records by gauge.
#include "tests/cli/CliFixture.h"
#include "tests/support/QtTestMain.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace {

// Records per code in a copy's CSV (its rows after the header).
std::map<QString, qint64> recordsByCode(const QString& csvPath)
{
    std::map<QString, qint64> n;
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(readAll(csvPath).mid(kBom.size())));
    for (qsizetype r = 1; r < rows.size(); ++r)
        if (rows[r].size() == 5 && !rows[r][1].isEmpty())
            ++n[rows[r][1]];
    return n;
}

class CliReadoutTest : public CliTest {
protected:
    bool withDefaultReadout() const override { return false; }

    QJsonArray listing(const QStringList& command)
    {
        const CliRun run = cli(command + QStringList{"--json"}, {}, 60000, false);
        EXPECT_EQ(run.exitCode, 0) << run.describe();
        return QJsonDocument::fromJson(run.out).array();
    }
    // Records archived per readout and code.
    std::map<QString, std::map<QString, qint64>> archived()
    {
        std::map<QString, std::map<QString, qint64>> out;
        for (const auto& v : listing({"archive", "list"}))
            out[v.toObject()["readout"].toString()][v.toObject()["code"].toString()] += v.toObject()["count"].toInteger();
        return out;
    }
    std::map<QString, QJsonObject> gaugesByName()
    {
        std::map<QString, QJsonObject> out;
        for (const auto& v : listing({"archive", "gauges"}))
            out[v.toObject()["name"].toString()] = v.toObject();
        return out;
    }

    // Starts a simulator on its own state folder in the same port folder; its port name.
    QString startSecondSim(QProcess& sim, const QString& state)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VARNOK_PORT_DIR", m_ports.path());
        sim.setProcessEnvironment(env);
        sim.start(QStringLiteral(KTM_SIM_PATH), {"--pty", "--state", state, "--no-pace"});
        if (!sim.waitForStarted(5000) || !testing_qt::waitFor([&] { return sim.canReadLine(); }, 60000))
            return {};
        return QString::fromLatin1(sim.readLine()).trimmed().split(' ').value(0);
    }
    // Stops the fixture's simulator and starts it again on its state with more options.
    bool restartSim(const QStringList& extra)
    {
        m_sim.terminate();
        if (!m_sim.waitForFinished(5000))
            return false;
        m_sim.start(QStringLiteral(KTM_SIM_PATH),
                    QStringList{"--pty", "--state", m_state.path() + "/state"} + simArguments() + extra);
        if (!m_sim.waitForStarted(5000) || !testing_qt::waitFor([&] { return m_sim.canReadLine(); }, 60000))
            return false;
        const QStringList first = QString::fromLatin1(m_sim.readLine()).trimmed().split(' ');
        m_portName = first.value(0);
        m_device = first.value(1);
        return first.size() == 2;
    }
};

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
}

} // namespace

TEST_F(CliReadoutTest, TwoReadoutsOnTwoPortsKeepTheirOwnSeriesAndTheirDevicesAreRemembered)
{
    QProcess second;
    QTemporaryDir secondState;
    const QString secondPort = startSecondSim(second, secondState.path() + "/state");
    ASSERT_FALSE(secondPort.isEmpty());
    ASSERT_NE(secondPort, portName());
    ASSERT_TRUE(addReadout("北坝"));
    ASSERT_TRUE(addReadout("南坝"));

    // Both simulators hold the same seeded records: each copy is its readout's all the same.
    CliRun run = cli({"copy", "C", "-o", file("north.csv"), "--instrument", "北坝"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    run = cli({"--port", secondPort, "copy", "C", "-o", file("south.csv"), "--instrument", "南坝"}, {}, 120000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const std::map<QString, qint64> inC = recordsByCode(file("north.csv"));
    ASSERT_FALSE(inC.empty());
    EXPECT_EQ(recordsByCode(file("south.csv")), inC);
    std::map<QString, std::map<QString, qint64>> held = archived();
    EXPECT_EQ(held.size(), 2u);
    EXPECT_EQ(held["北坝"], inC);
    EXPECT_EQ(held["南坝"], inC);

    // Without --instrument each port's device brings its own readout: nothing new, nothing mixed.
    run = cli({"copy", "C", "-o", file("north2.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已存档：新增 0 条记录")) << run.describe();
    run = cli({"--port", secondPort, "copy", "C", "-o", file("south2.csv")}, {}, 120000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已存档：新增 0 条记录")) << run.describe();
    EXPECT_EQ(archived(), held);

    // The listing of readouts: each with its device and its records.
    qint64 total = 0;
    for (const auto& [code, n] : inC)
        total += n;
    const QJsonArray readouts = listing({"archive", "instruments"});
    ASSERT_EQ(readouts.size(), 2);
    for (const auto& v : readouts) {
        const QJsonObject r = v.toObject();
        EXPECT_EQ(r["count"].toInteger(), total) << r["name"].toString().toStdString();
        EXPECT_EQ(r["devices"].toArray().size(), 1) << r["name"].toString().toStdString();
        EXPECT_FALSE(r["default"].toBool());
    }
    EXPECT_NE(readouts[0].toObject()["devices"], readouts[1].toObject()["devices"]);
    stop(second);
}

TEST_F(CliReadoutTest, ACopyWithoutAReadoutIsRefusedBeforeAnythingIsSent)
{
    // No readout at all: refused, nothing sent, no file; the same without --archive's default.
    CliRun run = cli({"copy", "C", "-o", file("C.csv")});
    EXPECT_EQ(run.exitCode, 9) << run.describe();
    EXPECT_TRUE(run.errText().contains("未指定仪器")) << run.describe();
    EXPECT_TRUE(run.errText().contains("archive instruments add")) << run.describe();
    EXPECT_FALSE(QFileInfo::exists(file("C.csv")));
    EXPECT_TRUE(archived().empty());

    // A name the archive does not know is refused with the names it knows.
    ASSERT_TRUE(addReadout("北坝"));
    run = cli({"copy", "C", "-o", file("C.csv"), "--instrument", "西坝"});
    EXPECT_EQ(run.exitCode, 9) << run.describe();
    EXPECT_TRUE(run.errText().contains("西坝")) << run.describe();
    EXPECT_TRUE(run.errText().contains("已有的仪器：北坝")) << run.describe();
    EXPECT_FALSE(QFileInfo::exists(file("C.csv")));
    // Nor is a readout added twice, or under a time zone nobody knows.
    EXPECT_EQ(cli({"archive", "instruments", "add", "北坝"}, {}, 60000, false).exitCode, 2);
    EXPECT_EQ(cli({"archive", "instruments", "add", "东坝", "--zone", "Mars/Olympus"}, {}, 60000, false).exitCode, 2);
    EXPECT_EQ(listing({"archive", "instruments"}).size(), 1);

    // Without archiving no readout is needed.
    run = cli({"copy", "C", "-o", file("C.csv"), "--no-archive"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();

    // The default: set, followed by a rename, refused where the archive does not know it.
    EXPECT_EQ(cli({"archive", "instruments", "default", "西坝"}, {}, 60000, false).exitCode, 2);
    ASSERT_EQ(cli({"archive", "instruments", "default", "北坝"}, {}, 60000, false).exitCode, 0);
    ASSERT_EQ(cli({"archive", "instruments", "rename", "北坝", "北坝一号"}, {}, 60000, false).exitCode, 0);
    EXPECT_EQ(cli({"archive", "instruments", "default"}, {}, 60000, false).outText(), "北坝一号\n");
    run = cli({"copy", "C", "-o", file("C.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(archived().count("北坝一号"), 1u);
    run = cli({"copy", "C", "-o", file("C.csv"), "--archive", file("other.sqlite")});
    EXPECT_EQ(run.exitCode, 9) << run.describe();
    EXPECT_TRUE(run.errText().contains("默认仪器“北坝一号”不在档案中")) << run.describe();
    ASSERT_EQ(cli({"archive", "instruments", "default", "-"}, {}, 60000, false).exitCode, 0);
    EXPECT_EQ(cli({"archive", "instruments", "default"}, {}, 60000, false).outText(), "");
}

TEST_F(CliReadoutTest, ARewrittenComponentListStartsANewGaugeFromThenAndTheOldOneStaysWhole)
{
    ASSERT_TRUE(addReadout("北坝"));
    CliRun run = cli({"components", "A", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QJsonArray components = QJsonDocument::fromJson(run.out).array();
    ASSERT_GE(components.size(), 2);
    const QString code = components[0].toObject()["code"].toString();
    const QString oldGauge = components[0].toObject()["name"].toString();
    const QString newGauge = "QRVB999999";

    run = cli({"copy", "A", "-o", file("A1.csv"), "--instrument", "北坝"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const std::map<QString, qint64> first = recordsByCode(file("A1.csv"));
    std::map<QString, QJsonObject> gauges = gaugesByName();
    ASSERT_TRUE(gauges.count(oldGauge)) << oldGauge.toStdString();
    EXPECT_EQ(gauges[oldGauge]["count"].toInteger(), first.at(code));
    EXPECT_EQ(gauges[oldGauge]["readouts"].toArray(), QJsonArray({"北坝"}));

    // The slot gets another gauge, and the instrument takes more readings.
    run = cli({"write-components", "A", "-"}, (code + "=" + newGauge + "\n").toUtf8());
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    ASSERT_TRUE(restartSim({"--measure", "24"}));
    run = cli({"copy", "A", "-o", file("A2.csv"), "--instrument", "北坝"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已存档：新增 24 条记录")) << run.describe();
    const std::map<QString, qint64> second = recordsByCode(file("A2.csv"));
    ASSERT_GT(second.at(code), first.at(code));

    gauges = gaugesByName();
    EXPECT_EQ(gauges[oldGauge]["count"].toInteger(), first.at(code)) << "the old gauge's series stays whole";
    ASSERT_TRUE(gauges.count(newGauge));
    EXPECT_EQ(gauges[newGauge]["count"].toInteger(), second.at(code) - first.at(code));
    // The other slots' gauges hold every reading of them.
    for (const auto& v : components) {
        const QJsonObject c = v.toObject();
        if (c["code"].toString() != code)
            EXPECT_EQ(gauges[c["name"].toString()]["count"].toInteger(), second.at(c["code"].toString()))
                << c["code"].toString().toStdString();
    }

    // Exports by gauge: each the readings of its own time in the slot.
    run = cli({"archive", "export", "--gauge", newGauge, "-o", file("new.csv")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(parseCsv(QString::fromUtf8(readAll(file("new.csv")).mid(kBom.size()))).size(),
              1 + second.at(code) - first.at(code));
    run = cli({"archive", "export", "--gauge", oldGauge, "-o", file("old.csv")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(parseCsv(QString::fromUtf8(readAll(file("old.csv")).mid(kBom.size()))).size(), 1 + first.at(code));
    run = cli({"archive", "export", "--gauge", "QRVX000000", "-o", file("none.csv")}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
}

TEST_F(CliReadoutTest, TheGaugeRegisterGoesInAndOutWholeAndSlotsAreAssignedByHand)
{
    // Columns in an order of the engineer's own, one of them left out.
    QFile csv(file("register.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("\xEF\xBB\xBF"
              "类型,测点,单位,工程,安装日期,测读间隔（天）,备注\r\n"
              "渗压计,QRVA000001,kPa,北坝工程,2026-03-01,7,首批\r\n"
              "裂缝计,QRVA000002,mm,南坝工程,2026/4/2,,\"含,逗号\"\r\n"
              "测力计,QRVZ000001,kN,北坝工程,,,\r\n");
    csv.close();
    CliRun run = cli({"archive", "register", "import", file("register.csv")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    std::map<QString, QJsonObject> gauges = gaugesByName();
    ASSERT_EQ(gauges.size(), 3u);
    EXPECT_EQ(gauges["QRVA000001"]["type"].toString(), "渗压计");
    EXPECT_EQ(gauges["QRVA000001"]["unit"].toString(), "kPa");
    EXPECT_EQ(gauges["QRVA000002"]["site"].toString(), "南坝工程");
    EXPECT_EQ(listing({"archive", "gauges", "--site", "北坝工程"}).size(), 2);
    EXPECT_EQ(cli({"archive", "gauges", "--site", "西坝工程"}, {}, 60000, false).exitCode, 2);

    // Out as a workbook and as CSV, and the workbook into another archive: the same register.
    run = cli({"archive", "register", "export", file("out.xlsx")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    ASSERT_EQ(cli({"archive", "register", "export", file("out.csv")}, {}, 60000, false).exitCode, 0);
    ASSERT_EQ(cli({"archive", "register", "import", file("out.xlsx"), "--archive", file("other.sqlite")}, {}, 60000,
                  false)
                  .exitCode,
              0);
    ASSERT_EQ(cli({"archive", "register", "export", file("again.csv"), "--archive", file("other.sqlite")}, {}, 60000,
                  false)
                  .exitCode,
              0);
    const QByteArray exported = readAll(file("out.csv"));
    EXPECT_TRUE(exported.contains("含,逗号")) << exported.toStdString();
    EXPECT_TRUE(exported.contains("2026-04-02")) << exported.toStdString();
    EXPECT_EQ(readAll(file("again.csv")), exported);
    // English headers are read as well, and written for an English operator.
    ASSERT_EQ(cli({"--lang", "en", "archive", "register", "export", file("en.csv")}, {}, 60000, false).exitCode, 0);
    EXPECT_TRUE(readAll(file("en.csv")).contains("gauge")) << readAll(file("en.csv")).toStdString();
    ASSERT_EQ(cli({"archive", "register", "import", file("en.csv"), "--archive", file("third.sqlite")}, {}, 60000,
                  false)
                  .exitCode,
              0);
    ASSERT_EQ(cli({"archive", "register", "export", file("third.csv"), "--archive", file("third.sqlite")}, {}, 60000,
                  false)
                  .exitCode,
              0);
    EXPECT_EQ(readAll(file("third.csv")), exported);

    // A row that cannot be read changes nothing, and is named.
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly | QIODevice::Truncate));
    csv.write("测点,类型\r\nQRVA000001,应变计\r\nQRVA000003,应变计\r\n,应变计\r\n");
    csv.close();
    run = cli({"archive", "register", "import", file("register.csv")}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("第 4 行")) << run.describe();
    gauges = gaugesByName();
    EXPECT_EQ(gauges.size(), 3u);
    EXPECT_EQ(gauges["QRVA000001"]["type"].toString(), "渗压计");

    // By hand: a slot of a known readout to a registered gauge, from a time in its clock.
    ASSERT_TRUE(addReadout("北坝"));
    run = cli({"archive", "assign", "北坝", "A001", "QRVZ000001", "--from", "2000-01-01"}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe() << "a slot the readout never had";
    run = cli({"copy", "A", "-o", file("A.csv"), "--instrument", "北坝"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const qint64 inA001 = recordsByCode(file("A.csv")).at("A001");
    run = cli({"archive", "assign", "北坝", "A001", "QRVA000009", "--from", "2000-01-01"}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("QRVA000009")) << run.describe();
    run = cli({"archive", "assign", "西坝", "A001", "QRVZ000001", "--from", "2000-01-01"}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("已有的仪器：北坝")) << run.describe();
    run = cli({"archive", "assign", "北坝", "A001", "QRVZ000001", "--from", "2000-01-01"}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    // From before its first record: every reading of the slot is the gauge's now.
    gauges = gaugesByName();
    EXPECT_EQ(gauges["QRVZ000001"]["count"].toInteger(), inA001);
    EXPECT_EQ(gauges["QRVA000001"]["count"].toInteger(), 0);
}

TEST_F(CliReadoutTest, ACopyThatTheClockGuardDoubtsSaysSoEvenWithCsvOnStandardOutput)
{
    // C001's gauge installed long after the seeded readings were taken.
    CliRun run = cli({"components", "C", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QString gauge = QJsonDocument::fromJson(run.out).array()[0].toObject()["name"].toString();
    QFile csv(file("register.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(("gauge,installed\r\n" + gauge + ",2099-01-01\r\n").toUtf8());
    csv.close();
    ASSERT_EQ(cli({"archive", "register", "import", file("register.csv")}, {}, 60000, false).exitCode, 0);
    ASSERT_TRUE(addReadout("北坝"));

    // Readings before their gauge's installation are flagged too: the copy raised (exit 10).
    run = cli({"copy", "C", "-o", "-", "--instrument", "北坝"});
    ASSERT_EQ(run.exitCode, 10) << run.describe();
    EXPECT_TRUE(run.errText().contains("条带质量标记（测点 " + gauge)) << run.describe();
    EXPECT_TRUE(run.errText().contains("仪器时钟可能不准")) << run.describe();
    EXPECT_TRUE(run.errText().contains(gauge)) << run.describe();
    // The readings are kept all the same.
    EXPECT_GT(gaugesByName()[gauge]["count"].toInteger(), 0);
}
