// The history tab and the calibration table as the operator sees them, saved as PNG images to
// be looked at: four gauges over two months (mm, mm, kPa, and one without a calibration that
// stays in Hz), ten days without readings for one, all chosen with engineering units ticked.
// Usage: history_shot OUT-PREFIX [WIDTH HEIGHT]; writes OUT-PREFIX-history.png and
// OUT-PREFIX-calibrations.png.
#include "app/CalibrationDialog.h"
#include "app/HistoryView.h"
#include "archive/Recorder.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <cstdio>

namespace {

class NoDialogs : public FileDialogs {
public:
    std::optional<QString> saveFileName(const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName(const QString&) override { return std::nullopt; }
};

class PrintedMessages : public Messenger {
public:
    void information(const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    bool confirm(const QString& text) override
    {
        information(text);
        return false;
    }
    void plain(const QString& text) override { information(text); }
};

archive::Calibration calibration(const QString& code, const QString& gauge, const QString& unit, double g)
{
    archive::Calibration c;
    c.code = code;
    c.gauge = gauge;
    c.unit = unit;
    c.G = g;
    c.R0 = 7800;
    c.T0 = 20;
    c.K = 0.01;
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: history_shot OUT-PREFIX [WIDTH HEIGHT]\n");
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    const int width = argc > 3 ? std::atoi(argv[2]) : 1280, height = argc > 3 ? std::atoi(argv[3]) : 720;

    QTemporaryDir dir;
    archive::Recorder recorder(dir.filePath("archive.sqlite"));
    if (!recorder.archive()) {
        std::fprintf(stderr, "%s\n", qPrintable(recorder.failure()));
        return 1;
    }
    std::vector<archive::Record> records;
    const qint64 start = 1'767'225'600; // 2026-01-01 00:00 UTC
    int n = 0;
    for (const char* code : {"A001", "A002", "B001", "C001"}) {
        for (qint64 i = 0; i < 60 * 144; ++i) {
            if (n == 1 && i >= 20 * 144 && i < 30 * 144)
                continue; // the gauge was disconnected
            const double day = double(i) / 144;
            const int reading = int(28000 + 900 * std::sin(day / 9 + n) + 40 * std::sin(day * 6.28));
            const int temperature = int(150 + 60 * std::sin(day * 6.28 + n));
            records.push_back(archive::Record{"A", "F1", code, archive::instrumentTimeText(start + i * 600),
                                              QString::number(reading), QString::number(temperature)});
        }
        ++n;
    }
    archive::Error error;
    const std::optional<archive::Readout> readout =
        recorder.archive()->addReadout(archive::unnamedReadoutName(), QString(), &error);
    if (!readout ||
        !recorder.archive()->store(records, QDateTime::currentDateTimeUtc(), archive::CopyOrigin{readout->id, std::nullopt},
                                   &error) ||
        !recorder.archive()->setCalibrations({calibration("A001", "裂缝计", "mm", 0.01), calibration("A002", "裂缝计", "mm", 0.012),
                                              calibration("B001", "渗压计", "kPa", -0.2)},
                                             &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(archive::Recorder::errorText(error)));
        return 1;
    }

    NoDialogs dialogs;
    PrintedMessages messages;
    HistoryView view(recorder, dialogs, messages);
    view.resize(width, height);
    view.refresh();
    view.components->selectAll();
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return 1;
    QTest::qWait(100);
    std::printf("note: %s\n", qPrintable(view.note->text()));
    if (!view.grab().save(prefix + QStringLiteral("-history.png"), "PNG"))
        return 1;

    CalibrationDialog table(recorder.archive()->calibrations(), dialogs, messages);
    table.show();
    if (!QTest::qWaitForWindowExposed(&table))
        return 1;
    QTest::qWait(50);
    if (!table.grab().save(prefix + QStringLiteral("-calibrations.png"), "PNG"))
        return 1;
    std::printf("%s-history.png %s-calibrations.png (dialog %dx%d)\n", qPrintable(prefix), qPrintable(prefix),
                table.width(), table.height());
    return 0;
}
