// The command line's parsing: what is accepted, its defaults, and what is refused before any
// port is opened.
#include "cli/Options.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include <ctime>
#include <map>

using namespace cli;

namespace {

Options ok(const QStringList& args)
{
    const ParseResult r = parse(args);
    EXPECT_TRUE(r.options.has_value()) << args.join(' ').toStdString() << ": " << r.error.toStdString();
    return r.options.value_or(Options{});
}

QString refused(const QStringList& args)
{
    const ParseResult r = parse(args);
    EXPECT_FALSE(r.options.has_value()) << args.join(' ').toStdString();
    EXPECT_FALSE(r.error.isEmpty()) << args.join(' ').toStdString();
    return r.error;
}

} // namespace

TEST(CliOptions, DefaultsAreTheWindowsSettings)
{
    const Options o = ok({"partitions"});
    EXPECT_EQ(o.command, Command::Partitions);
    EXPECT_EQ(o.settings(), "9600,N,8,1");
    EXPECT_EQ(o.port, "");
    EXPECT_DOUBLE_EQ(o.timeoutSeconds, 5.0);
    EXPECT_FALSE(o.json);
    EXPECT_FALSE(o.quiet);
    EXPECT_TRUE(o.needsInstrument());
    EXPECT_FALSE(ok({"ports"}).needsInstrument());
}

TEST(CliOptions, EveryCommandWithItsOperands)
{
    Options o = ok({"files", "c"});
    EXPECT_EQ(o.command, Command::Files);
    EXPECT_EQ(o.partition, "C"); // taken for its capital

    o = ok({"copy", "B", "B20261105-01", "-o", "/tmp/b.csv"});
    EXPECT_EQ(o.command, Command::Copy);
    EXPECT_EQ(o.partition, "B");
    EXPECT_EQ(o.file, "B20261105-01");
    EXPECT_EQ(o.output, "/tmp/b.csv");

    o = ok({"-o", "-", "copy", "A"});
    EXPECT_EQ(o.file, "");
    EXPECT_EQ(outputKind(o.output), OutputKind::CsvToStdout);

    o = ok({"components", "J", "--output=list.XLS"});
    EXPECT_EQ(o.command, Command::Components);
    EXPECT_EQ(outputKind(o.output), OutputKind::Xls);

    o = ok({"write-components", "A", "-"});
    EXPECT_EQ(o.command, Command::WriteComponents);
    EXPECT_EQ(o.list, "-");

    o = ok({"new-file", "D", "  NAME  "});
    EXPECT_EQ(o.command, Command::NewFile);
    EXPECT_EQ(o.name, "  NAME  "); // checked later, as the dialog checks it

    o = ok({"delete", "E", "--data", "--yes"});
    EXPECT_EQ(o.command, Command::Delete);
    EXPECT_TRUE(o.dataOnly);
    o = ok({"delete", "E", "--yes"});
    EXPECT_FALSE(o.dataOnly);

    EXPECT_EQ(ok({"--help", "copy"}).command, Command::Help);
    EXPECT_EQ(ok({"--version"}).command, Command::Version);
}

TEST(CliOptions, LineSettingsAndTimeout)
{
    const Options o = ok({"--port", "COM7", "--baud=115200", "--parity", "even", "--stop-bits", "2", "--timeout",
                          "0.5", "--json", "-q", "files", "A"});
    EXPECT_EQ(o.port, "COM7");
    EXPECT_EQ(o.settings(), "115200,E,8,2");
    EXPECT_DOUBLE_EQ(o.timeoutSeconds, 0.5);
    EXPECT_TRUE(o.json);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(ok({"--parity", "Mark", "ports"}).parity, QChar('M'));
    EXPECT_EQ(ok({"--parity", "O", "ports"}).parity, QChar('O'));
    EXPECT_EQ(ok({"--port", "/dev/ttyUSB0", "ports"}).port, "/dev/ttyUSB0");
    // after "--" everything is an operand, even what looks like an option
    EXPECT_EQ(ok({"new-file", "A", "--", "--x"}).name, "--x");
    // the language, in its usual spellings
    EXPECT_EQ(ok({"--lang", "EN", "ports"}).language, "en");
    EXPECT_EQ(ok({"--lang=zh", "archive", "list"}).language, "zh_CN");
    EXPECT_EQ(ok({"ports"}).language, "");
}

TEST(CliOptions, QuietSpellAndSettleTime)
{
    EXPECT_EQ(ok({"partitions"}).quietMs, 200);
    EXPECT_EQ(ok({"partitions"}).settleMs, 100) << "not the window's 1 s after opening";
    const Options o = ok({"--quiet-ms", "750", "--settle-ms=0", "copy", "A", "-o", "a.csv"});
    EXPECT_EQ(o.quietMs, 750);
    EXPECT_EQ(o.settleMs, 0);
    EXPECT_EQ(ok({"--settle-ms", "60000", "partitions"}).settleMs, 60000);
    for (const QStringList& bad : {QStringList{"--quiet-ms", "0", "partitions"}, {"--quiet-ms", "-5", "partitions"}, {"--quiet-ms", "0.5", "partitions"}, {"--quiet-ms", "60001", "partitions"}, {"--settle-ms", "-1", "partitions"}, {"--settle-ms", "x", "partitions"}})
        refused(bad);
}

TEST(CliOptions, UnusableCommandLinesAreRefused)
{
    refused({});
    refused({"dance"});
    refused({"--frobnicate", "ports"});
    refused({"--port"}); // a value is missing
    refused({"--baud", "fast", "ports"});
    refused({"--baud", "0", "ports"});
    refused({"--parity", "X", "ports"});
    refused({"--stop-bits", "3", "ports"});
    refused({"--timeout", "0", "ports"});
    refused({"--timeout", "-1", "ports"});
    refused({"files"});      // no partition
    refused({"files", "K"}); // no such partition
    refused({"files", "AB"});
    refused({"files", "A", "B"});          // too many operands
    refused({"copy", "A"});                // no output
    refused({"copy", "A", "-o", "a.txt"}); // neither .csv nor .xls
    refused({"copy", "A", "-o", ".csv"});
    refused({"copy", "A", "", "-o", "a.csv"});
    refused({"partitions", "-o", "a.csv"});      // -o only for copy and components
    refused({"copy", "A", "-o", "-", "--json"}); // the CSV holds standard output
    refused({"new-file", "A"});
    refused({"write-components", "A"});
    refused({"files", "A", "--data"});
    refused({"files", "A", "--yes"});
    refused({"--lang", "fr", "ports"});
    refused({"--lang=", "ports"});
    refused({"ports", "--lang"});
}

TEST(CliOptions, DeleteWithoutConsentIsAUsageError)
{
    const QString why = refused({"delete", "A"});
    EXPECT_TRUE(why.contains("--yes")) << why.toStdString();
    EXPECT_TRUE(refused({"delete", "B", "--data"}).contains("--yes"));
}

TEST(CliOptions, HelpExplainsEveryCommandOptionAndExitCode)
{
    const QString help = helpText();
    for (const char* word : {"ports", "partitions", "files X", "copy X [FILE] -o OUT", "components X",
                             "write-components X LIST", "new-file X NAME", "delete X [--data] --yes", "--port",
                             "--baud", "--parity", "--stop-bits", "--timeout", "--quiet-ms", "--settle-ms", "--json", "--quiet", "--lang", "--help",
                             "--version", "-o, --output"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(word))) << word;
    for (int code : {0, 2, 3, 4, 5, 6, 7})
        EXPECT_TRUE(help.contains(QStringLiteral("\n  %1  ").arg(code))) << code;
    // Chinese comes first
    EXPECT_LT(help.indexOf("用法"), help.indexOf("Usage"));
    EXPECT_TRUE(versionText().startsWith("ktm520-cli "));
}

TEST(CliOptions, AnOptionIsNeverTakenForTheValueOfAnother)
{
    for (const QStringList& args : {QStringList{"--port", "--archive", "x", "partitions"},
                                    QStringList{"partitions", "--port", "--json"},
                                    QStringList{"copy", "A", "-o", "--no-archive"},
                                    QStringList{"archive", "list", "--archive", "--json"},
                                    QStringList{"--port=--archive", "partitions"}}) {
        const QString error = refused(args);
        EXPECT_TRUE(error.contains("需要一个值")) << args.join(' ').toStdString() << ": " << error.toStdString();
    }
    // a value that merely begins with one dash is a value
    EXPECT_EQ(ok({"copy", "A", "-o", "-"}).output, "-");
    EXPECT_EQ(ok({"--port", "-weird", "partitions"}).port, "-weird");
}

namespace {

// A command line each command accepts as it stands, with nothing optional on it.
QStringList plainLine(Command command)
{
    switch (command) {
    case Command::Ports: return {"ports"};
    case Command::Partitions: return {"partitions"};
    case Command::Files: return {"files", "A"};
    case Command::Copy: return {"copy", "A", "-o", "a.csv"};
    case Command::Components: return {"components", "A"};
    case Command::WriteComponents: return {"write-components", "A", "list.txt"};
    case Command::NewFile: return {"new-file", "A", "NAME"};
    case Command::Delete: return {"delete", "A", "--yes"};
    case Command::ArchiveList: return {"archive", "list"};
    case Command::ArchiveExport: return {"archive", "export", "-o", "a.xlsx"};
    case Command::ArchiveCheck: return {"archive", "check"};
    case Command::ArchiveInstruments: return {"archive", "instruments"};
    case Command::ArchiveInstrumentAdd: return {"archive", "instruments", "add", "R1"};
    case Command::ArchiveInstrumentRename: return {"archive", "instruments", "rename", "R1", "R2"};
    case Command::ArchiveInstrumentDefault: return {"archive", "instruments", "default", "R1"};
    case Command::ArchiveGauges: return {"archive", "gauges"};
    case Command::ArchiveAssign: return {"archive", "assign", "R1", "A001", "G1", "--from", "2026-12-07"};
    case Command::ArchiveRegisterImport: return {"archive", "register", "import", "gauges.xlsx"};
    case Command::ArchiveRegisterExport: return {"archive", "register", "export", "gauges.csv"};
    case Command::ArchiveEvents: return {"archive", "events"};
    case Command::ArchiveOverdue: return {"archive", "overdue"};
    case Command::ArchiveLevelsImport: return {"archive", "levels", "import", "levels.xlsx"};
    case Command::ArchiveLevelsExport: return {"archive", "levels", "export", "levels.csv"};
    case Command::Report: return {"report", "-o", "week.pdf"};
    case Command::Sync: return {"sync"};
    default: return {};
    }
}

// Which commands take each option, as --help and the README say; options left out are taken by
// every command. A value that the option accepts, for the valued ones.
const std::map<QString, QList<Command>> kOnlyWith = {
    {"-o", {Command::Copy, Command::Components, Command::ArchiveExport, Command::Report}},
    {"--data", {Command::Delete}},
    {"--yes", {Command::Delete}},
    {"--no-archive", {Command::Copy}},
    {"--from", {Command::ArchiveExport, Command::ArchiveAssign, Command::Report}},
    {"--to", {Command::ArchiveExport, Command::Report}},
    {"--instrument", {Command::Copy}},
    {"--zone", {Command::ArchiveInstrumentAdd}},
    {"--site",
     {Command::ArchiveGauges, Command::ArchiveExport, Command::ArchiveEvents, Command::ArchiveOverdue, Command::Report}},
    {"--since", {Command::ArchiveEvents}},
    {"--gauge", {Command::ArchiveExport, Command::Report}},
    {"--last", {Command::Report}},
    {"--month", {Command::Report}},
    {"--title", {Command::Report}},
    {"--reader", {Command::Report}},
    {"--remarks", {Command::Report}},
    {"--by-type", {Command::Report}},
    {"--office", {Command::Sync}},
    {"--office-settings", {Command::Sync}},
    {"--no-pull", {Command::Sync}},
    {"--json",
     {Command::Ports, Command::Partitions, Command::Files, Command::Copy, Command::Components, Command::ArchiveList,
      Command::ArchiveInstruments, Command::ArchiveGauges, Command::ArchiveEvents, Command::ArchiveOverdue}},
};
const std::map<QString, QString> kGoodValue = {
    {"--port", "COM3"},
    {"--baud", "19200"},
    {"--parity", "Odd"},
    {"--stop-bits", "2"},
    {"--timeout", "2.5"},
    {"--quiet-ms", "300"},
    {"--settle-ms", "50"},
    {"--archive", "a.sqlite"},
    {"--lang", "en"},
    {"-o", "b.csv"},
    {"--from", "2026-12-01"},
    {"--to", "2026-12-07"},
    {"--instrument", "北坝一号"},
    {"--zone", "Asia/Shanghai"},
    {"--site", "大坝"},
    {"--gauge", "QRVA000001"},
    {"--since", "2026-12-01 08:00"},
    {"--last", "30"},
    {"--month", "2026-11"},
    {"--title", "北坝周报"},
    {"--reader", "王工"},
    {"--remarks", "闸门检修后"},
    {"--office", "host=office.example dbname=ktm520 sslmode=verify-full"},
    {"--office-settings", "office.ini"},
};

} // namespace

TEST(CliOptions, EveryOptionIsAcceptedExactlyByTheCommandsThatTakeIt)
{
    const QList<CommandSpelling> commands = commandSpellings();
    ASSERT_EQ(commands.size(), 25);
    for (const OptionSpelling& option : optionSpellings()) {
        SCOPED_TRACE(option.name.toStdString());
        QStringList given{option.name};
        if (option.valued) {
            ASSERT_TRUE(kGoodValue.count(option.name)) << "no value to try";
            given << kGoodValue.at(option.name);
        }
        const auto only = kOnlyWith.find(option.name);
        for (const CommandSpelling& command : commands) {
            const QStringList line = plainLine(command.command) + given;
            ASSERT_TRUE(parse(plainLine(command.command)).options) << command.name.toStdString();
            EXPECT_TRUE(helpText().contains("  " + command.name)) << command.name.toStdString();
            const bool taken = only == kOnlyWith.end() || only->second.contains(command.command);
            EXPECT_EQ(option.takenBy.contains(command.command), taken) << command.name.toStdString();
            const ParseResult r = parse(line);
            if (taken) {
                EXPECT_TRUE(r.options) << line.join(' ').toStdString() << ": " << r.error.toStdString();
            } else {
                EXPECT_FALSE(r.options) << line.join(' ').toStdString();
                EXPECT_EQ(r.error, onlyWithText(option.name)) << line.join(' ').toStdString();
            }
        }
        // --help names every spelling
        EXPECT_TRUE(helpText().contains(option.name));
        EXPECT_TRUE(helpText().contains(option.alias));
        // the other spelling is the same option: taken by the same commands
        if (!option.alias.isEmpty()) {
            for (const CommandSpelling& command : commands) {
                const QStringList line = plainLine(command.command) + QStringList{option.alias} + given.mid(1);
                EXPECT_EQ(parse(line).error, parse(plainLine(command.command) + given).error)
                    << line.join(' ').toStdString();
            }
        }
    }
}

TEST(CliOptions, TheOnlyWithRefusalNamesTheCommandsThatTakeTheOption)
{
    EXPECT_EQ(onlyWithText("--data"), "--data 只能用于 delete。");
    EXPECT_EQ(onlyWithText("--no-archive"), "--no-archive 只能用于 copy。");
    EXPECT_EQ(onlyWithText("--json"), "--json 只能用于 ports、partitions、files、copy、components、archive list、"
                                      "archive instruments、archive gauges、archive events 和 archive overdue。");
    EXPECT_EQ(onlyWithText("--since"), "--since 只能用于 archive events。");
    EXPECT_EQ(onlyWithText("-o"), "-o 只能用于 copy、components、archive export 和 report。");
    EXPECT_EQ(onlyWithText("--output"), onlyWithText("-o"));
    // the same refusal whichever command is used
    EXPECT_EQ(refused({"new-file", "A", "N", "--json"}), refused({"archive", "check", "--json"}));
    EXPECT_EQ(refused({"files", "A", "--from", "2026-12-01"}), refused({"archive", "list", "--from", "2026-12-01"}));
}

TEST(CliOptions, ArchiveListAndCheckRefuseWhatTheyWouldIgnore)
{
    // An output the command never writes would be a run that says it succeeded with no file.
    EXPECT_EQ(refused({"archive", "list", "-o", "list.csv"}), onlyWithText("-o"));
    EXPECT_EQ(refused({"archive", "check", "--output=x.xlsx"}), onlyWithText("-o"));
    EXPECT_EQ(refused({"archive", "check", "--yes"}), onlyWithText("--yes"));
    EXPECT_EQ(refused({"archive", "list", "--data"}), onlyWithText("--data"));
}

TEST(CliOptions, CommandsRefusedByTheirOperandsAndOutput)
{
    const QString sub = refused({"archive", "dance"});
    EXPECT_EQ(refused({"archive"}), sub);
    // A command named whole with the wrong count is named in the refusal.
    EXPECT_EQ(refused({"archive", "list", "x"}), "命令 archive list 的参数个数不对。");
    EXPECT_EQ(refused({"archive", "check", "x"}), "命令 archive check 的参数个数不对。");
    EXPECT_EQ(refused({"files"}), "命令 files 的参数个数不对。");
    EXPECT_NE(sub, refused({"dance"}));
    EXPECT_EQ(ok({"archive", "export", "b", "B001", "B002", "-o", "a.csv"}).codes, QStringList({"B001", "B002"}));
    EXPECT_EQ(ok({"archive", "export", "b", "-o", "a.csv"}).partition, "B");
    refused({"archive", "export", "K", "-o", "a.csv"});
    refused({"archive", "export"});                // no output
    refused({"archive", "export", "-o", "a.xls"}); // neither .xlsx nor .csv
    refused({"archive", "export", "-o", "-"});
    refused({"components", "A", "-o", "a.txt"});
    refused({"components", "A", "-o", "a.csv", "--json"});
    refused({"archive", "export", "-o", "a.csv", "--from", "2026-12-08", "--to", "2026-12-07"});
    const Options o = ok({"archive", "export", "-o", "a.csv", "--from", "2026-12-07", "--to", "2026-12-07"});
    EXPECT_EQ(*o.to - *o.from, 86399) << "a date alone as --to is its last second";
    refused({"--json=1", "ports"}); // a flag takes no value
    refused({"-o=a.csv", "copy", "A"});
}

TEST(CliOptions, TheReadoutAndGaugeCommandsTakeTheirOperands)
{
    EXPECT_EQ(ok({"archive", "instruments"}).command, Command::ArchiveInstruments);
    Options o = ok({"archive", "instruments", "add", " 北坝一号 ", "--zone", "Asia/Shanghai"});
    EXPECT_EQ(o.command, Command::ArchiveInstrumentAdd);
    EXPECT_EQ(o.readout, "北坝一号");
    EXPECT_EQ(o.zone, "Asia/Shanghai");
    // The longest name wins: "add" and "list" are names here, not words of a command.
    o = ok({"archive", "instruments", "rename", "add", "list"});
    EXPECT_EQ(o.command, Command::ArchiveInstrumentRename);
    EXPECT_EQ(o.readout, "add");
    EXPECT_EQ(o.newName, "list");
    EXPECT_EQ(refused({"archive", "instruments", "add"}), "命令 archive instruments add 的参数个数不对。");
    EXPECT_EQ(refused({"archive", "instruments", "add", "a", "b"}), "命令 archive instruments add 的参数个数不对。");
    EXPECT_EQ(refused({"archive", "instruments", "rename", "a", " "}), "仪器名称不能为空。");
    EXPECT_EQ(refused({"archive", "instruments", "x"}), "命令 archive instruments 的参数个数不对。");

    o = ok({"archive", "instruments", "default"});
    EXPECT_TRUE(o.readout.isEmpty());
    EXPECT_FALSE(o.clearDefault);
    EXPECT_TRUE(ok({"archive", "instruments", "default", "-"}).clearDefault);
    o = ok({"archive", "instruments", "default", "R1"});
    EXPECT_EQ(o.readout, "R1");
    EXPECT_FALSE(o.clearDefault);

    o = ok({"archive", "assign", "R1", "A001", "QRVA000001", "--from", "2026-12-07 10:31:05"});
    EXPECT_EQ(o.command, Command::ArchiveAssign);
    EXPECT_EQ(o.readout, "R1");
    EXPECT_EQ(o.code, "A001");
    EXPECT_EQ(o.gauges, QStringList({"QRVA000001"}));
    ASSERT_TRUE(o.from);
    EXPECT_EQ(*o.from, QDateTime(QDate(2026, 12, 7), QTime(10, 31, 5), Qt::UTC).toSecsSinceEpoch());
    EXPECT_TRUE(refused({"archive", "assign", "R1", "A001", "QRVA000001"}).contains("--from"));
    refused({"archive", "assign", "R1", "A001", "QRVA000001", "--from", "07.12.2026"});
    refused({"archive", "assign", "R1", "A001", "--from", "2026-12-07"});

    EXPECT_EQ(ok({"archive", "register", "import", "登记表.XLSX"}).registerFile, "登记表.XLSX");
    EXPECT_EQ(ok({"archive", "register", "export", "g.csv"}).command, Command::ArchiveRegisterExport);
    EXPECT_EQ(ok({"archive", "register", "import", "g.xls"}).registerFile, "g.xls");
    for (const char* file : {"g.xls", "g.txt", "-"})
        EXPECT_TRUE(refused({"archive", "register", "export", file}).contains(file)) << file;
}

TEST(CliOptions, TheReadoutSiteAndGaugeOptions)
{
    EXPECT_EQ(ok({"copy", "A", "-o", "a.csv", "--instrument", " R1 "}).instrument, "R1");
    EXPECT_EQ(refused({"copy", "A", "-o", "a.csv", "--instrument", " "}), "--instrument 需要仪器的名称。");
    EXPECT_EQ(refused({"copy", "A", "-o", "a.csv", "--instrument=R1", "--no-archive=1"}), "未知的选项“--no-archive=1”。");
    const Options o = ok({"archive", "export", "--gauge", "G1", "--site", "大坝", "--gauge=G2", "-o", "a.csv"});
    EXPECT_EQ(o.gauges, QStringList({"G1", "G2"}));
    EXPECT_EQ(o.site, "大坝");
    EXPECT_EQ(ok({"archive", "gauges", "--site", "大坝", "--json"}).site, "大坝");
    refused({"archive", "gauges", "--site="});
    // Gauges or components, not both: a gauge moves between slots.
    EXPECT_EQ(refused({"archive", "export", "A", "--gauge", "G1", "-o", "a.csv"}),
              refused({"archive", "export", "A", "A001", "--site", "大坝", "-o", "a.csv"}));
    EXPECT_TRUE(refused({"archive", "export", "A", "--gauge", "G1", "-o", "a.csv"}).contains("--gauge"));
    refused({"archive", "instruments", "add", "R1", "--zone", ""});
}

TEST(CliOptions, TheLevelAndEventCommandsTakeTheirOperandsAndOptions)
{
    Options o = ok({"archive", "events", "--since", "2026-12-07 10:31", "--site", "大坝", "--json"});
    EXPECT_EQ(o.command, Command::ArchiveEvents);
    EXPECT_EQ(o.site, "大坝");
    EXPECT_TRUE(o.json);
    // --since is on the PC's clock
    ASSERT_TRUE(o.since);
    EXPECT_EQ(*o.since, QDateTime(QDate(2026, 12, 7), QTime(10, 31), Qt::LocalTime).toSecsSinceEpoch());
    EXPECT_FALSE(ok({"archive", "events"}).since);
    EXPECT_TRUE(refused({"archive", "events", "--since", "yesterday"}).contains("yesterday"));
    EXPECT_EQ(refused({"archive", "events", "x"}), "命令 archive events 的参数个数不对。");
    EXPECT_EQ(refused({"archive", "overdue", "--since", "2026-12-01"}), onlyWithText("--since"));
    EXPECT_EQ(ok({"archive", "overdue", "--site", "大坝"}).command, Command::ArchiveOverdue);

    o = ok({"archive", "levels", "import", "触发值.XLS"});
    EXPECT_EQ(o.command, Command::ArchiveLevelsImport);
    EXPECT_EQ(o.levelFile, "触发值.XLS");
    EXPECT_EQ(ok({"archive", "levels", "export", "l.xlsx"}).command, Command::ArchiveLevelsExport);
    for (const char* file : {"l.xls", "l.txt", "-"})
        EXPECT_TRUE(refused({"archive", "levels", "export", file}).contains(file)) << file;
    EXPECT_TRUE(refused({"archive", "levels", "import", "l.txt"}).contains(".xls"));
    EXPECT_EQ(refused({"archive", "levels", "import"}), "命令 archive levels import 的参数个数不对。");
    EXPECT_TRUE(refused({"archive", "levels"}).contains("levels"));

    // copy --json beside its file, never with the CSV on standard output
    o = ok({"copy", "A", "-o", "a.xlsx", "--json"});
    EXPECT_TRUE(o.json);
    EXPECT_TRUE(refused({"copy", "A", "-o", "-", "--json"}).contains("-o -"));
    EXPECT_EQ(refused({"components", "A", "-o", "a.csv", "--json"}), "--json 与 -o 不能同时使用。");

    const QString help = helpText();
    EXPECT_TRUE(help.contains("\n  10 ")) << "exit code 10";
    for (const char* word : {"archive events [--since T] [--site S]", "archive overdue [--site S]",
                             "archive levels import FILE", "archive levels export FILE"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(word))) << word;
}

TEST(CliOptions, TheReportTakesOnePeriodItsOutputAndItsTexts)
{
    Options o = ok({"report", "--site", "北坝", "--gauge", "P001", "--gauge", "P002", "-o", "week.PDF", "--title",
                    " 周报 ", "--reader", "王工", "--remarks", " 闸门检修后 ", "--by-type"});
    EXPECT_EQ(o.command, Command::Report);
    EXPECT_EQ(o.site, "北坝");
    EXPECT_EQ(o.gauges, QStringList({"P001", "P002"}));
    EXPECT_EQ(reportFormat(o.output), ReportFormat::Pdf);
    EXPECT_TRUE(o.needsWidgets());
    EXPECT_EQ(o.title, "周报");
    EXPECT_EQ(o.reader, "王工");
    EXPECT_EQ(o.remarks, " 闸门检修后 "); // as typed
    EXPECT_TRUE(o.byType);
    // No period: the default, the last 7 days up to now.
    EXPECT_EQ(o.lastDays, 0);
    EXPECT_FALSE(o.month.isValid());
    EXPECT_FALSE(o.from || o.to);

    // Only a PDF draws widgets; AGS4 and CSV, and every other command, need no QApplication.
    EXPECT_EQ(reportFormat("a.ags"), ReportFormat::Ags);
    EXPECT_FALSE(ok({"report", "-o", "a.Ags"}).needsWidgets());
    EXPECT_FALSE(ok({"report", "-o", "a.csv"}).needsWidgets());
    EXPECT_FALSE(ok({"archive", "export", "-o", "a.pdf.csv"}).needsWidgets());
    EXPECT_FALSE(ok({"ports"}).needsWidgets());

    EXPECT_EQ(ok({"report", "--last", "30", "-o", "a.csv"}).lastDays, 30);
    EXPECT_EQ(ok({"report", "--last", "7", "--to", "2026-11-30", "-o", "a.csv"}).lastDays, 7);
    EXPECT_EQ(ok({"report", "--month", "2026-02", "-o", "a.csv"}).month, QDate(2026, 2, 1));
    EXPECT_TRUE(refused({"report", "--last", "14", "-o", "a.csv"}).contains("7 或 30"));
    EXPECT_TRUE(refused({"report", "--month", "2026-13", "-o", "a.csv"}).contains("2026-13"));
    EXPECT_TRUE(refused({"report", "--month", "11/2026", "-o", "a.csv"}).contains("11/2026"));

    // One way of naming the period.
    EXPECT_TRUE(refused({"report", "--month", "2026-11", "--from", "2026-11-01", "-o", "a.csv"}).contains("--month"));
    EXPECT_TRUE(refused({"report", "--month", "2026-11", "--to", "2026-11-30", "-o", "a.csv"}).contains("--month"));
    EXPECT_TRUE(refused({"report", "--month", "2026-11", "--last", "7", "-o", "a.csv"}).contains("--month"));
    EXPECT_TRUE(refused({"report", "--last", "7", "--from", "2026-11-01", "-o", "a.csv"}).contains("--last"));
    refused({"report", "--from", "2026-11-30", "--to", "2026-11-01", "-o", "a.csv"});

    // The output: required, and one of the three suffixes.
    EXPECT_TRUE(refused({"report"}).contains("-o"));
    for (const char* output : {"week.txt", "week.xlsx", "week", "-"})
        EXPECT_TRUE(refused({"report", "-o", output}).contains(".pdf、.ags 或 .csv")) << output;
    EXPECT_EQ(refused({"report", "-o", "a.pdf", "--json"}), onlyWithText("--json"));
    EXPECT_EQ(refused({"archive", "export", "-o", "a.csv", "--last", "7"}), onlyWithText("--last"));
    EXPECT_EQ(refused({"report", "x", "-o", "a.pdf"}), "命令 report 的参数个数不对。");

    const QString help = helpText();
    for (const char* word : {"report [--site S] [--gauge G]...", "--last 7|30", "--month YYYY-MM", "--from T [--to T]",
                             "--by-type"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(word))) << word;
}

TEST(CliOptions, TheReportsPeriodIsOnThePcsClock)
{
    // Unlike archive export's range (the readout's clock, kept as if UTC), a report prints the
    // PC's clock, and its period is typed on it: eight hours east, midnight is 16:00 UTC before.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    const Options r = ok({"report", "--from", "2026-11-01", "--to", "2026-11-30", "-o", "a.csv"});
    const Options e = ok({"archive", "export", "--from", "2026-11-01", "--to", "2026-11-30", "-o", "a.csv"});
    const qint64 midnightUtc = QDateTime(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    EXPECT_EQ(*e.from, midnightUtc);
    EXPECT_EQ(*r.from, midnightUtc - 8 * 3600);
    // a date alone as --to is its last second
    EXPECT_EQ(*r.to, QDateTime(QDate(2026, 11, 30), QTime(23, 59, 59), Qt::UTC).toSecsSinceEpoch() - 8 * 3600);
    EXPECT_EQ(*ok({"report", "--to", "2026-11-30 12:00", "-o", "a.csv"}).to,
              QDateTime(QDate(2026, 11, 30), QTime(4, 0), Qt::UTC).toSecsSinceEpoch());
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

TEST(CliOptions, SyncTakesTheOfficeItsSettingsFileAndWhetherToPull)
{
    Options o = ok({"sync"});
    EXPECT_EQ(o.command, Command::Sync);
    EXPECT_TRUE(o.office.isEmpty());
    EXPECT_TRUE(o.officeSettings.isEmpty());
    EXPECT_FALSE(o.noPull);
    EXPECT_FALSE(o.needsInstrument());
    o = ok({"sync", "--office", " service=office ", "--office-settings", "o.ini", "--no-pull"});
    EXPECT_EQ(o.office, "service=office");
    EXPECT_EQ(o.officeSettings, "o.ini");
    EXPECT_TRUE(o.noPull);
    EXPECT_TRUE(refused({"sync", "--office", " "}).contains("--office"));
    EXPECT_EQ(refused({"sync", "now"}), "命令 sync 的参数个数不对。");
    EXPECT_EQ(refused({"archive", "list", "--no-pull"}), onlyWithText("--no-pull"));

    const QString help = helpText();
    for (int code : {11, 12})
        EXPECT_TRUE(help.contains(QStringLiteral("\n  %1 ").arg(code))) << code;
    for (const char* word : {"sync [--office CONNINFO] [--office-settings FILE] [--no-pull]", ".pgpass", "verify-full"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(word))) << word;
}
