#pragma once

#include "archive/Monitoring.h"
#include "cli/Options.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace archive {
class Archive;
class Recorder;
struct ExportSeries;
}

// The archive's commands of the command line, none of which talks to the instrument: the
// archive's components, readouts and gauges, their export, the gauge register, slot
// assignments, the trigger levels, the gauges' events and those overdue, the thorough check, the
// monitoring report, and the sync with the office database.
namespace cli {

class Console;

class ArchiveCommands {
public:
    ArchiveCommands(const Options& options, Console& console, std::function<bool()> stopRequested);

    // Whether the command is one of these.
    static bool handles(Command command);
    int run();

    // --archive, else the archive shared with the window.
    static QString archivePath(const Options& options);
    // The run's language: --lang, else the one chosen in the window, else Chinese.
    static QString language(const Options& options);

private:
    // The recorder's archive, its notice and failure said on standard error.
    archive::Archive* openArchive(archive::Recorder& recorder);
    // The readout the operator named (m_o.readout), or nullopt once standard error says why:
    // `failed` is then the exit code (a read that failed, or a name the archive does not know).
    std::optional<archive::Readout> namedReadout(const archive::Archive& archive, int* failed);
    int list();
    int exportRecords();
    // The series of the gauges --site and --gauge choose.
    int gaugeSeries(const archive::Archive& archive, qint64 from, qint64 to, std::vector<archive::ExportSeries>& series);
    // The gauges --site and --gauge choose; else said, and the exit code (an unknown site or
    // gauge: a usage error).
    int chooseGauges(const archive::Archive& archive, std::vector<archive::GaugeInfo>& chosen);
    int check();
    int instruments();
    int addInstrument();
    int renameInstrument();
    int defaultInstrument();
    int gauges();
    int assign();
    int importRegister();
    int exportRegister();
    int events();
    int overdue();
    int importLevels();
    int exportLevels();
    // The monitoring report (ArchiveReport.cpp).
    int report();
    // The sync with the office database (ArchiveSync.cpp).
    int sync();
    // Success when no --site was given or the archive knows it; else said, and the exit code.
    int checkSite(const archive::Archive& archive);
    // A result on standard output: the JSON of --json, else the lines.
    void put(const QByteArray& json, const QString& lines);

    Options m_o;
    Console& m_console;
    std::function<bool()> m_stopRequested;
};

} // namespace cli
