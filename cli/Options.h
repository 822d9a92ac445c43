#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

// The command line of ktm520-cli: one command with its operands, and the options that say how
// to reach the instrument and how to report. Parsing only; nothing here touches a port.
namespace cli {

// The exit codes, as --help and the README document them.
enum ExitCode : int {
    Success = 0,
    UsageError = 2,         // the command line (or an input list) is unusable; nothing was sent
    ConnectionFailed = 3,   // the port is missing, busy or may not be opened
    InstrumentError = 4,    // the instrument answered ERR, refused a row, or answered unclearly
    NoReply = 5,            // no reply within --timeout
    SaveFailed = 6,         // the output file could not be written (the old one, if any, is kept)
    Interrupted = 7,        // the transfer was cut off (device lost mid-reply); nothing was written
    ArchiveFailed = 8,      // the archive could not be opened or could not keep the records
    NoInstrument = 9,       // a copy to archive names no readout the archive knows; nothing was sent
    Raised = 10,            // copied and archived; a gauge reached a higher trigger level or a new reading was flagged
    OfficeUnreachable = 11, // sync: the office database's server could not be reached (the readings wait here)
    OfficeFailed = 12,      // sync: the office database refused or failed (settings, password, TLS, rights, a query)
};

enum class Command {
    Help,
    Version,
    Ports,
    Partitions,
    Files,
    Copy,
    Components,
    WriteComponents,
    NewFile,
    Delete,
    ArchiveList,              // archive list: the archive's components
    ArchiveExport,            // archive export [X [CODE...]] -o OUT [--from T] [--to T]
    ArchiveCheck,             // archive check: the thorough check, and the repair from the texts
    ArchiveInstruments,       // archive instruments: the readouts
    ArchiveInstrumentAdd,     // archive instruments add NAME [--zone Z]
    ArchiveInstrumentRename,  // archive instruments rename OLD NEW
    ArchiveInstrumentDefault, // archive instruments default [NAME | -]: the command line's default
    ArchiveGauges,            // archive gauges [--site S]
    ArchiveAssign,            // archive assign INSTRUMENT CODE GAUGE --from T
    ArchiveRegisterImport,    // archive register import FILE
    ArchiveRegisterExport,    // archive register export FILE
    ArchiveEvents,            // archive events [--since T] [--site S]: the gauges' changes of status
    ArchiveOverdue,           // archive overdue [--site S]: the gauges not read within their interval
    ArchiveLevelsImport,      // archive levels import FILE: the trigger level table
    ArchiveLevelsExport,      // archive levels export FILE
    Report,                   // report [--site S] [--gauge G]... [period] -o OUT: the monitoring report
    Sync,                     // sync [--office CONNINFO] [--office-settings FILE] [--no-pull]: the office database
};

// Where a grid goes, decided by the output's name.
enum class OutputKind {
    None,
    Csv,
    CsvToStdout,
    Xls,
    Xlsx,
    Unknown
};
OutputKind outputKind(const QString& output);

// The file a report is written as, decided by the output's suffix (of any case).
enum class ReportFormat {
    Pdf,
    Ags,
    Csv,
    Unknown
};
ReportFormat reportFormat(const QString& output);

struct Options {
    Command command = Command::Help;
    QString partition;      // X: one letter A..J
    QString file;           // copy: the file of the partition ("" = the whole partition)
    QString output;         // -o: a path ending .csv or .xls, or "-" for CSV on standard output
    QString list;           // write-components: a workbook, a text file, or "-" for standard input
    QString name;           // new-file: the name as typed
    bool dataOnly = false;  // delete --data: the records only, the file names stay
    bool yes = false;       // delete: the operator's consent, given in advance
    bool noArchive = false; // copy: do not keep the records in the archive
    bool log = false;       // write the support log, as the window does
    QString archivePath;    // --archive: the archive's file ("" = the user's data folder)
    QStringList codes;      // archive export: the components ("" = all of the partition)
    // archive export: the time range; archive assign: from (instrument time, as if UTC). report:
    // its period's ends, UTC instants typed on the PC's clock.
    std::optional<qint64> from, to;
    QString instrument;          // --instrument: the readout a copy is archived under ("" = the port's, else the default)
    QString readout;             // archive instruments add/rename/default, archive assign: the readout named
    QString newName;             // archive instruments rename: the readout's new name
    bool clearDefault = false;   // archive instruments default -: forget the default
    QString zone;                // --zone: a new readout's clock's time zone ("" = the PC's)
    QString site;                // --site: archive gauges, archive export, archive events, archive overdue
    QStringList gauges;          // --gauge: archive export (several allowed); archive assign: the one gauge
    QString code;                // archive assign: the slot's code
    QString registerFile;        // archive register import/export: .csv or .xlsx
    QString levelFile;           // archive levels import/export: .csv or .xlsx
    std::optional<qint64> since; // archive events --since: a UTC instant, typed in the PC's clock
    int lastDays = 0;            // report --last: 7 or 30 days up to --to (or now); 0 when not given
    QDate month;                 // report --month: its first day (invalid when not given)
    QString title;               // report --title ("" = the report's own)
    QString reader;              // report --reader: who read and made it ("" = the PC's user)
    QString remarks;             // report --remarks
    bool byType = false;         // report --by-type: a plot per gauge type instead of per gauge
    QString office;              // sync --office: the office's connection string, instead of the settings'
    QString officeSettings;      // sync --office-settings: the office settings file ("" = the user's, as the window's)
    bool noPull = false;         // sync --no-pull: only send, bring nothing from the office

    QString port; // "COMn" as the window lists it, or a device path; "" = first listed
    int baud = 9600;
    QChar parity = QLatin1Char('N'); // N, O, E, M or S
    QString stopBits = QStringLiteral("1");
    double timeoutSeconds = 5.0; // how long the instrument may take to begin its reply
    int quietMs = 200;           // a reply ends after the line has been quiet this long
    int settleMs = 100;          // the wait after opening the port before the first command
    bool json = false;           // listings as JSON; copy: its result (and the archive's verdict) as JSON
    bool quiet = false;
    QString language; // --lang: "zh_CN" or "en" ("" = the one remembered, else Chinese)

    // Whether the command talks to the instrument.
    bool needsInstrument() const;
    // The link's settings string, e.g. "9600,N,8,1".
    QString settings() const;
    // Whether the run draws widgets (a report written as a PDF): it needs a QApplication.
    bool needsWidgets() const;
};

struct ParseResult {
    std::optional<Options> options; // set when the command line is usable
    QString error;                  // the reason otherwise, for the operator
};

// Parses the arguments that follow the program's name.
ParseResult parse(const QStringList& arguments);

// The options and commands parse() knows, in its order, for what lists them.
struct OptionSpelling {
    QString name;  // e.g. "-o"
    QString alias; // the other spelling ("--output"), or ""
    bool valued = false;
    QList<Command> takenBy; // the commands it may be used with
};
QList<OptionSpelling> optionSpellings();
struct CommandSpelling {
    Command command;
    QString name; // e.g. "copy", "archive export"
};
QList<CommandSpelling> commandSpellings();
// The refusal of an option given to a command that does not take it.
QString onlyWithText(const QString& option);

QString helpText();
QString versionText();

} // namespace cli
