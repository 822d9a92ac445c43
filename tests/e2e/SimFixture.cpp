#include "tests/e2e/SimFixture.h"
#include "app/CopyArchiver.h"
#include "app/ReadoutDialog.h"

#include "export/BuiltinServer.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"
#include "serial/LinuxPortTable.h"
#include "serial/QtSerialLink.h"
#include "storage/PartitionTree.h"
#include "tests/support/QtTestMain.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>

SimProcess::~SimProcess() { stop(); }

bool SimProcess::start(const QString& stateDir, const QString& portDir, const QStringList& extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VARNOK_PORT_DIR", portDir);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(KTM_SIM_PATH), QStringList{"--pty", "--state", stateDir} + extra);
    if (!m_process.waitForStarted(5000))
        return false;
    if (!testing_qt::waitFor([&] { return m_process.canReadLine(); }, 10000))
        return false;
    const QStringList first = QString::fromLatin1(m_process.readLine()).trimmed().split(' ');
    if (first.size() != 2)
        return false;
    m_portName = first[0];
    m_device = first[1];
    return true;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

void SimFixture::SetUp()
{
    ASSERT_TRUE(m_state.isValid() && m_ports.isValid());
    // The program finds ports through the same folder the simulator publishes in.
    qputenv("VARNOK_PORT_DIR", m_ports.path().toLocal8Bit());
    ASSERT_TRUE(sim.start(m_state.path() + "/state", m_ports.path(), simArguments()))
        << sim.process().readAllStandardError().constData();

    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    link = std::make_unique<QtSerialLink>([](int n) { return LinuxPortTable().resolve(n); },
                                          [](const QString& device) { return LinuxPortTable().find(device); });
    window = std::make_unique<Form1>(Form1Services{
        *link, messenger, []() -> std::unique_ptr<PortRegistry> { return std::make_unique<LinuxPortTable>(); },
        timing(), dialogs, servers, QStringLiteral(KTM_TEMPLATE_PATH), recorder()});

    // The question which readout the simulator is, asked at the first archived copy, is
    // answered as an operator would the first time: a new readout in the PC's time zone.
    m_answerReadout.setInterval(5);
    QObject::connect(&m_answerReadout, &QTimer::timeout, [this] {
        auto* dialog = qobject_cast<ReadoutDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        ++readoutQuestions;
        if (!dialog->existingChoice->isChecked()) {
            dialog->newChoice->setChecked(true);
            dialog->nameEdit->setText(QStringLiteral("模拟仪器"));
        }
        dialog->accept();
    });
    if (recorder())
        m_answerReadout.start();

    // Choose the simulator's port from the list and connect.
    const int index = window->Combo1->findText(sim.portName());
    ASSERT_GE(index, 0) << "port list lacks " << sim.portName().toStdString();
    window->Combo1->setCurrentIndex(index);
    window->Command1->click();
    ASSERT_EQ(window->Command1->text(), Form1::connectedText()) << messenger.messages.join("; ").toStdString();
    ASSERT_TRUE(messenger.messages.isEmpty());
}

Timing SimFixture::timing() const
{
    Timing timing = Timing{}.scaled(0.25);
    timing.receiveQuiet = Timing{}.receiveQuiet;
    return timing;
}

void SimFixture::TearDown()
{
    m_answerReadout.stop();
    window.reset();
    link.reset();
    sim.stop();
    qunsetenv("VARNOK_PORT_DIR");
}

bool SimFixture::waitIdle(int timeoutMs)
{
    return testing_qt::waitFor(
        [&] {
            // A copy on its way into the archive reads the component list too.
            const bool archiving = window->archiver() && window->archiver()->running();
            return !window->exchange().lineBusy() && !window->exchange().inGrace() && !archiving;
        },
        timeoutMs);
}

QStringList SimFixture::childTexts(const QString& key) const
{
    QStringList out;
    const PartitionTree::Node* item = window->tree().itemByKey(key);
    if (!item)
        return out;
    for (int r = 0; r < item->rowCount(); ++r)
        out << item->child(r)->text();
    return out;
}

QString SimFixture::expected(const std::string& line)
{
    static ktmsim::Instrument instrument = ktmsim::defaultSeed();
    ktmsim::Protocol protocol(instrument, nullptr);
    return QString::fromStdString(protocol.execute(line));
}

QStringList SimFixture::listingLines(const QString& reply)
{
    QStringList lines = reply.split("\r\n");
    lines.removeAll(QString());
    return lines;
}

void SimFixture::expectGridShows(const QString& reply, bool components)
{
    PreviewGrid want;
    components ? grids::FillYJGrid(want, reply) : grids::FillGrid(want, reply);
    const PreviewGrid& got = window->grid();
    ASSERT_EQ(got.rows(), want.rows());
    ASSERT_EQ(got.cols(), want.cols());
    for (int r = 0; r < want.rows(); ++r)
        for (int c = 0; c < want.cols(); ++c)
            ASSERT_EQ(got.text(r, c), want.text(r, c)) << r << "," << c;
}
