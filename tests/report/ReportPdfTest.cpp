// The report as a PDF, read back by poppler's tools: what its text holds, its fonts, its pages
// by the layout rule (hand-built content and the shared fixture's site), English, the cancel
// and the failures.
#include "tests/report/Poppler.h"
#include "ReportFixture.h"
#include "report/ReportPdf.h"
#include "report/ReportTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cmath>
#include <gtest/gtest.h>

using report::test::pdfFonts;
using report::test::pdfPages;
using report::test::pdfText;

namespace {

constexpr qint64 kDay = 86'400;
constexpr qint64 kFrom = 1'796'083'200; // 2026-12-01 00:00 UTC
constexpr qint64 kTo = kFrom + 7 * kDay - 1;

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A gauge read daily over the period, its value climbing by `step` a day from `start`, the fourth
// reading flagged and, when `masked`, the fifth masked.
report::GaugeReport gauge(const QString& name, const QString& type, const QString& unit, double start, double step, bool masked = false)
{
    report::GaugeReport g;
    g.info.name = name;
    g.info.type = type;
    g.info.unit = unit;
    g.info.location = QStringLiteral("K0+120");
    g.unit = unit;
    auto& t = g.trend;
    t.gauge = name;
    t.unit = unit;
    t.valueLabel = QStringLiteral("%1 (%2)").arg(type, unit);
    t.converted = true;
    t.levelsApply = true;
    for (int d = 0; d < 7; ++d) {
        const qint64 utc = kFrom + d * kDay + 3600;
        t.time.push_back(utc);
        t.utc.push_back(utc);
        t.value.push_back(start + step * d);
        t.temperature.push_back(15);
        t.status.push_back(d >= 5 ? 1 : 0);
        t.flags.push_back(d == 3 ? 1 : 0);
        t.masked.push_back(masked && d == 4);
    }
    archive::LevelSet set;
    set.gauge = name;
    set.levels.push_back(archive::TriggerLevel{.side = archive::LevelSide::High, .rank = 1, .threshold = start + step * 4.5});
    t.levelSets.push_back(set);
    g.readings = 7;
    g.flaggedInPeriod = 1;
    g.maskedInPeriod = masked ? 1 : 0;
    g.firstValue = start;
    g.firstUtc = t.utc.front();
    g.latestValue = start + step * 6;
    g.latestUtc = t.utc.back();
    g.changeOverPeriod = step * 6;
    g.baselineValue = start - 1.25;
    g.baselineUtc = kFrom - 30 * kDay;
    g.changeSinceBaseline = g.latestValue - g.baselineValue;
    g.ratePerDay = step;
    g.status = 1;
    g.statusName = QStringLiteral("预警");
    g.rule = QStringLiteral("预警：值 ≥ %1 %2").arg(report::Texts::number(start + step * 4.5), unit);
    g.lastReadingUtc = g.latestUtc;
    archive::CalibrationVersion v;
    v.gauge = name;
    v.fromUtc = kFrom - 100 * kDay;
    v.values.unit = unit;
    v.enteredAt = QDateTime::fromSecsSinceEpoch(kFrom - 100 * kDay, QTimeZone::utc());
    v.enteredBy = QStringLiteral("lab");
    g.versionsUsed.push_back(v);
    return g;
}

report::Content content(int gauges, const QString& language = QStringLiteral("zh_CN"))
{
    report::Content c;
    c.request.site = QStringLiteral("东坝");
    c.request.period = {kFrom, kTo};
    c.request.language = language;
    c.request.remarks = QStringLiteral("汛前检查");
    c.title = language == QLatin1String("en") ? QStringLiteral("Monitoring report") : QStringLiteral("监测报告");
    c.site.name = QStringLiteral("东坝");
    c.site.notes = QStringLiteral("左岸坝段");
    c.madeAt = QDateTime::fromSecsSinceEpoch(kTo + 3600, QTimeZone::utc());
    c.madeBy = QStringLiteral("王工");
    c.programVersion = QStringLiteral("1.4.0");
    c.readouts = QStringList{QStringLiteral("R1"), QStringLiteral("R2")};
    c.downloads.resize(3);
    for (int i = 0; i < gauges; ++i) {
        const bool piezometer = i < (gauges + 1) / 2;
        c.gauges.push_back(gauge(QStringLiteral("%1%2").arg(piezometer ? 'P' : 'S').arg(i + 1, 3, 10, QLatin1Char('0')),
                                 piezometer ? QStringLiteral("渗压计") : QStringLiteral("应变计"), piezometer ? QStringLiteral("kPa") : QStringLiteral("με"),
                                 100.5 + 10 * i, 0.375 + 0.5 * i, i == 0));
    }
    return c;
}

// The list pages by the rule of ReportPdf.h, for sections of these many entries.
int listPages(const std::vector<int>& entries)
{
    int pages = 1, left = report::kListRowsPerPage;
    for (int n : entries) {
        if (left < report::kListSectionStart) {
            ++pages;
            left = report::kListRowsPerPage;
        }
        left -= 1;
        if (n == 0) {
            left -= 1;
            continue;
        }
        left -= 1;
        for (int r = 0; r < n; ++r) {
            if (left == 0) {
                ++pages;
                left = report::kListRowsPerPage - 1;
            }
            --left;
        }
    }
    return pages;
}

class ReportPdfTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("report.pdf")); }
};

TEST_F(ReportPdfTest, TheTextHoldsEveryGaugeWithItsNumbersThePeriodHeadersAndPageNumbers)
{
    report::Content c = content(3);
    archive::LevelEvent e;
    e.gauge = QStringLiteral("P002");
    e.utc = kFrom + 5 * kDay + 3600;
    e.value = 115.25;
    e.unit = QStringLiteral("kPa");
    e.fromName = QStringLiteral("正常");
    e.toName = QStringLiteral("预警");
    e.rule = QStringLiteral("预警：值 ≥ 114.88 kPa");
    e.acknowledged = true;
    e.acknowledgedBy = QStringLiteral("李工");
    e.acknowledgedAt = QDateTime::fromSecsSinceEpoch(kFrom + 6 * kDay, QTimeZone::utc());
    e.note = QStringLiteral("已现场复核");
    c.events.push_back(e);
    c.flagged.push_back({QStringLiteral("S003"), kFrom + 3 * kDay + 3600, 350, QStringLiteral("Hz"), 1, QStringLiteral("频率超出范围")});
    archive::OverdueGauge o{QStringLiteral("S003"), QStringLiteral("东坝"), 1, kFrom + 2 * kDay, 5.5};
    c.overdue.push_back(o);

    const report::WriteResult r = report::writePdf(path(), c);
    ASSERT_TRUE(r.written) << r.reason.toStdString();
    // Cover, one summary page, two plot pages (three gauges, two a page), one page of lists.
    EXPECT_EQ(r.pages, 5);
    EXPECT_EQ(pdfPages(path()), 5);

    const QString text = pdfText(path());
    for (const report::GaugeReport& g : c.gauges) {
        SCOPED_TRACE(g.info.name.toStdString());
        EXPECT_TRUE(text.contains(g.info.name));
        for (double v : {g.latestValue, g.changeOverPeriod, g.changeSinceBaseline, g.ratePerDay, g.firstValue})
            EXPECT_TRUE(text.contains(report::Texts::number(v))) << report::Texts::number(v).toStdString();
        EXPECT_TRUE(text.contains(report::Texts::time(g.latestUtc)));
    }
    EXPECT_TRUE(text.contains(QStringLiteral("%1 至 %2").arg(report::Texts::time(kFrom), report::Texts::time(kTo))));
    EXPECT_TRUE(text.contains(QStringLiteral("左岸坝段")));
    EXPECT_TRUE(text.contains(QStringLiteral("汛前检查")));
    EXPECT_TRUE(text.contains(QStringLiteral("王工")));
    EXPECT_TRUE(text.contains(QStringLiteral("1.4.0")));
    EXPECT_TRUE(text.contains(report::Texts::zone(kFrom)));
    // The event with its acknowledgement, the flag, the overdue gauge; no masks: "无".
    EXPECT_TRUE(text.contains(QStringLiteral("已现场复核")));
    EXPECT_TRUE(text.contains(QStringLiteral("李工")));
    EXPECT_TRUE(text.contains(QStringLiteral("频率超出范围")));
    const QString lists = pdfText(path(), 5);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("屏蔽的读数\\s*\\n\\s*无\\s*\\n")).match(lists).hasMatch()) << lists.toStdString();
    EXPECT_TRUE(lists.contains(QStringLiteral("5.5")));

    // The cover has no header; every other page has it and its number of the five.
    EXPECT_FALSE(pdfText(path(), 1).contains(QStringLiteral("第 1 页")));
    for (int page = 2; page <= 5; ++page) {
        const QString p = pdfText(path(), page);
        SCOPED_TRACE(page);
        EXPECT_TRUE(p.contains(QStringLiteral("监测报告")));
        EXPECT_TRUE(p.contains(QStringLiteral("东坝")));
        EXPECT_TRUE(p.contains(report::Texts::time(kTo)));
        EXPECT_TRUE(p.contains(QStringLiteral("第 %1 页，共 5 页").arg(page))) << p.toStdString();
    }
}

TEST_F(ReportPdfTest, TheCjkFontIsEmbedded)
{
    const report::WriteResult r = report::writePdf(path(), content(1));
    ASSERT_TRUE(r.written) << r.reason.toStdString();
    const QString family = report::pdfFontFamily();
    EXPECT_EQ(family, QStringLiteral("WenQuanYi Micro Hei")); // installed here (fonts-wqy-microhei)
    const QString wanted = QString(family).remove(QLatin1Char(' '));
    bool found = false;
    for (const QString& line : pdfFonts(path()).split(QLatin1Char('\n'))) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() < 7 || !f[0].contains(wanted))
            continue;
        found = true;
        EXPECT_EQ(f[f.size() - 5], QStringLiteral("yes")) << line.toStdString(); // emb
    }
    EXPECT_TRUE(found);
}

TEST_F(ReportPdfTest, PagesFollowTheLayoutRule)
{
    // 23 gauges: two summary pages, each with its column header; 12 plot pages.
    {
        const report::Content c = content(23);
        const report::WriteResult r = report::writePdf(path(), c);
        ASSERT_TRUE(r.written) << r.reason.toStdString();
        EXPECT_EQ(r.pages, 1 + 2 + 12 + listPages({0, 0, 0, 0, 23}));
        EXPECT_EQ(pdfPages(path()), r.pages);
        EXPECT_TRUE(pdfText(path(), 2).contains(QStringLiteral("最新值")));
        EXPECT_TRUE(pdfText(path(), 3).contains(QStringLiteral("最新值")));
        EXPECT_TRUE(pdfText(path(), 3).contains(QStringLiteral("S023")));
        EXPECT_FALSE(pdfText(path(), 2).contains(QStringLiteral("S023")));
    }
    // By type: 8 piezometers (plots of 6 and 2) and 2 strain gauges (one plot): two plot pages.
    // 40 events: 30 rows on the first list page, the column header and 10 rows on the second,
    // where the four empty sections (two rows each) fit as well; the versions (10 rows) too.
    {
        report::Content c = content(10);
        for (int i = 0; i < 8; ++i) {
            c.gauges[size_t(i)].info.type = QStringLiteral("渗压计");
            c.gauges[size_t(i)].unit = QStringLiteral("kPa");
        }
        for (size_t i = 8; i < 10; ++i)
            c.gauges[i].info.type = QStringLiteral("应变计");
        c.request.grouping = report::Grouping::PerType;
        for (int i = 0; i < 40; ++i) {
            archive::LevelEvent e;
            e.gauge = QStringLiteral("P001");
            e.utc = kFrom + i * 3600;
            e.to = 1;
            c.events.push_back(e);
        }
        const report::WriteResult r = report::writePdf(path(), c);
        ASSERT_TRUE(r.written) << r.reason.toStdString();
        EXPECT_EQ(listPages({40, 0, 0, 0, 10}), 2); // the second page: 11 + 4 x 2 + 12 rows of 32
        EXPECT_EQ(r.pages, 1 + 1 + 2 + listPages({40, 0, 0, 0, 10}));
        EXPECT_EQ(pdfPages(path()), r.pages);
        const QString text = pdfText(path());
        // The type's two plots numbered, the strain gauges' one not.
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("渗压计\\s+\\(1/2\\)"))));
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("渗压计\\s+\\(2/2\\)"))));
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("应变计\\s+\\(1/"))));
    }
}

// The fixture's site gathered from a real archive and written: the pages the rule gives.
struct Gathered {
    report::test::TempArchive archive;
    report::test::FixtureSite site;
    report::Content content;
};
Gathered gathered(int gauges, int days, report::Grouping grouping = report::Grouping::PerGauge)
{
    constexpr qint64 first = 1'793'836'800; // 2026-11-05 00:00 UTC
    Gathered g{report::test::openTempArchive(), {}, {}};
    g.site = report::test::fillSite(*g.archive.archive, QStringLiteral("一号坝"), gauges, days, first);
    report::Request request;
    request.site = g.site.site;
    request.period = {first, first + qint64(days) * kDay - 1};
    request.grouping = grouping;
    QString reason;
    const std::optional<report::Content> c =
        report::gather(*g.archive.archive, request, QDateTime::fromSecsSinceEpoch(request.period.toUtc + 3600, QTimeZone::utc()), {}, &reason);
    EXPECT_TRUE(c) << reason.toStdString();
    if (c)
        g.content = *c;
    return g;
}

int versionsUsed(const report::Content& c)
{
    int n = 0;
    for (const report::GaugeReport& g : c.gauges)
        n += int(g.versionsUsed.size());
    return n;
}

TEST_F(ReportPdfTest, TheFixturesFiveGaugesWithTheirNumbersOnTheirPages)
{
    const Gathered g = gathered(5, 30);
    const report::Content& c = g.content;
    ASSERT_EQ(c.gauges.size(), 5u);
    // P001 and S001 reach their levels (two events each), P002 and S002 have a flagged reading,
    // S002 is overdue; no piezometer P004 to carry the mask.
    EXPECT_EQ(c.events.size(), 4u);
    EXPECT_EQ(c.flagged.size(), 2u);
    EXPECT_EQ(c.masks.size(), 0u);
    ASSERT_EQ(c.overdue.size(), 1u);
    const report::WriteResult r = report::writePdf(path(), c);
    ASSERT_TRUE(r.written) << r.reason.toStdString();
    const int lists = listPages({int(c.events.size()), int(c.flagged.size()), int(c.masks.size()), int(c.overdue.size()), versionsUsed(c)});
    EXPECT_EQ(r.pages, 1 + 1 + 3 + lists);
    EXPECT_EQ(pdfPages(path()), r.pages);

    const QString text = pdfText(path());
    for (const report::GaugeReport& gauge : c.gauges) {
        SCOPED_TRACE(gauge.info.name.toStdString());
        EXPECT_TRUE(text.contains(gauge.info.name));
        for (double v : {gauge.latestValue, gauge.changeOverPeriod, gauge.changeSinceBaseline, gauge.ratePerDay, gauge.firstValue})
            EXPECT_TRUE(text.contains(report::Texts::number(v))) << report::Texts::number(v).toStdString();
        EXPECT_TRUE(text.contains(report::Texts::time(gauge.latestUtc)));
    }
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\n\\s*S002\\s+一号坝")))); // the overdue gauge's row
    for (const QString& readout : g.site.readouts)
        EXPECT_TRUE(text.contains(readout));
    EXPECT_TRUE(text.contains(QStringLiteral("第 %1 页，共 %1 页").arg(r.pages)));
}

TEST_F(ReportPdfTest, TwoHundredGaugesTakeThePagesTheRuleGives)
{
    for (const report::Grouping grouping : {report::Grouping::PerGauge, report::Grouping::PerType}) {
        const Gathered g = gathered(200, 8, grouping);
        const report::Content& c = g.content;
        ASSERT_EQ(c.gauges.size(), 200u);
        const report::WriteResult r = report::writePdf(path(), c);
        ASSERT_TRUE(r.written) << r.reason.toStdString();
        // Summary: 10 pages of 22 rows. Plots: 200 a gauge, 100 pages; or by type, 100 piezometers
        // and 100 strain gauges in 17 plots each (16 of 6 and one of 4), 17 pages.
        const int plotPages = grouping == report::Grouping::PerGauge ? 100 : 17;
        const int lists = listPages({int(c.events.size()), int(c.flagged.size()), int(c.masks.size()), int(c.overdue.size()), versionsUsed(c)});
        EXPECT_EQ(r.pages, 1 + 10 + plotPages + lists);
        EXPECT_EQ(pdfPages(path()), r.pages);
        EXPECT_TRUE(pdfText(path(), r.pages).contains(QStringLiteral("第 %1 页，共 %1 页").arg(r.pages)));
    }
}

TEST_F(ReportPdfTest, AnEnglishReportHasEnglishHeadings)
{
    const report::WriteResult r = report::writePdf(path(), content(2, QStringLiteral("en")));
    ASSERT_TRUE(r.written) << r.reason.toStdString();
    const QString text = pdfText(path());
    for (const char* heading : {"Summary of gauges", "Events and acknowledgements", "Quality flags", "Masked readings", "Overdue gauges",
                                "Calibration versions used", "Page 2 of 4", "Latest"})
        EXPECT_TRUE(text.contains(QLatin1String(heading))) << heading;
    EXPECT_FALSE(text.contains(QStringLiteral("测点汇总")));
    EXPECT_FALSE(text.contains(QStringLiteral("页")));
}

TEST_F(ReportPdfTest, ACancelLeavesNoFileAndAnEarlierFileAsItWas)
{
    const report::Content c = content(4);
    qint64 told = 0;
    const report::Progress stopAtTwo = [&](qint64 done, qint64 total) {
        EXPECT_EQ(total, 4);
        told = done;
        return done < 2;
    };
    report::WriteResult r = report::writePdf(path(), c, stopAtTwo);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(told, 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    const QByteArray old("%PDF-1.4 an earlier report\n");
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    r = report::writePdf(path(), c, stopAtTwo);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(bytesOf(path()), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("report.pdf")});

    // Told of every gauge when let go on, and the file replaced.
    std::vector<qint64> steps;
    r = report::writePdf(path(), c, [&](qint64 done, qint64) {
        steps.push_back(done);
        return true;
    });
    EXPECT_TRUE(r.written);
    EXPECT_EQ(steps, (std::vector<qint64>{1, 2, 3, 4}));
    EXPECT_TRUE(bytesOf(path()).startsWith("%PDF-"));
    EXPECT_NE(bytesOf(path()), old);
}

TEST_F(ReportPdfTest, AnUnwritablePathGivesAReason)
{
    const QString missing = dir.filePath(QStringLiteral("no such folder/report.pdf"));
    report::WriteResult r = report::writePdf(missing, content(1));
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.cancelled);
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(missing));

    // A folder where the file should be.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("report.pdf")));
    r = report::writePdf(path(), content(1));
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

} // namespace
