#include "cli/Options.h"

#include "platform/Language.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>

namespace cli {

namespace {

// The command line's texts for the operator.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::Options)
};

struct CommandInfo {
    Command command;
    int minOperands;
    int maxOperands;
};

const QHash<QString, CommandInfo>& commandTable()
{
    static const QHash<QString, CommandInfo> table{
        {QStringLiteral("ports"), {Command::Ports, 0, 0}},
        {QStringLiteral("partitions"), {Command::Partitions, 0, 0}},
        {QStringLiteral("files"), {Command::Files, 1, 1}},
        {QStringLiteral("copy"), {Command::Copy, 1, 2}},
        {QStringLiteral("components"), {Command::Components, 1, 1}},
        {QStringLiteral("write-components"), {Command::WriteComponents, 2, 2}},
        {QStringLiteral("new-file"), {Command::NewFile, 2, 2}},
        {QStringLiteral("delete"), {Command::Delete, 1, 1}},
        {QStringLiteral("archive"), {Command::ArchiveList, 1, 1000}},
    };
    return table;
}

// Options that take a value, by every name they go by.
enum class Valued {
    Port,
    Baud,
    Parity,
    StopBits,
    Timeout,
    QuietMs,
    SettleMs,
    Output,
    Archive,
    From,
    To,
    Language
};
const QHash<QString, Valued>& valuedOptions()
{
    static const QHash<QString, Valued> table{
        {QStringLiteral("--port"), Valued::Port},
        {QStringLiteral("--baud"), Valued::Baud},
        {QStringLiteral("--parity"), Valued::Parity},
        {QStringLiteral("--stop-bits"), Valued::StopBits},
        {QStringLiteral("--timeout"), Valued::Timeout},
        {QStringLiteral("--quiet-ms"), Valued::QuietMs},
        {QStringLiteral("--settle-ms"), Valued::SettleMs},
        {QStringLiteral("-o"), Valued::Output},
        {QStringLiteral("--output"), Valued::Output},
        {QStringLiteral("--archive"), Valued::Archive},
        {QStringLiteral("--from"), Valued::From},
        {QStringLiteral("--to"), Valued::To},
        {QStringLiteral("--lang"), Valued::Language},
    };
    return table;
}

ParseResult fail(const QString& error) { return ParseResult{std::nullopt, error}; }

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

} // namespace

OutputKind outputKind(const QString& output)
{
    if (output.isEmpty())
        return OutputKind::None;
    if (output == QLatin1String("-"))
        return OutputKind::CsvToStdout;
    if (output.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) && output.size() > 4)
        return OutputKind::Csv;
    if (output.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) && output.size() > 4)
        return OutputKind::Xls;
    if (output.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive) && output.size() > 5)
        return OutputKind::Xlsx;
    return OutputKind::Unknown;
}

bool Options::needsInstrument() const
{
    return command != Command::Help && command != Command::Version && command != Command::Ports &&
           command != Command::ArchiveList && command != Command::ArchiveExport && command != Command::ArchiveCheck;
}

QString Options::settings() const
{
    return QStringLiteral("%1,%2,8,%3").arg(baud).arg(parity).arg(stopBits);
}

ParseResult parse(const QStringList& arguments)
{
    Options o;
    QStringList words; // the command and its operands
    bool seenOutput = false;
    bool optionsEnd = false;
    bool help = false;
    bool version = false;
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
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help = true;
            continue;
        }
        if (a == QLatin1String("--version")) {
            version = true;
            continue;
        }
        if (a == QLatin1String("--json")) {
            o.json = true;
            continue;
        }
        if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
            o.quiet = true;
            continue;
        }
        if (a == QLatin1String("--yes")) {
            o.yes = true;
            continue;
        }
        if (a == QLatin1String("--data")) {
            o.dataOnly = true;
            continue;
        }
        if (a == QLatin1String("--no-archive")) {
            o.noArchive = true;
            continue;
        }
        if (a == QLatin1String("--log")) {
            o.log = true;
            continue;
        }
        // --name=value or --name value
        QString key = a;
        std::optional<QString> value;
        if (const qsizetype eq = a.indexOf(QLatin1Char('=')); a.startsWith(QLatin1String("--")) && eq > 2) {
            key = a.left(eq);
            value = a.mid(eq + 1);
        }
        const auto option = valuedOptions().find(key);
        if (option == valuedOptions().end())
            return fail(Texts::tr("未知的选项“%1”。").arg(a));
        if (!value) {
            if (i + 1 >= arguments.size())
                return fail(Texts::tr("选项 %1 需要一个值。").arg(key));
            value = arguments[++i];
        }
        // "--port --archive x" lacks the port: an option is never taken for a value.
        if (value->startsWith(QLatin1String("--")))
            return fail(Texts::tr("选项 %1 需要一个值。").arg(key));
        switch (option.value()) {
        case Valued::Port:
            if (value->trimmed().isEmpty())
                return fail(Texts::tr("--port 需要串口名（如 COM3）或设备路径。"));
            o.port = value->trimmed();
            break;
        case Valued::Baud: {
            bool ok = false;
            const int baud = value->toInt(&ok);
            if (!ok || baud <= 0)
                return fail(Texts::tr("波特率“%1”无效，应为正整数，如 9600。").arg(*value));
            o.baud = baud;
            break;
        }
        case Valued::Parity: {
            const std::optional<QChar> letter = parityLetter(*value);
            if (!letter)
                return fail(Texts::tr("校验位“%1”无效，应为 None、Odd、Even、Mark 或 Space。").arg(*value));
            o.parity = *letter;
            break;
        }
        case Valued::StopBits:
            if (*value != QLatin1String("1") && *value != QLatin1String("1.5") && *value != QLatin1String("2"))
                return fail(Texts::tr("停止位“%1”无效，应为 1、1.5 或 2。").arg(*value));
            o.stopBits = *value;
            break;
        case Valued::Timeout: {
            bool ok = false;
            const double seconds = value->toDouble(&ok);
            if (!ok || !(seconds > 0) || seconds > 3600)
                return fail(Texts::tr("超时“%1”无效，应为 0 到 3600 之间的秒数。").arg(*value));
            o.timeoutSeconds = seconds;
            break;
        }
        case Valued::QuietMs:
        case Valued::SettleMs: {
            const bool quietSpell = option.value() == Valued::QuietMs;
            bool ok = false;
            const int ms = value->toInt(&ok);
            if (!ok || ms < (quietSpell ? 1 : 0) || ms > 60000)
                return fail(quietSpell ? Texts::tr("静默时间“%1”无效，应为 1 到 60000 之间的毫秒数。").arg(*value)
                                       : Texts::tr("等待时间“%1”无效，应为 0 到 60000 之间的毫秒数。").arg(*value));
            (quietSpell ? o.quietMs : o.settleMs) = ms;
            break;
        }
        case Valued::Archive:
            if (value->isEmpty())
                return fail(Texts::tr("--archive 需要档案数据库的文件名。"));
            o.archivePath = *value;
            break;
        case Valued::From:
        case Valued::To: {
            const bool to = option.value() == Valued::To;
            const std::optional<qint64> t = instrumentTime(*value, to);
            if (!t)
                return fail(Texts::tr("时间“%1”无效，应为 2026-12-07 或 2026-12-07 10:31:05 的形式。").arg(*value));
            (to ? o.to : o.from) = t;
            break;
        }
        case Valued::Language:
            // Read before the arguments are parsed (main installs the language); checked here.
            if (::Language::normalised(*value).isEmpty())
                return fail(Texts::tr("语言“%1”无效，应为 zh_CN（中文）或 en（English）。").arg(*value));
            o.language = ::Language::normalised(*value);
            break;
        case Valued::Output:
            if (value->isEmpty())
                return fail(Texts::tr("-o 需要输出文件名，或 - 表示标准输出。"));
            o.output = *value;
            seenOutput = true;
            break;
        }
    }

    if (help) {
        o.command = Command::Help;
        return ParseResult{o, {}};
    }
    if (version) {
        o.command = Command::Version;
        return ParseResult{o, {}};
    }
    if (words.isEmpty())
        return fail(Texts::tr("缺少命令。"));
    const auto info = commandTable().find(words.first());
    if (info == commandTable().end())
        return fail(Texts::tr("未知的命令“%1”。").arg(words.first()));
    o.command = info->command;
    const QStringList operands = words.mid(1);
    if (operands.size() < info->minOperands || operands.size() > info->maxOperands)
        return fail(Texts::tr("命令 %1 的参数个数不对。").arg(words.first()));

    if (o.command == Command::ArchiveList) {
        // archive list | archive export [X [CODE...]]
        if (operands[0] == QLatin1String("list") && operands.size() == 1) {
            o.command = Command::ArchiveList;
        } else if (operands[0] == QLatin1String("check") && operands.size() == 1) {
            o.command = Command::ArchiveCheck;
        } else if (operands[0] == QLatin1String("export")) {
            o.command = Command::ArchiveExport;
            if (operands.size() > 1) {
                const std::optional<QString> letter = partitionLetter(operands[1]);
                if (!letter)
                    return fail(Texts::tr("分区“%1”无效，应为 A 到 J 中的一个字母。").arg(operands[1]));
                o.partition = *letter;
            }
            o.codes << operands.mid(2); // matched as stored (archive::chooseSeries)
            if (!seenOutput)
                return fail(Texts::tr("archive export 需要用 -o 指定输出文件（.xlsx 或 .csv）。"));
            const OutputKind kind = outputKind(o.output);
            if (kind != OutputKind::Xlsx && kind != OutputKind::Csv)
                return fail(Texts::tr("archive export 的输出文件须以 .xlsx 或 .csv 结尾。"));
        } else {
            return fail(Texts::tr("archive 之后应为 list、export 或 check。"));
        }
        if (o.noArchive)
            return fail(Texts::tr("--no-archive 只能用于 copy。"));
        if ((o.from || o.to) && o.command != Command::ArchiveExport)
            return fail(Texts::tr("--from 和 --to 只能用于 archive export。"));
        if (o.from && o.to && *o.from > *o.to)
            return fail(Texts::tr("--from 晚于 --to。"));
        if (o.json && o.command != Command::ArchiveList)
            return fail(Texts::tr("--json 只能用于 ports、partitions、files、components 和 archive list。"));
        return ParseResult{o, {}};
    }

    if (!operands.isEmpty()) {
        const std::optional<QString> letter = partitionLetter(operands[0]);
        if (!letter)
            return fail(Texts::tr("分区“%1”无效，应为 A 到 J 中的一个字母。").arg(operands[0]));
        o.partition = *letter;
    }

    switch (o.command) {
    case Command::Copy:
        if (operands.size() == 2) {
            if (operands[1].isEmpty())
                return fail(Texts::tr("文件名不能为空。"));
            o.file = operands[1];
        }
        if (!seenOutput)
            return fail(Texts::tr("copy 需要用 -o 指定输出文件（.csv 或 .xls），或 -o - 输出到标准输出。"));
        break;
    case Command::WriteComponents:
        if (operands[1].isEmpty())
            return fail(Texts::tr("缺少元件编号列表文件。"));
        o.list = operands[1];
        break;
    case Command::NewFile: o.name = operands[1]; break;
    case Command::Delete:
        // Erasing field data is not undoable: it is never done without consent on the line.
        if (!o.yes)
            return fail(o.dataOnly ? Texts::tr("删除不可恢复：请加上 --yes 确认要删除分区 %1 的数据。").arg(o.partition)
                                   : Texts::tr("删除不可恢复：请加上 --yes 确认要删除分区 %1。").arg(o.partition));
        break;
    default: break;
    }

    if (seenOutput && o.command != Command::Copy && o.command != Command::Components)
        return fail(Texts::tr("-o 只能用于 copy 和 components。"));
    if (seenOutput && outputKind(o.output) == OutputKind::Unknown)
        return fail(
            Texts::tr("输出文件“%1”须以 .csv、.xls 或 .xlsx 结尾，或用 - 表示输出 CSV 到标准输出。").arg(o.output));
    if (o.dataOnly && o.command != Command::Delete)
        return fail(Texts::tr("--data 只能用于 delete。"));
    if (o.yes && o.command != Command::Delete)
        return fail(Texts::tr("--yes 只能用于 delete。"));
    if (o.noArchive && o.command != Command::Copy)
        return fail(Texts::tr("--no-archive 只能用于 copy。"));
    if (o.from || o.to)
        return fail(Texts::tr("--from 和 --to 只能用于 archive export。"));
    const bool listing = o.command == Command::Ports || o.command == Command::Partitions || o.command == Command::Files || o.command == Command::Components;
    if (o.json && !listing)
        return fail(Texts::tr("--json 只能用于 ports、partitions、files 和 components。"));
    if (o.json && seenOutput)
        return fail(Texts::tr("--json 与 -o 不能同时使用。"));
    return ParseResult{o, {}};
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
                     "                           what they allow (all of it or nothing).\n"
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
                     "  -o, --output OUT  copy、components 和 archive export 的输出文件。\n"
                     "                    Output of copy, components and archive export.\n"
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
                     "     (copy's output file was written)\n");
}

} // namespace cli
