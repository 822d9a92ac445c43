#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ktmsim/model.h"

#include <vector>

// What one run of ktm520-cli gave.
struct CliRun {
    bool finished = false; // ended by itself within the time allowed
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
    // For failure messages.
    std::string describe() const;
};

// The simulated instrument on a pseudo-terminal published in a port folder of the test's own,
// and the built ktm520-cli run against it as a separate program, as a cron job would run it.
//
// With KTM_WINE_CLI naming the Windows build (ktm520-cli.exe) and WINEPREFIX a prepared prefix,
// the same tests run that program under Wine: the simulator's terminal becomes the prefix's
// COM port kWineComPort, and the archive is the one in the prefix's local application data.
class CliTest : public ::testing::Test {
public:
    // The reply the seeded instrument gives to a command line, computed in-process from the
    // same seed the simulator starts from (with partition A replaced by `records` records when
    // records >= 0, as --records does).
    static QString expected(const std::string& line, long records = -1);
    // The non-empty lines of a reply.
    static QStringList lines(const QString& reply);

protected:
    void SetUp() override;
    void TearDown() override;

    // Simulator options for a test; the default is an unpaced line.
    virtual QStringList simArguments() const { return {"--no-pace"}; }
    // Whether the default archive starts with the readout kReadout, the command line's default
    // (so that a copy knows which readout its records belong to). Not under Wine.
    virtual bool withDefaultReadout() const { return true; }
    // Adds a readout to an archive ("" the default one) through the program; false if refused.
    bool addReadout(const QString& name, const QString& archive = {});

    // Runs the program with the arguments (the simulator's port first unless withPort is false).
    CliRun cli(const QStringList& arguments, const QByteArray& input = {}, int timeoutMs = 120000,
               bool withPort = true);
    // Starts the program without waiting, for a test that acts while it runs.
    void startCli(QProcess& process, const QStringList& arguments);
    QProcessEnvironment environment() const;
    // Starts the program under test (the Windows one under Wine, see above) with the arguments.
    void launch(QProcess& process, const QStringList& arguments) const;
    bool underWine() const { return !m_wineCli.isEmpty(); }
    // The default archive of the program under test, where a run without --archive keeps copies.
    QString defaultArchive() const;

    bool simRunning() const { return m_sim.state() == QProcess::Running; }
    void killSim();
    QString portName() const { return m_portName; }
    QString device() const { return m_device; }
    QString file(const QString& name) const { return m_work.filePath(name); }
    QStringList workFiles() const; // every file in the work folder, hidden ones too

    QTemporaryDir m_state;
    QTemporaryDir m_ports;
    QTemporaryDir m_work;
    QProcess m_sim;
    QString m_portName;
    QString m_device;
    QString m_wineCli;
    QString m_simPortName; // the simulator's own name for its terminal (in m_ports)
};

inline const char* kWineComPort = "COM7";
// The readout the fixture's archive starts with.
inline const char* kReadout = "测试仪";

// The same commands on a paced 9600-baud line and on an unpaced one.
class PacedCliTest : public CliTest, public ::testing::WithParamInterface<bool> {
protected:
    QStringList simArguments() const override
    {
        return GetParam() ? QStringList{"--baud", "9600"} : QStringList{"--no-pace"};
    }
};

// Rows of a CSV text: fields split at commas outside double quotes, quotes doubled inside,
// rows ended by CR LF.
QList<QStringList> parseCsv(const QString& text);
QByteArray readAll(const QString& path);
inline const QByteArray kBom = "\xEF\xBB\xBF";
// The CSV holds each record of the files, as the row it must become, and nothing else.
void expectCsvHoldsRecords(const QByteArray& csv, const std::vector<ktmsim::DataFile>& files, size_t expectedRecords);
