#include "cli/Options.h"

#include "export/SaveGrid.h"
#include "platform/Language.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <limits>
#include <utility>
#include <variant>
#include <vector>

namespace cli {

namespace {

// The command line's texts for the operator.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::Options)
};

// A set of commands, one bit each.
using Commands = unsigned;
constexpr Commands kEveryCommand = ~0u;
static_assert(unsigned(Command::Sync) < 32, "a command set holds a bit per command");
template <typename... C>
constexpr Commands only(C... commands)
{
    return ((1u << unsigned(commands)) | ...);
}
constexpr bool takes(Commands set, Command command) { return (set >> unsigned(command)) & 1u; }

// What an option's row does with what was typed: the options so far, whether --help or --version
// was asked for, and the value ("" for a flag). Gives the refusal, or "" when the value was taken.
struct Reading {
    Options o;
    bool help = false;
    bool version = false;
};
using Take = QString (*)(Reading&, const QString& value);

struct OptionRow {
    const char* name;
    const char* alias; // the other spelling, or nullptr
    bool valued;       // takes a value: "--name value" or "--name=value"
    Commands takenBy;  // the commands it may be used with
    Take take;
};

// A command: its name (one or two words), how many operands follow the name, whether the first
// of them is a partition letter, and what the rest of them (and the options it needs) say.
using Check = QString (*)(Options&, const QStringList& operands);
struct CommandRow {
    Command command;
    const char* name;
    int minOperands;
    int maxOperands;
    bool partitionFirst;
    Check check; // nullptr: nothing more to check
};

// A partition letter as the instrument knows it; a lower-case letter is taken for its capital.
std::optional<QString> partitionLetter(const QString& text)
{
    if (text.size() != 1)
        return std::nullopt;
    const QChar c = text.at(0).toUpper();
    if (c < QLatin1Char('A') || c > QLatin1Char('J'))
        return std::nullopt;
    return QString(c);
}

std::optional<QChar> parityLetter(const QString& text)
{
    static const QStringList names{QStringLiteral("None"), QStringLiteral("Odd"), QStringLiteral("Even"),
                                   QStringLiteral("Mark"), QStringLiteral("Space")};
    for (const QString& name : names)
        if (text.compare(name, Qt::CaseInsensitive) == 0 || text.compare(name.left(1), Qt::CaseInsensitive) == 0)
            return name.at(0);
    return std::nullopt;
}

// "2026-12-07", "2026-12-07 10:31" or "2026-12-07 10:31:05" as instrument time (UTC seconds);
// a date alone is its first second, or with `endOfDay` its last.
std::optional<qint64> instrumentTime(const QString& text, bool endOfDay)
{
    for (const QString& format : {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
                                  QStringLiteral("yyyy-MM-dd")}) {
        QDateTime t = QDateTime::fromString(text.trimmed(), format);
        if (!t.isValid())
            continue;
        t.setTimeSpec(Qt::UTC);
        qint64 s = t.toSecsSinceEpoch();
        if (endOfDay && format.size() == 10)
            s += 86399;
        return s;
    }
    return std::nullopt;
}

// A whole number in [low, high], or nullopt.
std::optional<int> number(const QString& text, int low, int high)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high ? std::optional<int>(n) : std::nullopt;
}

// A time read as if UTC (instrumentTime) on the PC's clock instead: the UTC instant it names.
qint64 onPcClock(qint64 asIfUtc)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(asIfUtc, Qt::UTC);
    return QDateTime(t.date(), t.time(), Qt::LocalTime).toSecsSinceEpoch();
}

// The same forms on the PC's clock, as the UTC instant they name.
std::optional<qint64> pcTime(const QString& text)
{
    const std::optional<qint64> asIfUtc = instrumentTime(text, false);
    return asIfUtc ? std::optional<qint64>(onPcClock(*asIfUtc)) : std::nullopt;
}

QString takeTime(std::optional<qint64>& into, const QString& value, bool endOfDay)
{
    into = instrumentTime(value, endOfDay);
    return into ? QString()
                : Texts::tr("时间“%1”无效，应为 2026-12-07 或 2026-12-07 10:31:05 的形式。").arg(value);
}

// The options, in the order their "only with" checks are made.
const OptionRow kOptions[] = {
    {"--help", "-h", false, kEveryCommand, [](Reading& r, const QString&) { r.help = true; return QString(); }},
    {"--version", nullptr, false, kEveryCommand,
     [](Reading& r, const QString&) { r.version = true; return QString(); }},
    {"--quiet", "-q", false, kEveryCommand, [](Reading& r, const QString&) { r.o.quiet = true; return QString(); }},
    {"--log", nullptr, false, kEveryCommand, [](Reading& r, const QString&) { r.o.log = true; return QString(); }},
    {"--port", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         r.o.port = v.trimmed();
         return r.o.port.isEmpty() ? Texts::tr("--port 需要串口名（如 COM3）或设备路径。") : QString();
     }},
    {"--baud", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         r.o.baud = number(v, 1, std::numeric_limits<int>::max()).value_or(0);
         return r.o.baud ? QString() : Texts::tr("波特率“%1”无效，应为正整数，如 9600。").arg(v);
     }},
    {"--parity", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         r.o.parity = parityLetter(v).value_or(QChar());
         return !r.o.parity.isNull()
                  ? QString()
                  : Texts::tr("校验位“%1”无效，应为 None、Odd、Even、Mark 或 Space。").arg(v);
     }},
    {"--stop-bits", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         static const QStringList allowed{QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
         r.o.stopBits = v;
         return allowed.contains(v) ? QString() : Texts::tr("停止位“%1”无效，应为 1、1.5 或 2。").arg(v);
     }},
    {"--timeout", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         bool ok = false;
         r.o.timeoutSeconds = v.toDouble(&ok);
         return ok && r.o.timeoutSeconds > 0 && r.o.timeoutSeconds <= 3600
                  ? QString()
                  : Texts::tr("超时“%1”无效，应为 0 到 3600 之间的秒数。").arg(v);
     }},
    {"--quiet-ms", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         r.o.quietMs = number(v, 1, 60000).value_or(-1);
         return r.o.quietMs >= 0 ? QString()
                                 : Texts::tr("静默时间“%1”无效，应为 1 到 60000 之间的毫秒数。").arg(v);
     }},
    {"--settle-ms", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         r.o.settleMs = number(v, 0, 60000).value_or(-1);
         return r.o.settleMs >= 0 ? QString()
                                  : Texts::tr("等待时间“%1”无效，应为 0 到 60000 之间的毫秒数。").arg(v);
     }},
    {"--archive", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         r.o.archivePath = v;
         return v.isEmpty() ? Texts::tr("--archive 需要档案数据库的文件名。") : QString();
     }},
    {"--lang", nullptr, true, kEveryCommand,
     [](Reading& r, const QString& v) {
         // Read before the arguments are parsed (main installs the language); checked here.
         r.o.language = ::Language::normalised(v);
         return r.o.language.isEmpty() ? Texts::tr("语言“%1”无效，应为 zh_CN（中文）或 en（English）。").arg(v)
                                       : QString();
     }},
    {"-o", "--output", true, only(Command::Copy, Command::Components, Command::ArchiveExport, Command::Report),
     [](Reading& r, const QString& v) {
         r.o.output = v;
         return v.isEmpty() ? Texts::tr("-o 需要输出文件名，或 - 表示标准输出。") : QString();
     }},
    {"--data", nullptr, false, only(Command::Delete),
     [](Reading& r, const QString&) { r.o.dataOnly = true; return QString(); }},
    {"--yes", nullptr, false, only(Command::Delete),
     [](Reading& r, const QString&) { r.o.yes = true; return QString(); }},
    {"--no-archive", nullptr, false, only(Command::Copy),
     [](Reading& r, const QString&) { r.o.noArchive = true; return QString(); }},
    {"--from", nullptr, true, only(Command::ArchiveExport, Command::ArchiveAssign, Command::Report),
     [](Reading& r, const QString& v) { return takeTime(r.o.from, v, false); }},
    {"--to", nullptr, true, only(Command::ArchiveExport, Command::Report),
     [](Reading& r, const QString& v) { return takeTime(r.o.to, v, true); }},
    {"--instrument", nullptr, true, only(Command::Copy),
     [](Reading& r, const QString& v) {
         r.o.instrument = v.trimmed();
         return r.o.instrument.isEmpty() ? Texts::tr("--instrument 需要仪器的名称。") : QString();
     }},
    {"--zone", nullptr, true, only(Command::ArchiveInstrumentAdd),
     [](Reading& r, const QString& v) {
         r.o.zone = v.trimmed();
         return r.o.zone.isEmpty() ? Texts::tr("--zone 需要时区，如 Asia/Shanghai。") : QString();
     }},
    {"--since", nullptr, true, only(Command::ArchiveEvents),
     [](Reading& r, const QString& v) {
         r.o.since = pcTime(v);
         return r.o.since ? QString()
                          : Texts::tr("时间“%1”无效，应为 2026-12-07 或 2026-12-07 10:31:05 的形式。").arg(v);
     }},
    {"--site", nullptr, true,
     only(Command::ArchiveGauges, Command::ArchiveExport, Command::ArchiveEvents, Command::ArchiveOverdue,
          Command::Report),
     [](Reading& r, const QString& v) {
         r.o.site = v.trimmed();
         return r.o.site.isEmpty() ? Texts::tr("--site 需要工程（监测项目）的名称。") : QString();
     }},
    {"--gauge", nullptr, true, only(Command::ArchiveExport, Command::Report),
     [](Reading& r, const QString& v) {
         r.o.gauges << v.trimmed();
         return r.o.gauges.last().isEmpty() ? Texts::tr("--gauge 需要测点的名称。") : QString();
     }},
    {"--json", nullptr, false,
     only(Command::Ports, Command::Partitions, Command::Files, Command::Copy, Command::Components,
          Command::ArchiveList, Command::ArchiveInstruments, Command::ArchiveGauges, Command::ArchiveEvents,
          Command::ArchiveOverdue),
     [](Reading& r, const QString&) { r.o.json = true; return QString(); }},
    {"--last", nullptr, true, only(Command::Report),
     [](Reading& r, const QString& v) {
         r.o.lastDays = v.trimmed() == QLatin1String("7") ? 7 : v.trimmed() == QLatin1String("30") ? 30
                                                                                                   : 0;
         return r.o.lastDays ? QString() : Texts::tr("--last 的天数“%1”无效，应为 7 或 30。").arg(v);
     }},
    {"--month", nullptr, true, only(Command::Report),
     [](Reading& r, const QString& v) {
         r.o.month = QDate::fromString(v.trimmed() + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
         return r.o.month.isValid() ? QString() : Texts::tr("月份“%1”无效，应为 2026-12 的形式。").arg(v);
     }},
    {"--title", nullptr, true, only(Command::Report),
     [](Reading& r, const QString& v) { r.o.title = v.trimmed(); return QString(); }},
    {"--reader", nullptr, true, only(Command::Report),
     [](Reading& r, const QString& v) { r.o.reader = v.trimmed(); return QString(); }},
    {"--remarks", nullptr, true, only(Command::Report),
     [](Reading& r, const QString& v) { r.o.remarks = v; return QString(); }},
    {"--by-type", nullptr, false, only(Command::Report),
     [](Reading& r, const QString&) { r.o.byType = true; return QString(); }},
    {"--office", nullptr, true, only(Command::Sync),
     [](Reading& r, const QString& v) {
         r.o.office = v.trimmed();
         return r.o.office.isEmpty() ? Texts::tr("--office 需要办公室数据库的连接字符串（如 \"host=office dbname=ktm520\"）"
                                                 "或 URI，或 service=服务名。")
                                     : QString();
     }},
    {"--office-settings", nullptr, true, only(Command::Sync),
     [](Reading& r, const QString& v) {
         r.o.officeSettings = v;
         return v.isEmpty() ? Texts::tr("--office-settings 需要办公室数据库设置文件的文件名。") : QString();
     }},
    {"--no-pull", nullptr, false, only(Command::Sync),
     [](Reading& r, const QString&) { r.o.noPull = true; return QString(); }},
};

// The output a command writes to: `missing` is the refusal when -o is left out ("": it may be),
// `allowed` the kinds it takes, `refusal` the refusal of any other.
QString checkOutput(const Options& o, const QString& missing, std::initializer_list<OutputKind> allowed,
                    const QString& refusal)
{
    if (o.output.isEmpty())
        return missing;
    return std::find(allowed.begin(), allowed.end(), outputKind(o.output)) != allowed.end() ? QString() : refusal;
}

QString anyOutput(const Options& o, const QString& missing)
{
    return checkOutput(
        o, missing, {OutputKind::Csv, OutputKind::CsvToStdout, OutputKind::Xls, OutputKind::Xlsx},
        Texts::tr("输出文件“%1”须以 .csv、.xls 或 .xlsx 结尾，或用 - 表示输出 CSV 到标准输出。").arg(o.output));
}

// A readout's name as typed: blanks at its ends are not part of it.
QString readoutName(QString& into, const QString& typed)
{
    into = typed.trimmed();
    return into.isEmpty() ? Texts::tr("仪器名称不能为空。") : QString();
}

// The gauge register's file: a workbook or CSV, by its suffix; one of .xls is read, not written.
QString registerFile(Options& o, const QString& path, bool read)
{
    o.registerFile = path;
    const OutputKind kind = outputKind(path);
    if (kind == OutputKind::Csv || kind == OutputKind::Xlsx || (read && kind == OutputKind::Xls))
        return QString();
    return read ? Texts::tr("测点登记表文件“%1”须以 .xlsx、.xls 或 .csv 结尾。").arg(path)
                : Texts::tr("测点登记表文件“%1”须以 .xlsx 或 .csv 结尾。").arg(path);
}

// The trigger level table's file: as the gauge register's.
QString levelFile(Options& o, const QString& path, bool read)
{
    o.levelFile = path;
    const OutputKind kind = outputKind(path);
    if (kind == OutputKind::Csv || kind == OutputKind::Xlsx || (read && kind == OutputKind::Xls))
        return QString();
    return read ? Texts::tr("触发值表文件“%1”须以 .xlsx、.xls 或 .csv 结尾。").arg(path)
                : Texts::tr("触发值表文件“%1”须以 .xlsx 或 .csv 结尾。").arg(path);
}

const CommandRow kCommands[] = {
    {Command::Ports, "ports", 0, 0, false, nullptr},
    {Command::Partitions, "partitions", 0, 0, false, nullptr},
    {Command::Files, "files", 1, 1, true, nullptr},
    {Command::Copy, "copy", 1, 2, true,
     [](Options& o, const QStringList& operands) {
         if (operands.size() == 2 && operands[1].isEmpty())
             return Texts::tr("文件名不能为空。");
         o.file = operands.value(1);
         return anyOutput(o, Texts::tr("copy 需要用 -o 指定输出文件（.csv 或 .xls），或 -o - 输出到标准输出。"));
     }},
    {Command::Components, "components", 1, 1, true, [](Options& o, const QStringList&) { return anyOutput(o, {}); }},
    {Command::WriteComponents, "write-components", 2, 2, true,
     [](Options& o, const QStringList& operands) {
         o.list = operands[1];
         return o.list.isEmpty() ? Texts::tr("缺少元件编号列表文件。") : QString();
     }},
    {Command::NewFile, "new-file", 2, 2, true,
     [](Options& o, const QStringList& operands) {
         o.name = operands[1];
         return QString();
     }},
    {Command::Delete, "delete", 1, 1, true,
     [](Options& o, const QStringList&) {
         // Erasing field data is not undoable: it is never done without consent on the line.
         if (o.yes)
             return QString();
         return o.dataOnly ? Texts::tr("删除不可恢复：请加上 --yes 确认要删除分区 %1 的数据。").arg(o.partition)
                           : Texts::tr("删除不可恢复：请加上 --yes 确认要删除分区 %1。").arg(o.partition);
     }},
    {Command::ArchiveList, "archive list", 0, 0, false, nullptr},
    {Command::ArchiveExport, "archive export", 0, 999, true,
     [](Options& o, const QStringList& operands) {
         o.codes << operands.mid(1); // matched as stored (archive::chooseSeries)
         return checkOutput(o, Texts::tr("archive export 需要用 -o 指定输出文件（.xlsx 或 .csv）。"),
                            {OutputKind::Xlsx, OutputKind::Csv},
                            Texts::tr("archive export 的输出文件须以 .xlsx 或 .csv 结尾。"));
     }},
    {Command::ArchiveCheck, "archive check", 0, 0, false, nullptr},
    {Command::ArchiveInstruments, "archive instruments", 0, 0, false, nullptr},
    {Command::ArchiveInstrumentAdd, "archive instruments add", 1, 1, false,
     [](Options& o, const QStringList& operands) { return readoutName(o.readout, operands[0]); }},
    {Command::ArchiveInstrumentRename, "archive instruments rename", 2, 2, false,
     [](Options& o, const QStringList& operands) {
         if (QString refusal = readoutName(o.readout, operands[0]); !refusal.isEmpty())
             return refusal;
         return readoutName(o.newName, operands[1]);
     }},
    {Command::ArchiveInstrumentDefault, "archive instruments default", 0, 1, false,
     [](Options& o, const QStringList& operands) {
         if (operands.isEmpty())
             return QString(); // says which it is
         o.clearDefault = operands[0] == QLatin1String("-");
         return o.clearDefault ? QString() : readoutName(o.readout, operands[0]);
     }},
    {Command::ArchiveGauges, "archive gauges", 0, 0, false, nullptr},
    {Command::ArchiveAssign, "archive assign", 3, 3, false,
     [](Options& o, const QStringList& operands) {
         if (QString refusal = readoutName(o.readout, operands[0]); !refusal.isEmpty())
             return refusal;
         o.code = operands[1].trimmed();
         o.gauges = QStringList{operands[2].trimmed()};
         if (o.code.isEmpty() || o.gauges[0].isEmpty())
             return Texts::tr("archive assign 需要仪器名称、元件编号和测点名称。");
         if (!o.from)
             return Texts::tr("archive assign 需要用 --from 指定起始时间（仪器时钟的时间，如 2026-12-07 或 "
                              "\"2026-12-07 10:31:05\"）。");
         return QString();
     }},
    {Command::ArchiveRegisterImport, "archive register import", 1, 1, false,
     [](Options& o, const QStringList& operands) { return registerFile(o, operands[0], true); }},
    {Command::ArchiveRegisterExport, "archive register export", 1, 1, false,
     [](Options& o, const QStringList& operands) { return registerFile(o, operands[0], false); }},
    {Command::ArchiveEvents, "archive events", 0, 0, false, nullptr},
    {Command::ArchiveOverdue, "archive overdue", 0, 0, false, nullptr},
    {Command::ArchiveLevelsImport, "archive levels import", 1, 1, false,
     [](Options& o, const QStringList& operands) { return levelFile(o, operands[0], true); }},
    {Command::ArchiveLevelsExport, "archive levels export", 1, 1, false,
     [](Options& o, const QStringList& operands) { return levelFile(o, operands[0], false); }},
    {Command::Report, "report", 0, 0, false,
     [](Options& o, const QStringList&) {
         // One way of naming the period: --month, or --from (and --to), or --last (and --to).
         if (o.month.isValid() && (o.from || o.to || o.lastDays))
             return Texts::tr("--month 不能与 --from、--to 或 --last 同时使用。");
         if (o.lastDays && o.from)
             return Texts::tr("--last 不能与 --from 同时使用：用 --from 和 --to 指定起止时间。");
         if (o.output.isEmpty())
             return Texts::tr("report 需要用 -o 指定输出文件（.pdf、.ags 或 .csv）。");
         return reportFormat(o.output) != ReportFormat::Unknown
                  ? QString()
                  : Texts::tr("report 的输出文件“%1”须以 .pdf、.ags 或 .csv 结尾。").arg(o.output);
     }},
    {Command::Sync, "sync", 0, 0, false, nullptr},
};

// "ports、partitions 和 files": the commands of a set, in the table's order.
QString commandNames(Commands set)
{
    QStringList names;
    for (const CommandRow& row : kCommands)
        if (takes(set, row.command))
            names << QString::fromLatin1(row.name);
    QString text = names.value(0);
    for (qsizetype i = 1; i < names.size(); ++i)
        text = (i + 1 == names.size() ? Texts::tr("%1 和 %2") : Texts::tr("%1、%2")).arg(text, names[i]);
    return text;
}

QString onlyWith(const OptionRow& row)
{
    return Texts::tr("%1 只能用于 %2。").arg(QLatin1String(row.name), commandNames(row.takenBy));
}

const OptionRow* optionNamed(const QString& name)
{
    for (const OptionRow& row : kOptions)
        if (name == QLatin1String(row.name) || (row.alias && name == QLatin1String(row.alias)))
            return &row;
    return nullptr;
}

// The command the words name, and its operands; or the refusal. Of the commands whose name the
// words begin with, the one of the longest name that takes that many operands.
std::variant<QString, std::pair<const CommandRow*, QStringList>> commandOf(const QStringList& words)
{
    if (words.isEmpty())
        return Texts::tr("缺少命令。");
    // A command takes at most 1000 words after its first.
    const bool tooMany = words.size() > 1001;
    const CommandRow* chosen = nullptr;
    qsizetype chosenWords = 0;
    const CommandRow* named = nullptr; // the longest name the words begin with, whatever they count
    qsizetype namedWords = 0;
    for (const CommandRow& row : kCommands) {
        const QStringList name = QString::fromLatin1(row.name).split(QLatin1Char(' '));
        if (words.size() < name.size() || words.mid(0, name.size()) != name)
            continue;
        if (name.size() > namedWords) {
            named = &row;
            namedWords = name.size();
        }
        const qsizetype operands = words.size() - name.size();
        if (!tooMany && operands >= row.minOperands && operands <= row.maxOperands && name.size() > chosenWords) {
            chosen = &row;
            chosenWords = name.size();
        }
    }
    if (chosen)
        return std::pair{chosen, words.mid(chosenWords)};
    if (named)
        return Texts::tr("命令 %1 的参数个数不对。").arg(QString::fromLatin1(named->name));
    if (words[0] == QLatin1String("archive"))
        return Texts::tr("archive 之后应为 list、export、check、instruments、gauges、assign、register、events、"
                         "overdue 或 levels。");
    return Texts::tr("未知的命令“%1”。").arg(words.first());
}

} // namespace

OutputKind outputKind(const QString& output)
{
    if (output.isEmpty())
        return OutputKind::None;
    if (output == QLatin1String("-"))
        return OutputKind::CsvToStdout;
    switch (SaveGrid::fileType(output)) {
    case SaveGrid::FileType::Csv: return OutputKind::Csv;
    case SaveGrid::FileType::Xls: return OutputKind::Xls;
    case SaveGrid::FileType::Xlsx: return OutputKind::Xlsx;
    case SaveGrid::FileType::Unknown: break;
    }
    return OutputKind::Unknown;
}

ReportFormat reportFormat(const QString& output)
{
    if (output.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return ReportFormat::Pdf;
    if (output.endsWith(QLatin1String(".ags"), Qt::CaseInsensitive))
        return ReportFormat::Ags;
    if (output.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ReportFormat::Csv;
    return ReportFormat::Unknown;
}

bool Options::needsWidgets() const { return command == Command::Report && reportFormat(output) == ReportFormat::Pdf; }

bool Options::needsInstrument() const
{
    switch (command) {
    case Command::Partitions:
    case Command::Files:
    case Command::Copy:
    case Command::Components:
    case Command::WriteComponents:
    case Command::NewFile:
    case Command::Delete: return true;
    default: return false;
    }
}

QString Options::settings() const
{
    return QStringLiteral("%1,%2,8,%3").arg(baud).arg(parity).arg(stopBits);
}

ParseResult parse(const QStringList& arguments)
{
    const auto fail = [](const QString& error) { return ParseResult{std::nullopt, error}; };
    Reading r;
    QStringList words; // the command and its operands
    std::vector<const OptionRow*> given;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnd || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            words << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        // --name=value or --name value
        const qsizetype eq = a.startsWith(QLatin1String("--")) ? a.indexOf(QLatin1Char('=')) : -1;
        const QString key = eq > 2 ? a.left(eq) : a;
        const OptionRow* row = optionNamed(key);
        if (!row || (!row->valued && eq > 2))
            return fail(Texts::tr("未知的选项“%1”。").arg(a));
        QString value;
        if (row->valued) {
            if (eq <= 2 && i + 1 >= arguments.size())
                return fail(Texts::tr("选项 %1 需要一个值。").arg(key));
            value = eq > 2 ? a.mid(eq + 1) : arguments[++i];
            // "--port --archive x" lacks the port: an option is never taken for a value.
            if (value.startsWith(QLatin1String("--")))
                return fail(Texts::tr("选项 %1 需要一个值。").arg(key));
        }
        if (const QString refusal = row->take(r, value); !refusal.isEmpty())
            return fail(refusal);
        given.push_back(row);
    }
    Options& o = r.o;
    if (r.help || r.version) {
        o.command = r.help ? Command::Help : Command::Version;
        return ParseResult{o, {}};
    }

    const auto named = commandOf(words);
    if (const QString* refusal = std::get_if<QString>(&named))
        return fail(*refusal);
    const auto& [command, operands] = std::get<1>(named);
    o.command = command->command;
    if (command->partitionFirst && !operands.isEmpty()) {
        const std::optional<QString> letter = partitionLetter(operands[0]);
        if (!letter)
            return fail(Texts::tr("分区“%1”无效，应为 A 到 J 中的一个字母。").arg(operands[0]));
        o.partition = *letter;
    }
    if (command->check)
        if (const QString refusal = command->check(o, operands); !refusal.isEmpty())
            return fail(refusal);
    for (const OptionRow& row : kOptions)
        if (!takes(row.takenBy, o.command) && std::find(given.begin(), given.end(), &row) != given.end())
            return fail(onlyWith(row));
    if (o.command == Command::ArchiveExport && (!o.site.isEmpty() || !o.gauges.isEmpty()) &&
        (!o.partition.isEmpty() || !o.codes.isEmpty()))
        return fail(Texts::tr("--site 和 --gauge 按测点选择记录，不能同时给出分区或元件编号。"));
    if (o.from && o.to && *o.from > *o.to)
        return fail(Texts::tr("--from 晚于 --to。"));
    // The report's period is on the PC's clock, as the report prints its times; the other
    // commands' ranges are on the readout's.
    if (o.command == Command::Report) {
        if (o.from)
            o.from = onPcClock(*o.from);
        if (o.to)
            o.to = onPcClock(*o.to);
    }
    // A copy's JSON goes to standard output beside its file; CSV there leaves it no room.
    if (o.json && o.command == Command::Copy && outputKind(o.output) == OutputKind::CsvToStdout)
        return fail(Texts::tr("--json 与 -o - 不能同时使用：CSV 已占用标准输出。"));
    if (o.json && !o.output.isEmpty() && o.command != Command::Copy)
        return fail(Texts::tr("--json 与 -o 不能同时使用。"));
    return ParseResult{o, {}};
}

QList<OptionSpelling> optionSpellings()
{
    QList<OptionSpelling> list;
    for (const OptionRow& row : kOptions) {
        OptionSpelling& s = list.emplace_back();
        s.name = QLatin1String(row.name);
        s.alias = row.alias ? QLatin1String(row.alias) : QLatin1String();
        s.valued = row.valued;
        for (const CommandRow& command : kCommands)
            if (takes(row.takenBy, command.command))
                s.takenBy << command.command;
    }
    return list;
}

QList<CommandSpelling> commandSpellings()
{
    QList<CommandSpelling> list;
    for (const CommandRow& row : kCommands)
        list << CommandSpelling{row.command, QLatin1String(row.name)};
    return list;
}

QString onlyWithText(const QString& option)
{
    const OptionRow* row = optionNamed(option);
    return row ? onlyWith(*row) : QString();
}

QString versionText() { return QStringLiteral("ktm520-cli " KTM_VERSION "\n"); }

QString helpText()
{
    // In parts, each translated on its own: the usage line, the commands, the options, how
    // progress and output files behave, the exit codes.
    return Texts::tr("用法 Usage: ktm520-cli [选项] 命令 [参数]\n"
                     "\n"
                     "KTM-520 振弦读数仪的命令行工具，与数据管理程序窗口使用同一套通信和保存功能，\n"
                     "适合无人值守的下载（如每晚定时下载）。\n"
                     "Command line for the KTM-520 vibrating-wire readout, on the same core as the window;\n"
                     "made for unattended downloads.\n"
                     "\n") +
           Texts::tr("命令 Commands:\n"
                     "  ports                    列出串口（与窗口的串口列表相同）。\n"
                     "                           List the serial ports as the window lists them.\n"
                     "  partitions               读取仪器的数据分区。Read the instrument's partitions.\n"
                     "  files X                  列出分区 X 的文件。List the files of partition X.\n"
                     "  copy X [FILE] -o OUT     拷贝分区 X 的文件 FILE；不给 FILE 则拷贝整个分区。\n"
                     "                           OUT 以 .xls 结尾：按窗口“保存预览文件”的方式经模板 Data.xls 写成工作簿；\n"
                     "                           以 .xlsx 结尾：写成 .xlsx 工作簿（每个工作表可达 1,048,576 行）；\n"
                     "                           以 .csv 结尾：写成 CSV；为 -：CSV 输出到标准输出。\n"
                     "                           Copy file FILE of partition X, or the whole partition without FILE,\n"
                     "                           to OUT: .xls (through the template, as the window saves), .xlsx,\n"
                     "                           .csv, or - for CSV on standard output.\n"
                     "  components X [-o OUT]    列出分区 X 的元件编号；给 -o 时保存为 .csv、.xls 或 .xlsx。\n"
                     "                           List partition X's component codes; with -o save them (.csv/.xls/.xlsx).\n"
                     "  write-components X LIST  把元件编号列表写入仪器，逐行输出结果。LIST 可以是工作簿（.xls/.xlsx，\n"
                     "                           第一个工作表，B2 起如 A001=QRVA000001），也可以是每行一条\n"
                     "                           A001=名称 的文本文件，或 - 从标准输入读取。编号须属于分区 X。\n"
                     "                           Write a component list, row by row, with each row's status on\n"
                     "                           standard output. LIST: a workbook (first worksheet, entries from B2),\n"
                     "                           a text file of A001=NAME lines, or - for such lines on standard input.\n"
                     "                           Every code must belong to partition X.\n"
                     "  new-file X NAME          在分区 X 新建文件 NAME（按窗口“新建文件名”的规则检查）。\n"
                     "                           Create file NAME in partition X (checked as the window checks it).\n"
                     "  delete X [--data] --yes  删除分区 X；加 --data 只删除数据、保留文件名。不加 --yes 则拒绝执行，\n"
                     "                           不发送任何命令。\n"
                     "                           Delete partition X (--data: its records only). Refused without --yes.\n"
                     "  archive list             列出档案中的元件：分区、编号、记录数、最早和最新时间。\n"
                     "                           List the archive's components with their counts and time spans.\n"
                     "  archive export [X [CODE...]] -o OUT [--from T] [--to T]\n"
                     "                           把档案中的记录（分区 X、所给元件；不给则全部）导出为 .xlsx 或 .csv，\n"
                     "                           含读数、温度，以及按标定表换算的工程值和单位。T 如 2026-12-07 或\n"
                     "                           \"2026-12-07 10:31:05\"（仪器时间）。\n"
                     "                           Export archived records (partition X, the given codes; all without)\n"
                     "                           to .xlsx or .csv with raw and converted values and their units.\n") +
           Texts::tr("  archive check            全面检查档案：数据库完整性、重复的记录、与文本不符的数值；\n"
                     "                           能按记录的文本修复的即修复（一次完成或不作改动）。\n"
                     "                           Check the archive thoroughly and repair from the records' texts\n"
                     "                           what they allow (all of it or nothing).\n") +
           Texts::tr("  archive instruments      列出档案中的仪器（读数仪）：名称、时区、记住的串口设备、记录数。\n"
                     "                           List the archive's readouts: name, time zone, devices, records.\n"
                     "  archive instruments add NAME [--zone Z]\n"
                     "                           添加仪器 NAME；Z 为其时钟的时区（如 Asia/Shanghai），默认为本机时区。\n"
                     "                           Add readout NAME; Z is its clock's time zone (default: the PC's).\n"
                     "  archive instruments rename OLD NEW\n"
                     "                           把仪器 OLD 改名为 NEW（其记录和测点不变）。Rename a readout.\n"
                     "  archive instruments default [NAME | -]\n"
                     "                           设定命令行的默认仪器（- 取消；不给则显示当前的默认仪器）。\n"
                     "                           Set the command line's default readout (- forgets it; none: show it).\n"
                     "  archive gauges [--site S] 列出测点：名称、类型、单位、工程、记录数、最早和最新时间、仪器。\n"
                     "                           List the gauges: name, type, unit, site, records, span, readouts.\n"
                     "  archive assign INSTRUMENT CODE GAUGE --from T\n"
                     "                           指定仪器 INSTRUMENT 的元件编号 CODE 自 T（该仪器时钟的时间，如\n"
                     "                           \"2026-12-07 10:31:05\"）起为测点 GAUGE。\n"
                     "                           Slot CODE of the readout holds gauge GAUGE from T (the readout's clock).\n"
                     "  archive register import FILE\n"
                     "                           从 .xlsx、.xls 或 .csv 读入测点登记表（中文或英文表头），按测点名称添加或\n"
                     "                           更新；有无法读取的行则不作任何改动。\n"
                     "                           Read the gauge register (.xlsx/.xls/.csv, Chinese or English headers);\n"
                     "                           all rows or none.\n"
                     "  archive register export FILE\n"
                     "                           把测点登记表写成 .xlsx 或 .csv。Write the gauge register.\n"
                     "  archive export 还可用 --site S 和 --gauge G（可多次）按工程和测点选择记录。\n"
                     "                           archive export also selects by --site S and --gauge G (repeatable).\n") +
           Texts::tr("  archive events [--since T] [--site S]\n"
                     "                           列出测点状态的变化（触发值的越限与恢复）：测点、工程、时间、数值、由何状态\n"
                     "                           到何状态、规则、是否已确认。T 为本机时钟的时间。\n"
                     "                           The gauges' changes of status (levels reached and cleared), from T\n"
                     "                           on (the PC's clock).\n"
                     "  archive overdue [--site S]\n"
                     "                           列出逾期未测的测点：测点、工程、测读间隔、最近一次读数、已过天数。\n"
                     "                           The gauges not read within their interval, most overdue first.\n"
                     "  archive levels import FILE\n"
                     "                           从 .xlsx、.xls 或 .csv 读入触发值表（每行一个等级：测点、方向、等级、\n"
                     "                           等级名称、比较量、阈值、窗口、连续次数、回差、基准时间、生效时间），\n"
                     "                           作为各测点的新触发值版本；有无法读取的行则不作任何改动。\n"
                     "                           Read the trigger level table (a row per level) as new level versions\n"
                     "                           of its gauges; all rows or none.\n"
                     "  archive levels export FILE\n"
                     "                           把各测点现行的触发值写成 .xlsx 或 .csv。Write the levels in force.\n"
                     "  copy 存档后在标准错误列出新读数引起的状态变化和有质量标记的读数数目；加 --json 时\n"
                     "                           在标准输出给出结果（含 verdict）。--json 也用于 archive events 和\n"
                     "                           archive overdue；--since 只用于 archive events。\n"
                     "                           After archiving, copy lists on standard error the changes of status\n"
                     "                           its new readings made and how many were flagged; with --json its\n"
                     "                           result (with the verdict) goes to standard output. --json also for\n"
                     "                           archive events and archive overdue.\n"
                     "\n") +
           Texts::tr("  report [--site S] [--gauge G]... [期间] -o OUT [--title T] [--reader NAME] [--remarks TEXT]\n"
                     "         [--by-type]\n"
                     "                           监测报告：各测点的最新值、期间变化和累计变化、速率、状态、趋势图，期间的状态\n"
                     "                           变化与确认、质量标记、屏蔽、逾期未测的测点和所用的标定版本。OUT 以 .pdf\n"
                     "                           结尾写成 PDF，.ags 写成 AGS4，.csv 写成每个读数一行的 CSV。报告的语言为\n"
                     "                           --lang 的语言。不给 --site 和 --gauge 时报告全部测点。\n"
                     "                           The monitoring report of site S (or gauges G; all without) as .pdf,\n"
                     "                           .ags (AGS4) or .csv (a row per reading), in the language of --lang.\n"
                     "                  期间 Period（只能用一种 one of）：\n"
                     "                    --last 7|30   截至 --to（默认现在）的最近 7 或 30 天；什么都不给时为 --last 7。\n"
                     "                                  The last 7 or 30 days up to --to (default now); the default.\n"
                     "                    --month YYYY-MM 该月（本机时区）。That month (the PC's time zone).\n"
                     "                    --from T [--to T] 从 T 到 T（默认到现在）；T 为本机时钟的 2026-12-07（到 --to 日\n"
                     "                                  的末尾）或 \"2026-12-07 10:31:05\"。From T to T (default now), the\n"
                     "                                  PC's clock; a date alone for --to means its whole day.\n"
                     "                  --title、--reader、--remarks：报告的标题、读数及制表人（默认为本机用户）、备注；\n"
                     "                  --by-type：同一类型的测点画在同一张趋势图中。Title, who made it (default\n"
                     "                  the PC's user), remarks; --by-type: one plot per gauge type.\n"
                     "                  报告只在完整写好后出现；失败或中止时原有文件保持不变。退出码：0 已写好，2 用法错误\n"
                     "                  或工程、测点未知，6 无法写入，7 被 SIGINT/SIGTERM 中止，8 档案无法读取。\n"
                     "                  The file appears only once written whole; a failure or a stop keeps an\n"
                     "                  earlier one. Exit 0 written, 2 usage or an unknown site or gauge, 6 not\n"
                     "                  written, 7 stopped, 8 the archive cannot be read.\n"
                     "\n") +
           Texts::tr("  sync [--office CONNINFO] [--office-settings FILE] [--no-pull]\n"
                     "                           与办公室数据库（PostgreSQL）同步：上传本机档案中办公室还没有的读数、测点登记、\n"
                     "                           标定、触发值、屏蔽和确认，再取回其他电脑上传的登记和所关注工程的读数。\n"
                     "                           连接取自窗口“办公室数据库设置”中的设置（与窗口共用），或 --office 给出的\n"
                     "                           libpq 连接字符串、URI 或 service=服务名（pg_service.conf）；--office-settings\n"
                     "                           指定另一个设置文件。密码由 libpq 从 ~/.pgpass（或 PGPASSFILE 指定的文件）或\n"
                     "                           PGPASSWORD 取得，不放在设置中；建议用 sslmode=verify-full（加密并核对服务器\n"
                     "                           证书）。--no-pull 只上传、不取回。中途中断（断网、\n"
                     "                           服务器停止、程序被终止）时已提交的部分保留，下次同步从那里继续，每条读数在\n"
                     "                           办公室只存一次。结果在标准输出，冲突逐条列出；进度在标准错误。\n"
                     "                           Sync with the office database (PostgreSQL): send what the archive has\n"
                     "                           that the office has not, then bring the register and the followed\n"
                     "                           sites' readings of other PCs. The connection is the window's office\n"
                     "                           settings, or --office (a libpq connection string, URI or\n"
                     "                           service=NAME); --office-settings another settings file. Passwords\n"
                     "                           come from ~/.pgpass (PGPASSFILE) or PGPASSWORD; sslmode=verify-full\n"
                     "                           is advised. --no-pull only sends.\n"
                     "                           A sync broken off anywhere keeps what was committed; the next goes on.\n"
                     "                  退出码：0 已同步（只读用户未上传时在标准错误说明），7 被 SIGINT/SIGTERM 中止，\n"
                     "                  8 本机档案无法读写，11 无法连接服务器，12 其他失败（未设置、密码、TLS、权限）。\n"
                     "                  Exit 0 synced (a read-only user's sync says on standard error what it\n"
                     "                  did not send), 7 stopped, 8 the archive failed, 11 the server cannot be\n"
                     "                  reached, 12 any other failure (not set up, password, TLS, rights).\n"
                     "\n") +
           Texts::tr("选项 Options:\n"
                     "  --port NAME       串口名 COMn（与窗口列表相同）或设备路径（如 /dev/ttyUSB0）；\n"
                     "                    默认为列表中的第一个串口。Port COMn as listed, or a device path;\n"
                     "                    default: the first port listed.\n"
                     "  --baud N          波特率，默认 9600。Baud rate (default 9600).\n"
                     "  --parity P        校验位 None、Odd、Even、Mark（或 Space），默认 None。Parity (default None).\n"
                     "  --stop-bits S     停止位 1 或 2（或 1.5），默认 1。Stop bits (default 1).\n"
                     "  --timeout SEC     等待仪器开始应答的秒数，默认 5；元件编号写入时为每行的等待时间。\n"
                     "                    Seconds the instrument may take to begin a reply (default 5); for a\n"
                     "                    component write, the wait for each row.\n"
                     "  --quiet-ms MS     仪器的回答在线路静默这么多毫秒后才算结束，默认 200。回答中途停顿更久的\n"
                     "                    仪器需要加大此值；回答结束后 1 秒内又收到数据即说明回答被截断（退出码 7）。\n"
                     "                    A reply ends after the line has been quiet this long (default 200 ms). Input\n"
                     "                    within 1 s after a reply ended proves it was cut (exit 7): raise this value.\n"
                     "  --settle-ms MS    打开串口后等待多少毫秒再发送命令，默认 100。\n"
                     "                    Wait this long after opening the port before sending (default 100 ms).\n"
                     "  -o, --output OUT  copy、components、archive export 和 report 的输出文件。\n"
                     "                    Output of copy, components, archive export and report.\n"
                     "  --no-archive      copy 的记录不存入档案（默认每次完整的拷贝都存入档案，与窗口相同）。\n"
                     "                    Do not keep copy's records in the archive (kept by default, as the window does).\n"
                     "  --archive FILE    档案数据库文件，默认在用户数据文件夹中（与窗口共用）。\n"
                     "                    The archive database (default: the user's data folder, shared with the window).\n"
                     "  --log             把连接、命令、应答大小和用时、提示与错误写入支持日志（与窗口共用，\n"
                     "                    在用户数据文件夹的 Varnok/logs 中；不含记录本身）。\n"
                     "                    Write the support log shared with the window (Varnok/logs in the user's\n"
                     "                    data folder): connections, commands, reply sizes and times, messages\n"
                     "                    and errors, never the records.\n"
                     "  --json            以 JSON 输出列表（ports、partitions、files、components）。\n"
                     "                    Listings as JSON, for programs.\n"
                     "  --quiet, -q       不显示进度和成功提示；错误仍写到标准错误。\n"
                     "                    No progress and no success messages; errors still go to standard error.\n"
                     "  --lang CODE       界面语言：zh_CN（中文）或 en（English）；默认为窗口中选择的语言，否则为中文。\n"
                     "                    Language of the messages: zh_CN or en; default: the one chosen in the\n"
                     "                    window, else Chinese.\n"
                     "  --help, -h        显示本说明。Show this text.\n"
                     "  --version         显示版本。Show the version.\n"
                     "\n") +
           Texts::tr("仪器 Readouts:\n"
                     "  --instrument NAME copy 的记录存档时所属的仪器。不给时用上次以此名称从同一串口设备拷贝时记住的\n"
                     "                    仪器，再不然用默认仪器（archive instruments default）；都没有则拒绝存档\n"
                     "                    （退出码 9，不发送任何命令）。仪器须先用 archive instruments add 添加。\n"
                     "                    The readout copy's records are archived under; without it, the one\n"
                     "                    remembered for the port's device, else the default; with none the copy\n"
                     "                    is refused (exit 9, nothing sent). Add readouts with archive instruments add.\n"
                     "  --zone Z          archive instruments add 的时区。Time zone of a new readout.\n"
                     "  --site S          archive gauges、archive export、report：只取工程 S 的测点。Only site S's gauges.\n"
                     "  --gauge G         archive export、report：只取测点 G（可多次给出）。Only gauge G (repeatable).\n"
                     "  --from T          archive assign：指定自何时起（仪器时钟）。From when (the readout's clock).\n"
                     "  --json            也用于 archive list、archive instruments 和 archive gauges。\n"
                     "                    Also for archive list, archive instruments and archive gauges.\n"
                     "每次拷贝后读取该分区的元件编号列表（DIRPART），以便记录归入正确的测点；读取失败时照常存档\n"
                     "并在标准错误说明。A copy reads its partition's component list to file records by gauge.\n"
                     "\n") +
           Texts::tr("进度（字节数、速率、用时；元件写入时为进度条和百分比）仅在标准错误是终端时显示。\n"
                     "Progress (bytes, rate, elapsed; a bar for component writes) shows only when standard\n"
                     "error is a terminal.\n"
                     "输出文件只有在传输完整结束并完整写入后才会出现（先写临时文件，再改名）。\n"
                     "An output file appears only when the transfer ended and it was written whole.\n"
                     "\n") +
           Texts::tr("退出码 Exit codes:\n"
                     "  0  成功 success\n"
                     "  2  用法错误（命令行或输入列表无效，未发送任何命令） usage error, nothing sent\n"
                     "  3  连接失败（串口不存在、被占用或没有权限） connection failed (port missing/busy/denied)\n"
                     "  4  仪器回答 ERR（或拒绝了某一行、回答不明确） the instrument answered ERR (or refused a row)\n"
                     "  5  在超时时间内没有应答 no reply in time\n"
                     "  6  保存失败（原有文件保持不变），或结果无法写到标准输出 save failed (an existing file is\n"
                     "     kept), or results could not be written to standard output\n"
                     "  7  传输中断（如传输中串口断开，或回答中途停顿后又继续），或被 SIGINT/SIGTERM 中止\n"
                     "     （中止的那一步未写入、未存档任何内容） interrupted (device lost, a reply went on after\n"
                     "     a pause) or stopped by a signal (the step it stopped wrote and archived nothing)\n"
                     "  8  档案数据库无法打开或未能存入记录（copy 的输出文件已写好） the archive failed\n"
                     "     (copy's output file was written)\n") +
           Texts::tr("  9  未指定仪器或仪器未知：copy 不知道记录属于哪台仪器，未发送任何命令\n"
                     "     no readout (or an unknown one) for copy's records; nothing was sent\n") +
           Texts::tr("  10 copy 已拷贝、保存并存档，但有测点达到更高的触发等级，或有新读数带质量标记\n"
                     "     copied, saved and archived; a gauge reached a higher trigger level or a new\n"
                     "     reading was flagged\n") +
           Texts::tr("  11 sync：无法连接办公室数据库服务器（读数保存在本机，稍后再同步）\n"
                     "     sync: the office database's server cannot be reached (the readings wait here)\n"
                     "  12 sync：办公室数据库未设置、拒绝了用户名或密码、要求的加密无法建立、权限不足或出错\n"
                     "     sync: the office database is not set up, refused the login, TLS, rights, or failed\n");
}

} // namespace cli
