#include "cli/ArchiveCommands.h"

#include "archive/Archive.h"
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveExport.h"
#include "archive/GaugeRegisterTable.h"
#include "archive/LevelTable.h"
#include "archive/TableFile.h"
#include "archive/Recorder.h"
#include "cli/ArchiveTexts.h"
#include "cli/Console.h"
#include "cli/ReadoutChoice.h"
#include "cli/Settings.h"
#include "export/SaveGrid.h"
#include "platform/Language.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <algorithm>
#include <limits>
#include <map>

namespace cli {

namespace {

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::ArchiveCommands)
};

//: between the items of a list
QString listed(const QStringList& items) { return items.join(Texts::tr("、")); }

QByteArray compact(const QJsonArray& json) { return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n'; }

} // namespace

ArchiveCommands::ArchiveCommands(const Options& options, Console& console, std::function<bool()> stopRequested)
    : m_o(options), m_console(console), m_stopRequested(std::move(stopRequested))
{
}

bool ArchiveCommands::handles(Command command)
{
    switch (command) {
    case Command::ArchiveList:
    case Command::ArchiveExport:
    case Command::ArchiveCheck:
    case Command::ArchiveInstruments:
    case Command::ArchiveInstrumentAdd:
    case Command::ArchiveInstrumentRename:
    case Command::ArchiveInstrumentDefault:
    case Command::ArchiveGauges:
    case Command::ArchiveAssign:
    case Command::ArchiveRegisterImport:
    case Command::ArchiveRegisterExport:
    case Command::ArchiveEvents:
    case Command::ArchiveOverdue:
    case Command::ArchiveLevelsImport:
    case Command::ArchiveLevelsExport:
    case Command::Report:
    case Command::Sync: return true;
    default: return false;
    }
}

int ArchiveCommands::run()
{
    switch (m_o.command) {
    case Command::ArchiveList: return list();
    case Command::ArchiveExport: return exportRecords();
    case Command::ArchiveCheck: return check();
    case Command::ArchiveInstruments: return instruments();
    case Command::ArchiveInstrumentAdd: return addInstrument();
    case Command::ArchiveInstrumentRename: return renameInstrument();
    case Command::ArchiveInstrumentDefault: return defaultInstrument();
    case Command::ArchiveGauges: return gauges();
    case Command::ArchiveAssign: return assign();
    case Command::ArchiveRegisterImport: return importRegister();
    case Command::ArchiveRegisterExport: return exportRegister();
    case Command::ArchiveEvents: return events();
    case Command::ArchiveOverdue: return overdue();
    case Command::ArchiveLevelsImport: return importLevels();
    case Command::ArchiveLevelsExport: return exportLevels();
    case Command::Report: return report();
    case Command::Sync: return sync();
    default: return UsageError;
    }
}

QString ArchiveCommands::language(const Options& options)
{
    return Language::chosen(options.language.isEmpty() ? std::nullopt : std::optional<QString>(options.language));
}

QString ArchiveCommands::archivePath(const Options& options)
{
    return options.archivePath.isEmpty() ? archive::Archive::defaultPath() : options.archivePath;
}

archive::Archive* ArchiveCommands::openArchive(archive::Recorder& recorder)
{
    archive::Archive* a = recorder.archive();
    if (const QString notice = recorder.takeNotice(); !notice.isEmpty())
        m_console.error(notice);
    if (const QString drained = recorder.takeDrained(); !drained.isEmpty())
        m_console.note(drained);
    if (!a)
        m_console.error(recorder.failure());
    else if (const int waiting = recorder.waitingCopies(); waiting > 0 && recorder.archive()->readOnly())
        // A reading command stores nothing: what it shows lacks the copies kept for later.
        m_console.error(Texts::tr("另有 %1 份拷贝暂存、等待存档，其记录尚未计入档案（下次存档时存入）。").arg(waiting));
    return a;
}

std::optional<archive::Readout> ArchiveCommands::namedReadout(const archive::Archive& a, int* failed)
{
    archive::Error error;
    if (std::optional<archive::Readout> r = a.readout(m_o.readout, &error))
        return r;
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        *failed = ArchiveFailed;
    } else {
        m_console.error(Texts::tr("档案中没有仪器“%1”。").arg(m_o.readout) + knownReadoutsText(a));
        *failed = UsageError;
    }
    return std::nullopt;
}

int ArchiveCommands::checkSite(const archive::Archive& a)
{
    if (m_o.site.isEmpty())
        return Success;
    archive::Error error;
    bool known = false;
    for (const archive::Site& s : a.sites(&error))
        known = known || s.name == m_o.site;
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    if (!known) {
        m_console.error(Texts::tr("档案中没有工程“%1”。").arg(m_o.site));
        return UsageError;
    }
    return Success;
}

void ArchiveCommands::put(const QByteArray& json, const QString& lines)
{
    if (m_o.json)
        m_console.outBytes(json);
    else
        m_console.out(lines);
}

// ---- reading ---------------------------------------------------------------------------------

int ArchiveCommands::list()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    const std::vector<archive::SeriesSummary> all = a->summary(&error);
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    QJsonArray json;
    QString text;
    for (const archive::SeriesSummary& s : all) {
        json.append(QJsonObject{{"readout", s.readout},
                                {"partition", s.partition},
                                {"code", s.code},
                                {"count", s.count},
                                {"first", readoutTime(s.firstTime)},
                                {"last", readoutTime(s.lastTime)}});
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                    .arg(s.readout, s.partition, s.code)
                    .arg(s.count)
                    .arg(readoutTime(s.firstTime), readoutTime(s.lastTime));
    }
    put(compact(json), text);
    return Success;
}

int ArchiveCommands::instruments()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    const std::vector<archive::Readout> readouts = a->readouts(&error);
    std::map<QString, qint64> counts;
    for (const archive::SeriesSummary& s : a->summary(&error))
        counts[s.readout] += s.count;
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    const QString fallback = defaultReadout();
    QJsonArray json;
    QString text;
    for (const archive::Readout& r : readouts) {
        const QStringList devices = a->devicesOf(r.id, &error);
        const qint64 count = counts.count(r.name) ? counts.at(r.name) : 0;
        const bool isDefault = r.name.compare(fallback, Qt::CaseInsensitive) == 0;
        json.append(QJsonObject{{"name", r.name},
                                {"zone", r.timeZone},
                                {"devices", QJsonArray::fromStringList(devices)},
                                {"count", count},
                                {"default", isDefault}});
        text += QStringLiteral("%1\t%2\t%3\t%4%5\n")
                    .arg(r.name, r.timeZone, devices.join(QLatin1Char(' ')))
                    .arg(count)
                    .arg(isDefault ? QStringLiteral("\t") + Texts::tr("默认") : QString());
    }
    put(compact(json), text);
    return Success;
}

int ArchiveCommands::gauges()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    if (const int code = checkSite(*a); code != Success)
        return code;
    archive::Error error;
    const std::vector<archive::GaugeSummary> all = a->gauges(m_o.site, &error);
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    QJsonArray json;
    QString text;
    for (const archive::GaugeSummary& g : all) {
        json.append(QJsonObject{{"name", g.info.name},
                                {"type", g.info.type},
                                {"unit", g.info.unit},
                                {"site", g.info.site},
                                {"count", g.count},
                                {"first", isoTime(g.firstUtc)},
                                {"last", isoTime(g.lastUtc)},
                                {"readouts", QJsonArray::fromStringList(g.readouts)}});
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\n")
                    .arg(g.info.name, g.info.type, g.info.unit, g.info.site)
                    .arg(g.count)
                    .arg(localTime(g.firstUtc), localTime(g.lastUtc), g.readouts.join(QLatin1Char(' ')));
    }
    put(compact(json), text);
    return Success;
}

int ArchiveCommands::exportRecords()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    const qint64 from = m_o.from.value_or(std::numeric_limits<qint64>::min());
    const qint64 to = m_o.to.value_or(std::numeric_limits<qint64>::max());
    std::vector<archive::ExportSeries> series;
    QStringList unknown;
    const bool byGauge = !m_o.site.isEmpty() || !m_o.gauges.isEmpty();
    if (byGauge) {
        if (const int code = gaugeSeries(*a, from, to, series); code != Success)
            return code;
    } else {
        for (const archive::SeriesSummary& s : archive::chooseSeries(a->summary(), m_o.partition, m_o.codes, &unknown)) {
            archive::ExportSeries e{s.partition, s.code, a->calibration(s.code),
                                    archive::exportPoints(a->series(s.readout, s.partition, s.code, from, to))};
            e.readout = s.readout;
            series.push_back(std::move(e));
        }
    }
    if (!unknown.isEmpty()) {
        m_console.error(Texts::tr("档案中没有元件 %1。").arg(listed(unknown)));
        return UsageError;
    }
    if (const std::optional<QString> failure = archive::exportSeries(m_o.output, series, m_stopRequested)) {
        m_console.error(SaveGrid::failureMessage(*failure));
        return m_stopRequested() ? int(Interrupted) : int(SaveFailed);
    }
    qint64 rows = 0;
    for (const auto& s : series)
        rows += qint64(s.points.size());
    if (byGauge)
        m_console.note(Texts::tr("已导出 %1 个测点的 %2 条记录。").arg(series.size()).arg(rows));
    else
        m_console.note(Texts::tr("已导出 %1 个元件的 %2 条记录。").arg(series.size()).arg(rows));
    return Success;
}

int ArchiveCommands::gaugeSeries(const archive::Archive& a, qint64 from, qint64 to,
                                 std::vector<archive::ExportSeries>& series)
{
    std::vector<archive::GaugeInfo> chosen;
    if (const int code = chooseGauges(a, chosen); code != Success)
        return code;
    archive::Error error;
    std::map<qint64, archive::Readout> readouts;
    for (const archive::Readout& r : a.readouts(&error))
        readouts[r.id] = r;
    const std::vector<archive::Assignment> assignments = a.assignments(&error);
    for (const archive::GaugeInfo& g : chosen) {
        // A series for each readout that read the gauge: each readout its own clock. The range
        // is in the readout's clock, as for a component.
        std::map<qint64, std::vector<archive::GaugePoint>> byReadout;
        for (const archive::GaugePoint& p : a.gaugeSeries(g.name, std::numeric_limits<qint64>::min(),
                                                          std::numeric_limits<qint64>::max(), &error))
            if (p.time >= from && p.time <= to)
                byReadout[p.readout].push_back(p);
        const std::vector<archive::CalibrationVersion> versions = a.calibrationVersions(g.name, &error);
        const std::vector<archive::LevelSet> levelSets = a.levelSets(g.name, &error);
        for (auto& [readout, points] : byReadout) {
            archive::ExportSeries e;
            const archive::Readout& r = readouts[readout];
            for (const archive::Assignment& s : assignments)
                if (s.gauge == g.name && s.readout == r.name && e.partition.isEmpty())
                    e.partition = s.partition;
            e.code = points.front().code;
            e.calibration = a.calibration(e.code, &error);
            e.points = std::move(points);
            e.readout = r.name;
            e.gauge = g.name;
            e.site = g.site;
            e.timeZone = r.timeZone;
            e.zoneChanges = a.zoneChanges(r.id, &error);
            e.versions = versions;
            e.levelSets = levelSets;
            series.push_back(std::move(e));
        }
    }
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    return Success;
}

int ArchiveCommands::chooseGauges(const archive::Archive& a, std::vector<archive::GaugeInfo>& chosen)
{
    // The gauges of the site (all of the register without one), narrowed to those named.
    if (const int code = checkSite(a); code != Success)
        return code;
    archive::Error error;
    const std::vector<archive::GaugeInfo> all = a.gaugeRegister(&error);
    QStringList unknown = m_o.gauges;
    for (const archive::GaugeInfo& g : all) {
        if (!m_o.site.isEmpty() && g.site != m_o.site)
            continue;
        if (!m_o.gauges.isEmpty() && !m_o.gauges.contains(g.name))
            continue;
        unknown.removeAll(g.name);
        chosen.push_back(g);
    }
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    if (!unknown.isEmpty()) {
        m_console.error(m_o.site.isEmpty() ? Texts::tr("测点登记表中没有测点 %1。").arg(listed(unknown))
                                           : Texts::tr("工程“%1”中没有测点 %2。").arg(m_o.site, listed(unknown)));
        return UsageError;
    }
    return Success;
}

int ArchiveCommands::check()
{
    // The file as it is: opening it as the archive would set a damaged one aside first.
    archive::Error error;
    const std::optional<archive::ArchiveCheck::Result> result =
        archive::ArchiveCheck::run(archivePath(m_o), true, &error);
    if (!result) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    m_console.out(archive::ArchiveCheck::text(*result) + QLatin1Char('\n'));
    return result->sound() ? int(Success) : int(ArchiveFailed);
}

// ---- readouts --------------------------------------------------------------------------------

int ArchiveCommands::addInstrument()
{
    if (!m_o.zone.isEmpty() && !QTimeZone(m_o.zone.toUtf8()).isValid()) {
        m_console.error(Texts::tr("时区“%1”无效，应为 IANA 时区名，如 Asia/Shanghai。").arg(m_o.zone));
        return UsageError;
    }
    archive::Recorder recorder(archivePath(m_o));
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    if (const std::optional<archive::Readout> taken = a->readout(m_o.readout, &error)) {
        m_console.error(Texts::tr("档案中已有仪器“%1”。").arg(taken->name));
        return UsageError;
    }
    const std::optional<archive::Readout> added = a->addReadout(m_o.readout, m_o.zone, &error);
    if (!added) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    m_console.note(Texts::tr("已添加仪器“%1”（时区 %2）。").arg(added->name, added->timeZone));
    return Success;
}

int ArchiveCommands::renameInstrument()
{
    archive::Recorder recorder(archivePath(m_o));
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    int failed = 0;
    const std::optional<archive::Readout> old = namedReadout(*a, &failed);
    if (!old)
        return failed;
    archive::Error error;
    // Only a change of case may keep the name a readout has.
    if (const std::optional<archive::Readout> taken = a->readout(m_o.newName, &error); taken && taken->id != old->id) {
        m_console.error(Texts::tr("档案中已有仪器“%1”。").arg(taken->name));
        return UsageError;
    }
    if (!a->renameReadout(old->id, m_o.newName, &error)) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    // The default follows the readout it named.
    if (defaultReadout().compare(old->name, Qt::CaseInsensitive) == 0)
        setDefaultReadout(m_o.newName);
    m_console.note(Texts::tr("已把仪器“%1”改名为“%2”。").arg(old->name, m_o.newName));
    return Success;
}

int ArchiveCommands::defaultInstrument()
{
    if (m_o.clearDefault) {
        setDefaultReadout({});
        m_console.note(Texts::tr("已取消默认仪器。"));
        return Success;
    }
    if (m_o.readout.isEmpty()) {
        const QString name = defaultReadout();
        if (name.isEmpty())
            m_console.note(Texts::tr("未设定默认仪器。"));
        else
            m_console.out(name + QLatin1Char('\n'));
        return Success;
    }
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    int failed = 0;
    const std::optional<archive::Readout> r = namedReadout(*a, &failed);
    if (!r)
        return failed;
    setDefaultReadout(r->name);
    m_console.note(Texts::tr("默认仪器现为“%1”。").arg(r->name));
    return Success;
}

// ---- trigger levels and events ---------------------------------------------------------------

int ArchiveCommands::events()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    if (const int code = checkSite(*a); code != Success)
        return code;
    archive::EventQuery query;
    query.sinceUtc = m_o.since.value_or(archive::kSinceEver);
    query.site = m_o.site;
    archive::Error error;
    const std::vector<archive::LevelEvent> all = a->events(query, &error);
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    QJsonArray json;
    QString text;
    for (const archive::LevelEvent& e : all) {
        json.append(eventJson(e));
        text += eventRow(e);
    }
    put(compact(json), text);
    if (all.empty() && !m_o.json)
        m_console.note(Texts::tr("没有测点状态的变化。"));
    return Success;
}

int ArchiveCommands::overdue()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    if (const int code = checkSite(*a); code != Success)
        return code;
    archive::Error error;
    const std::vector<archive::OverdueGauge> all = a->overdue(QDateTime::currentDateTimeUtc(), m_o.site, &error);
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    QJsonArray json;
    QString text;
    if (!all.empty())
        //: the heading of the list of gauges not read within their interval
        text = Texts::tr("逾期未测（%1 个测点）：").arg(all.size()) + QLatin1Char('\n');
    for (const archive::OverdueGauge& g : all) {
        json.append(QJsonObject{{"gauge", g.gauge},
                                {"site", g.site},
                                {"interval", g.intervalDays},
                                {"last", g.lastUtc == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(isoTime(g.lastUtc))},
                                {"daysSince", g.daysSince}});
        text += QStringList{g.gauge, g.site,
                            //: %1 a number of days
                            Texts::tr("每 %1 天").arg(g.intervalDays),
                            g.lastUtc == 0 ? Texts::tr("从未测读") : localTime(g.lastUtc),
                            //: %1 days since the last reading
                            Texts::tr("已 %1 天").arg(QString::number(g.daysSince, 'f', 1))}
                    .join(QLatin1Char('\t')) +
                QLatin1Char('\n');
    }
    put(compact(json), text);
    if (all.empty() && !m_o.json)
        m_console.note(Texts::tr("没有逾期未测的测点。"));
    return Success;
}

int ArchiveCommands::importLevels()
{
    QString failure;
    const std::optional<std::vector<QStringList>> rows = archive::TableFile::read(m_o.levelFile, &failure);
    if (!rows) {
        m_console.error(failure);
        return UsageError;
    }
    QStringList problems;
    const std::vector<archive::LevelSet> sets = archive::LevelTable::fromRows(*rows, &problems);
    // All rows or none: a gauge judged by half its levels would look watched.
    if (!problems.isEmpty()) {
        m_console.error(Texts::tr("触发值表“%1”中有无法读取的行，未作任何改动：").arg(m_o.levelFile));
        for (const QString& problem : problems)
            m_console.error(problem);
        return UsageError;
    }
    if (sets.empty()) {
        m_console.error(Texts::tr("触发值表“%1”中没有触发值。").arg(m_o.levelFile));
        return UsageError;
    }
    archive::Recorder recorder(archivePath(m_o));
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    // Levels of a gauge nobody registered would watch nothing.
    QStringList unknown;
    const std::vector<archive::GaugeInfo> known = a->gaugeRegister(&error);
    for (const archive::LevelSet& set : sets)
        if (std::none_of(known.begin(), known.end(), [&](const archive::GaugeInfo& g) { return g.name == set.gauge; }))
            unknown << set.gauge;
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    if (!unknown.isEmpty()) {
        m_console.error(Texts::tr("测点登记表中没有测点 %1：请先用 archive register import 登记，未作任何改动。")
                            .arg(listed(unknown)));
        return UsageError;
    }
    if (!a->addLevelSets(sets, &error)) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    m_console.note(Texts::tr("已读入 %1 个测点的触发值。").arg(sets.size()));
    return Success;
}

int ArchiveCommands::exportLevels()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    const std::vector<archive::LevelSet> sets = a->currentLevelSets(&error);
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    // The headers and words in the operator's language; either is read back.
    const bool english = language(m_o) == Language::kEnglish;
    if (const std::optional<QString> failure = archive::LevelTable::writeFile(m_o.levelFile, sets, english)) {
        m_console.error(SaveGrid::failureMessage(*failure));
        return SaveFailed;
    }
    m_console.note(Texts::tr("已导出 %1 个测点的触发值。").arg(sets.size()));
    return Success;
}

// ---- gauges ----------------------------------------------------------------------------------

int ArchiveCommands::assign()
{
    archive::Recorder recorder(archivePath(m_o));
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    int failed = 0;
    const std::optional<archive::Readout> r = namedReadout(*a, &failed);
    if (!r)
        return failed;
    archive::Error error;
    // Only a slot the readout has: one it has records of, or that its list named.
    bool slot = false;
    for (const archive::SlotSummary& s : a->slotSummaries(&error))
        slot = slot || (s.readout == r->name && s.code == m_o.code);
    for (const archive::Assignment& s : a->assignments(&error))
        slot = slot || (s.readout == r->name && s.code == m_o.code);
    if (!slot && error.detail.isEmpty()) {
        m_console.error(Texts::tr("仪器“%1”没有元件 %2：档案中既无其记录，其元件编号列表中也没有。").arg(r->name, m_o.code));
        return UsageError;
    }
    // A name mistyped would start a gauge nobody registered.
    bool known = false;
    for (const archive::GaugeInfo& g : a->gaugeRegister(&error))
        known = known || g.name == m_o.gauges.value(0);
    if (!known) {
        m_console.error(Texts::tr("测点登记表中没有测点“%1”：请先用 archive register import 登记它。").arg(m_o.gauges.value(0)));
        return UsageError;
    }
    if (!a->assign(r->id, m_o.code, m_o.gauges.value(0), *m_o.from, &error)) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    m_console.note(Texts::tr("仪器“%1”的 %2 自 %3 起为测点 %4。")
                       .arg(r->name, m_o.code, readoutTime(*m_o.from), m_o.gauges.value(0)));
    return Success;
}

int ArchiveCommands::importRegister()
{
    QString failure;
    const std::optional<std::vector<QStringList>> rows = archive::TableFile::read(m_o.registerFile, &failure);
    if (!rows) {
        m_console.error(failure);
        return UsageError;
    }
    QStringList problems;
    const std::vector<archive::GaugeInfo> gauges = archive::GaugeRegisterTable::fromRows(*rows, &problems);
    // All rows or none: a register half read would look whole.
    if (!problems.isEmpty()) {
        m_console.error(Texts::tr("测点登记表“%1”中有无法读取的行，未作任何改动：").arg(m_o.registerFile));
        for (const QString& problem : problems)
            m_console.error(problem);
        return UsageError;
    }
    if (gauges.empty()) {
        m_console.error(Texts::tr("测点登记表“%1”中没有测点。").arg(m_o.registerFile));
        return UsageError;
    }
    archive::Recorder recorder(archivePath(m_o));
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    if (!a->updateRegister(gauges, &error)) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    m_console.note(Texts::tr("已登记 %1 个测点。").arg(gauges.size()));
    return Success;
}

int ArchiveCommands::exportRegister()
{
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    archive::Error error;
    const std::vector<archive::GaugeInfo> gauges = a->gaugeRegister(&error);
    if (!error.detail.isEmpty()) {
        m_console.error(archive::Recorder::errorText(error));
        return ArchiveFailed;
    }
    // The headers in the operator's language; either is read back.
    const bool english = language(m_o) == Language::kEnglish;
    if (const std::optional<QString> failure = archive::GaugeRegisterTable::writeFile(m_o.registerFile, gauges, english)) {
        m_console.error(SaveGrid::failureMessage(*failure));
        return SaveFailed;
    }
    m_console.note(Texts::tr("已导出 %1 个测点。").arg(gauges.size()));
    return Success;
}

} // namespace cli
