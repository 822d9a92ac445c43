// The window's own path from the line to a saved file, run unattended for the benchmark: the
// real main window on the given port connects, reads the partitions, copies partition A through
// "拷贝分区" and saves the preview through "保存预览文件<==" to the given file, whose suffix
// chooses the writer. Exits 0 when the file was written and holds what the preview held.
//
// With --archive the window keeps its archive there, as users run it, and exits only once the
// copy is archived; with --mark it writes the steady clock's nanoseconds at the moment the
// filled grid could first be painted.
//
//   bench_window_run --port COMn --out FILE [--archive FILE] [--mark FILE]
#include "app/DemoTour.h"
#include "app/Form1.h"
#include "archive/Recorder.h"
#include "app/TreeLook.h"
#include "storage/PartitionTree.h"
#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "app/SaveCommand.h"
#include "grids/PreviewGrid.h"
#include "platform/Delay.h"
#include "serial/LinuxPortTable.h"
#include "serial/QtSerialLink.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTreeView>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

// Every save goes to the one file named on the command line.
class FixedSaveDialogs : public FileDialogs {
public:
    explicit FixedSaveDialogs(QString path) : m_path(std::move(path)) {}
    std::optional<QString> saveFileName(const QString&, const QString&) override { return m_path; }
    std::optional<QString> openFileName(const QString&) override { return std::nullopt; }

private:
    QString m_path;
};

bool waitIdle(Form1& window)
{
    QElapsedTimer clock;
    clock.start();
    Delay(0.05f);
    while (window.exchange().lineBusy() && clock.elapsed() < 600000)
        Delay(0.01f);
    return !window.exchange().lineBusy();
}

int fail(const char* why)
{
    std::fprintf(stderr, "bench_window_run: %s\n", why);
    return 1;
}

int run(Form1& window, const QString& out, archive::Recorder* recorder, const QString& mark)
{
    window.Command1->click();
    if (window.Command1->text() != Form1::connectedText())
        return fail("could not connect");
    window.Command2->click();
    if (!waitIdle(window))
        return fail("no answer to the partition listing");
    const PartitionTree::Node* a = window.tree().itemByKey(QStringLiteral("A"));
    if (!a)
        return fail("no partition A");
    window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(a->index()));
    window.Command6->click();
    if (!waitIdle(window) || window.grid().rows() < 2)
        return fail("partition A brought no records");
    if (!mark.isEmpty())
        std::ofstream(mark.toStdString()) << std::chrono::steady_clock::now().time_since_epoch().count() << '\n';
    const int rows = window.grid().rows() - 1;
    window.Command4->click();
    if (window.saver().SaveFileName != out || !QFileInfo::exists(out))
        return fail("the preview was not saved");
    if (recorder) {
        // The window stores a copy once the grace after its reply has passed, which a quick save
        // may well beat: wait for the grace, then for the store.
        while (window.exchange().inGrace() || recorder->storing())
            Delay(0.01f);
        if (!recorder->stored())
            return fail("the copy was not archived");
    }
    std::printf("%d rows saved to %s\n", rows, qPrintable(out));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("port"), QStringLiteral("name"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("file"), QStringLiteral("file"));
    const QCommandLineOption archivePath(QStringLiteral("archive"), QStringLiteral("archive"), QStringLiteral("file"));
    const QCommandLineOption mark(QStringLiteral("mark"), QStringLiteral("mark"), QStringLiteral("file"));
    parser.addOptions({port, out, archivePath, mark});
    parser.process(app);

    QtSerialLink link([](int n) { return LinuxPortTable().resolve(n); },
                      [](const QString& device) { return LinuxPortTable().find(device); });
    auto ports = []() -> std::unique_ptr<PortRegistry> { return std::make_unique<LinuxPortTable>(); };
    sheets::Servers servers;
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    FixedSaveDialogs dialogs(parser.value(out));
    ConsoleMessenger messenger;
    std::unique_ptr<archive::Recorder> recorder;
    // KTM_BENCH_NO_ARCHIVE measures the same path without the archive, for comparison.
    if (parser.isSet(archivePath) && qEnvironmentVariableIsEmpty("KTM_BENCH_NO_ARCHIVE"))
        recorder = std::make_unique<archive::Recorder>(parser.value(archivePath));
    Form1 window(Form1Services{link, messenger, ports, Timing{}, dialogs, servers, QString(), recorder.get()});
    window.Combo1->setCurrentText(parser.value(port));
    window.show();
    int code = 1;
    QTimer::singleShot(0, &window, [&] {
        code = run(window, parser.value(out), recorder.get(), parser.value(mark));
        QApplication::exit(code);
    });
    app.exec();
    return code;
}
