#include "tests/cli/CliFixture.h"

#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"
#include "tests/support/QtTestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QRegularExpression>

std::string CliRun::describe() const
{
    return QStringLiteral("exit %1%2\n--- stdout ---\n%3\n--- stderr ---\n%4")
        .arg(exitCode)
        .arg(finished ? QString() : QStringLiteral(" (did not finish)"))
        .arg(outText().left(4000), errText().left(4000))
        .toStdString();
}

void CliTest::SetUp()
{
    ASSERT_TRUE(m_state.isValid() && m_ports.isValid() && m_work.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VARNOK_PORT_DIR", m_ports.path());
    m_sim.setProcessEnvironment(env);
    m_sim.start(QStringLiteral(KTM_SIM_PATH), QStringList{"--pty", "--state", m_state.path() + "/state"} + simArguments());
    ASSERT_TRUE(m_sim.waitForStarted(5000));
    ASSERT_TRUE(testing_qt::waitFor([&] { return m_sim.canReadLine(); }, 60000))
        << m_sim.readAllStandardError().toStdString();
    const QStringList first = QString::fromLatin1(m_sim.readLine()).trimmed().split(' ');
    ASSERT_EQ(first.size(), 2);
    m_portName = first[0];
    m_device = first[1];
    m_simPortName = m_portName;

    m_wineCli = qEnvironmentVariable("KTM_WINE_CLI");
    if (underWine()) {
        // As Windows names a serial device: a COM link in the prefix's dosdevices, which the
        // prefix's SERIALCOMM key lists (the fixture that made the prefix wrote it).
        const QString link = qEnvironmentVariable("WINEPREFIX") + "/dosdevices/" + QString(kWineComPort).toLower();
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(m_device, link)) << link.toStdString();
        m_portName = kWineComPort;
        // HARDWARE\DEVICEMAP lives only as long as the prefix's wineserver: written right before.
        QProcess reg;
        reg.start("wine", {"reg", "add", "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "/v", "\\Device\\Serial6", "/t",
                           "REG_SZ", "/d", kWineComPort, "/f"});
        ASSERT_TRUE(reg.waitForFinished(60000) && reg.exitCode() == 0) << reg.readAllStandardError().toStdString();
        // Each test starts with no archive, as it does on Linux in its own data folder.
        QFile::remove(defaultArchive());
        QDir(QFileInfo(defaultArchive()).absolutePath()).removeRecursively();
    } else if (withDefaultReadout()) {
        ASSERT_TRUE(addReadout(kReadout));
        const CliRun made = cli({"archive", "instruments", "default", kReadout}, {}, 60000, false);
        ASSERT_EQ(made.exitCode, 0) << made.describe();
    }
}

bool CliTest::addReadout(const QString& name, const QString& archive)
{
    QStringList arguments{"archive", "instruments", "add", name};
    if (!archive.isEmpty())
        arguments << "--archive" << archive;
    const CliRun run = cli(arguments, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    return run.exitCode == 0;
}

QString CliTest::defaultArchive() const
{
    if (underWine())
        return qEnvironmentVariable("WINEPREFIX") + "/drive_c/users/" + qEnvironmentVariable("USER", "root") +
               "/AppData/Local/Varnok/archive.sqlite";
    return m_state.path() + "/data/Varnok/archive.sqlite";
}

void CliTest::launch(QProcess& process, const QStringList& arguments) const
{
    if (underWine())
        process.start(QStringLiteral("wine"), QStringList{m_wineCli} + arguments);
    else
        process.start(QStringLiteral(KTM_CLI_PATH), arguments);
}

void CliTest::TearDown()
{
    if (m_sim.state() != QProcess::NotRunning) {
        m_sim.terminate();
        if (!m_sim.waitForFinished(5000)) {
            m_sim.kill();
            m_sim.waitForFinished(2000);
        }
    }
}

void CliTest::killSim()
{
    m_sim.kill();
    m_sim.waitForFinished(5000);
}

QProcessEnvironment CliTest::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VARNOK_PORT_DIR", m_ports.path());
    // The archive every copy is kept in lands in the test's own data folder, and the language
    // remembered is the test's own (none: Chinese), whatever the user chose in the window.
    env.insert("XDG_DATA_HOME", m_state.path() + "/data");
    env.insert("XDG_CONFIG_HOME", m_state.path() + "/config");
    return env;
}

void CliTest::startCli(QProcess& process, const QStringList& arguments)
{
    process.setProcessEnvironment(environment());
    launch(process, QStringList{"--port", m_portName} + arguments);
}

CliRun CliTest::cli(const QStringList& arguments, const QByteArray& input, int timeoutMs, bool withPort)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    QElapsedTimer clock;
    clock.start();
    launch(process, (withPort ? QStringList{"--port", m_portName} : QStringList{}) + arguments);
    CliRun run;
    if (!process.waitForStarted(10000))
        return run;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    // Both pipes are drained while it runs, so a long CSV on standard output cannot block it.
    run.finished = testing_qt::waitFor(
        [&] {
            run.out += process.readAllStandardOutput();
            run.err += process.readAllStandardError();
            return process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    run.elapsedMs = clock.elapsed();
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.out += process.readAllStandardOutput();
    run.err += process.readAllStandardError();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

QString CliTest::expected(const std::string& line, long records)
{
    ktmsim::Instrument instrument = ktmsim::defaultSeed();
    if (records >= 0)
        instrument.partition('A').files = ktmsim::largePartitionFiles('A', std::size_t(records));
    ktmsim::Protocol protocol(instrument, nullptr);
    return QString::fromStdString(protocol.execute(line));
}

QStringList CliTest::lines(const QString& reply)
{
    QStringList out = reply.split(QRegularExpression("\r?\n"));
    out.removeAll(QString());
    return out;
}

QStringList CliTest::workFiles() const
{
    return QDir(m_work.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Rows of a CSV text: fields split at commas outside double quotes, quotes doubled inside.
QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Each record the simulator holds for the files, as the CSV row it must become.
void expectCsvHoldsRecords(const QByteArray& csv, const std::vector<ktmsim::DataFile>& files, size_t expectedRecords)
{
    ASSERT_TRUE(csv.startsWith(kBom)); // Excel reads UTF-8 only after a byte-order mark
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.mid(kBom.size())));
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows[0], QStringList({"文件名", "编号", "读数", "温度", "时间"}));
    size_t held = 0;
    qsizetype r = 1;
    for (const ktmsim::DataFile& f : files) {
        const QString name = QString::fromStdString(f.name);
        for (const std::string& record : f.records) {
            ++held;
            ASSERT_LT(r, rows.size()) << "the CSV ends before record " << held;
            const QStringList want = QString::fromStdString(record).split(' ');
            const QStringList& got = rows[r++];
            ASSERT_EQ(got.size(), 5) << got.join('|').toStdString();
            ASSERT_EQ(got[0], name);
            ASSERT_EQ(got[1], want[0]);
            ASSERT_EQ(got[2].toDouble(), want[1].toInt() / 10.0) << got[2].toStdString();
            ASSERT_EQ(got[3].toDouble(), want[2].toInt() / 10.0) << got[3].toStdString();
            ASSERT_EQ(got[4], want[3] + " " + want[4]);
        }
    }
    EXPECT_EQ(r, rows.size()) << "rows beyond the instrument's records";
    EXPECT_EQ(held, expectedRecords);
}
