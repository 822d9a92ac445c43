// The report dialog: the operator's choices become the report's request (each kind of period,
// a site or the gauges chosen in the history tab, the language, the plots), the file's suffix
// picks the writer, the choices come back next time; generating writes a PDF from a filled
// archive, and a cancel (from the progress, or by closing) leaves an earlier file as it was.
#include "app/ReportDialog.h"

#include "app/Form1.h"
#include "app/HistoryView.h"
#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "export/Automation.h"
#include "tests/report/Poppler.h"
#include "tests/report/ReportFixture.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/Modal.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/ScriptedProgress.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTreeWidget>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>

using namespace archive;

using report::test::pdfFonts;
using report::test::pdfPages;
using report::test::pdfText;

namespace {

// The PC's clock in China for the periods' instants, put back afterwards.
class ShanghaiClock {
public:
    ShanghaiClock() : m_before(qgetenv("TZ"))
    {
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }
    ~ShanghaiClock()
    {
        if (m_before.isEmpty())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_before);
        tzset();
    }

private:
    QByteArray m_before;
};

qint64 utcOf(const char* iso) { return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch(); }

} // namespace

TEST(ReportChoice, EachKindOfPeriodGivesItsInstants)
{
    ShanghaiClock clock;
    // 2026-12-10 14:00 in Shanghai.
    const QDateTime now = QDateTime::fromSecsSinceEpoch(utcOf("2026-12-10T06:00:00Z"), QTimeZone::utc());
    ReportChoice c;
    c.scope = ReportChoice::Scope::Site;
    c.site = "大坝";

    c.period = report::PeriodKind::Last7Days;
    std::optional<report::Request> r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->period.toUtc, now.toSecsSinceEpoch());
    EXPECT_EQ(r->period.fromUtc, now.toSecsSinceEpoch() - 7 * 86400);

    c.period = report::PeriodKind::Last30Days;
    r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->period.toUtc, now.toSecsSinceEpoch());
    EXPECT_EQ(r->period.fromUtc, now.toSecsSinceEpoch() - 30 * 86400);

    // November in Shanghai: from its first midnight (16:00 UTC the day before) to the last
    // second of the 30th; any day of the month names it.
    c.period = report::PeriodKind::Month;
    c.month = QDate(2026, 11, 17);
    r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->period.fromUtc, utcOf("2026-10-31T16:00:00Z"));
    EXPECT_EQ(r->period.toUtc, utcOf("2026-11-30T15:59:59Z"));

    // Custom days, both whole: the 1st to the 3rd of November.
    c.period = report::PeriodKind::Custom;
    c.from = QDate(2026, 11, 1);
    c.to = QDate(2026, 11, 3);
    r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->period.fromUtc, utcOf("2026-10-31T16:00:00Z"));
    EXPECT_EQ(r->period.toUtc, utcOf("2026-11-03T15:59:59Z"));
    // One day: from == to is a day long.
    c.to = c.from;
    r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->period.toUtc - r->period.fromUtc, 86400 - 1);

    // A `to` before `from` is refused, with the operator's reason.
    c.to = QDate(2026, 10, 31);
    QString why;
    EXPECT_FALSE(c.request(now, &why));
    EXPECT_EQ(why, "结束日期早于开始日期。");
}

TEST(ReportChoice, TheSiteOrTheChosenGaugesOrAll)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ReportChoice c;
    c.site = "大坝";
    c.gauges = {"P1", "P2"};
    c.scope = ReportChoice::Scope::Site;
    std::optional<report::Request> r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->site, "大坝");
    EXPECT_TRUE(r->gauges.isEmpty()); // the site's gauges, not those chosen beside it

    c.scope = ReportChoice::Scope::Chosen;
    r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->site.isEmpty());
    EXPECT_EQ(r->gauges, QStringList({"P1", "P2"}));

    c.scope = ReportChoice::Scope::All;
    r = c.request(now);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->site.isEmpty());
    EXPECT_TRUE(r->gauges.isEmpty());

    // Nothing to report: no site, or no gauges chosen.
    QString why;
    c.scope = ReportChoice::Scope::Site;
    c.site = "  ";
    EXPECT_FALSE(c.request(now, &why));
    EXPECT_EQ(why, "请选择工程。");
    c.scope = ReportChoice::Scope::Chosen;
    c.gauges.clear();
    EXPECT_FALSE(c.request(now, &why));
    EXPECT_TRUE(why.startsWith("历史数据中没有选中的测点")) << why.toStdString();
}

TEST(ReportChoice, LanguageTextsAndGroupingPassThrough)
{
    ReportChoice c;
    c.scope = ReportChoice::Scope::All;
    c.title = "  11 月监测月报 ";
    c.reader = " 张工 ";
    c.remarks = "第 3 测区施工\n";
    c.grouping = report::Grouping::PerType;
    c.language = "en_GB"; // as the settings may hold it
    std::optional<report::Request> r = c.request(QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->language, "en");
    EXPECT_EQ(r->title, "11 月监测月报");
    EXPECT_EQ(r->reader, "张工");
    EXPECT_EQ(r->remarks, "第 3 测区施工");
    EXPECT_EQ(r->grouping, report::Grouping::PerType);
    // A language the report does not speak: Chinese.
    c.language = "fr";
    EXPECT_EQ(c.request(QDateTime::currentDateTimeUtc())->language, "zh_CN");
}

TEST(ReportChoice, TheSuffixPicksTheFormat)
{
    EXPECT_EQ(reportFormatOf("/tmp/a/报告.pdf"), ReportFormat::Pdf);
    EXPECT_EQ(reportFormatOf("/tmp/a/报告.PDF"), ReportFormat::Pdf);
    EXPECT_EQ(reportFormatOf("C:/x/report.ags"), ReportFormat::Ags4);
    EXPECT_EQ(reportFormatOf("report.Csv"), ReportFormat::LongCsv);
    EXPECT_EQ(reportFormatOf("report.pdf.txt"), std::nullopt);
    EXPECT_EQ(reportFormatOf("report"), std::nullopt);
    EXPECT_EQ(reportFilters(), "PDF 报告|*.pdf|AGS4|*.ags|长表 CSV|*.csv");
}

TEST(ReportChoice, TheChoicesAreRememberedButNotTheRemarks)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath("window.ini"), QSettings::IniFormat);
    // Nothing remembered: the last 30 days, Chinese, a plot per gauge, the PC's user.
    ReportChoice fresh = ReportChoice::remembered(settings, "operator");
    EXPECT_EQ(fresh.period, report::PeriodKind::Last30Days);
    EXPECT_EQ(fresh.language, "zh_CN");
    EXPECT_EQ(fresh.grouping, report::Grouping::PerGauge);
    EXPECT_EQ(fresh.reader, "operator");
    EXPECT_EQ(fresh.format, ReportFormat::Pdf);

    ReportChoice c;
    c.period = report::PeriodKind::Custom;
    c.from = QDate(2026, 11, 1);
    c.to = QDate(2026, 11, 30);
    c.month = QDate(2026, 10, 1);
    c.language = "en";
    c.title = "Dam monthly";
    c.reader = "李四";
    c.remarks = "only this once";
    c.grouping = report::Grouping::PerType;
    c.format = ReportFormat::Ags4;
    c.remember(settings);
    const ReportChoice back = ReportChoice::remembered(settings, "operator");
    EXPECT_EQ(back.period, report::PeriodKind::Custom);
    EXPECT_EQ(back.from, QDate(2026, 11, 1));
    EXPECT_EQ(back.to, QDate(2026, 11, 30));
    EXPECT_EQ(back.month, QDate(2026, 10, 1));
    EXPECT_EQ(back.language, "en");
    EXPECT_EQ(back.title, "Dam monthly");
    EXPECT_EQ(back.reader, "李四");
    EXPECT_TRUE(back.remarks.isEmpty());
    EXPECT_EQ(back.grouping, report::Grouping::PerType);
    EXPECT_EQ(back.format, ReportFormat::Ags4);

    // A reader cleared on purpose stays cleared (the report then names the PC's user itself).
    c.reader.clear();
    c.remember(settings);
    EXPECT_TRUE(ReportChoice::remembered(settings, "operator").reader.isEmpty());
}

namespace {

// A dialog over an empty archive, offering two sites and two chosen gauges.
class ReportDialogChoices : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Error error;
        archive = Archive::open(dir.filePath("archive.sqlite"), nullptr, &error);
        ASSERT_TRUE(archive) << error.detail.toStdString();
        settings = std::make_unique<QSettings>(dir.filePath("window.ini"), QSettings::IniFormat);
    }
    std::unique_ptr<ReportDialog> dialogOf(const ReportDialog::Offer& offer)
    {
        auto d = std::make_unique<ReportDialog>(*archive, offer, dialogs, messenger, settings.get());
        d->progress = &progress;
        return d;
    }

    QTemporaryDir dir;
    std::unique_ptr<Archive> archive;
    std::unique_ptr<QSettings> settings;
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
    ScriptedProgress progress;
};

} // namespace

TEST_F(ReportDialogChoices, TheWidgetsMakeTheRequest)
{
    ShanghaiClock zone;
    auto d = dialogOf({{"大坝", "隧洞"}, "隧洞", {"P1", "P3"}});
    d->clock = [] { return QDateTime::fromSecsSinceEpoch(utcOf("2026-12-10T06:00:00Z"), QTimeZone::utc()); };
    // The tab's site is chosen; nothing remembered: the last 30 days, Chinese, a plot per gauge.
    ReportChoice c = d->choice();
    EXPECT_EQ(c.scope, ReportChoice::Scope::Site);
    EXPECT_EQ(c.site, "隧洞");
    EXPECT_EQ(d->siteBox->currentText(), "工程：隧洞");
    EXPECT_EQ(c.period, report::PeriodKind::Last30Days);
    EXPECT_EQ(d->languageBox->currentText(), "中文");
    EXPECT_EQ(c.reader, archive::pcUser());
    EXPECT_TRUE(d->generateButton->isEnabled());
    EXPECT_FALSE(d->monthEdit->isEnabled());

    // The gauges chosen in the tab, a month, English, a plot per type.
    d->siteBox->setCurrentIndex(d->siteBox->findData(ReportDialog::kChosen));
    EXPECT_EQ(d->siteBox->currentText(), "选中的测点（2 个）");
    d->periodBox->setCurrentIndex(int(report::PeriodKind::Month));
    EXPECT_TRUE(d->monthEdit->isEnabled());
    EXPECT_FALSE(d->fromEdit->isEnabled());
    d->monthEdit->setDate(QDate(2026, 2, 1));
    d->languageBox->setCurrentIndex(d->languageBox->findData("en"));
    EXPECT_EQ(d->titleEdit->placeholderText(), "Monitoring report");
    d->groupingBox->setCurrentIndex(int(report::Grouping::PerType));
    d->titleEdit->setText("February");
    d->readerEdit->setText("Wang");
    d->remarksEdit->setPlainText("pump test on the 12th");
    std::optional<report::Request> r = d->choice().request(d->clock());
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->site.isEmpty());
    EXPECT_EQ(r->gauges, QStringList({"P1", "P3"}));
    EXPECT_EQ(r->period.fromUtc, utcOf("2026-01-31T16:00:00Z"));
    EXPECT_EQ(r->period.toUtc, utcOf("2026-02-28T15:59:59Z"));
    EXPECT_EQ(r->language, "en");
    EXPECT_EQ(r->grouping, report::Grouping::PerType);
    EXPECT_EQ(r->title, "February");
    EXPECT_EQ(r->reader, "Wang");
    EXPECT_EQ(r->remarks, "pump test on the 12th");

    // Every gauge of the archive.
    d->siteBox->setCurrentIndex(d->siteBox->findData(ReportDialog::kAll));
    r = d->choice().request(d->clock());
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->site.isEmpty());
    EXPECT_TRUE(r->gauges.isEmpty());

    // Custom days that end before they begin: said in the dialog, and 生成… cannot be pressed.
    d->periodBox->setCurrentIndex(int(report::PeriodKind::Custom));
    d->fromEdit->setDate(QDate(2026, 11, 5));
    d->toEdit->setDate(QDate(2026, 11, 4));
    EXPECT_FALSE(d->generateButton->isEnabled());
    EXPECT_EQ(d->problemLabel->text(), "结束日期早于开始日期。");
    d->toEdit->setDate(QDate(2026, 11, 5));
    EXPECT_TRUE(d->generateButton->isEnabled());
    EXPECT_TRUE(d->problemLabel->text().isEmpty());
}

TEST_F(ReportDialogChoices, WithoutChosenGaugesOrSitesTheOffersNarrow)
{
    // No gauges chosen: no 选中的测点 entry; a current site the archive does not have gives the first.
    auto d = dialogOf({{"大坝", "隧洞"}, "（未归属工程）", {}});
    EXPECT_EQ(d->siteBox->findData(ReportDialog::kChosen), -1);
    EXPECT_EQ(d->choice().site, "大坝");
    // No sites at all: the chosen gauges, else every gauge.
    auto chosen = dialogOf({{}, "", {"X1"}});
    EXPECT_EQ(chosen->choice().scope, ReportChoice::Scope::Chosen);
    auto all = dialogOf({{}, "", {}});
    EXPECT_EQ(all->choice().scope, ReportChoice::Scope::All);
}

TEST_F(ReportDialogChoices, ACancelledFileDialogOrAnUnknownSuffixWritesNothing)
{
    auto d = dialogOf({{"大坝"}, "大坝", {}});
    dialogs.answers = {std::nullopt};
    EXPECT_FALSE(d->generate());
    EXPECT_EQ(dialogs.filters, QStringList({reportFilters()}));
    EXPECT_TRUE(dialogs.proposals.value(0).startsWith("监测报告_大坝_")) << dialogs.proposals.value(0).toStdString();
    EXPECT_TRUE(dialogs.proposals.value(0).endsWith(".pdf"));
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(progress.startedWith, -1);
    EXPECT_TRUE(d->generateButton->isEnabled());

    const QString txt = dir.filePath("report.txt");
    dialogs.answers = {txt};
    EXPECT_FALSE(d->generate());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith("报告只能写为 .pdf、.ags 或 .csv 文件")) << messenger.messages[0].toStdString();
    EXPECT_FALSE(QFile::exists(txt));
    EXPECT_EQ(progress.startedWith, -1);
}

namespace {

// A site of four gauges read daily for ten days in November 2026, and a dialog over it that
// reports 1 to 15 November.
class ReportDialogWrites : public ::testing::Test {
protected:
    void SetUp() override
    {
        temp = report::test::openTempArchive();
        ASSERT_TRUE(temp.archive);
        made = report::test::fillSite(*temp.archive, "大坝", 4, 10, utcOf("2026-11-01T00:00:00Z"));
        settings = std::make_unique<QSettings>(temp.dir->filePath("window.ini"), QSettings::IniFormat);
        dialog = dialogOf({{"大坝"}, "大坝", {}});
        pdf = temp.dir->filePath("大坝 11 月.pdf");
    }
    std::unique_ptr<ReportDialog> dialogOf(const ReportDialog::Offer& offer)
    {
        auto d = std::make_unique<ReportDialog>(*temp.archive, offer, dialogs, messenger, settings.get());
        d->progress = &progress;
        d->periodBox->setCurrentIndex(int(report::PeriodKind::Custom));
        d->fromEdit->setDate(QDate(2026, 11, 1));
        d->toEdit->setDate(QDate(2026, 11, 15));
        return d;
    }

    report::test::TempArchive temp;
    report::test::FixtureSite made;
    std::unique_ptr<QSettings> settings;
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
    ScriptedProgress progress;
    std::unique_ptr<ReportDialog> dialog;
    QString pdf;
};

} // namespace

TEST_F(ReportDialogWrites, GeneratingWritesAPdfAndTheReaderComesBack)
{
    dialog->titleEdit->setText("大坝十一月月报");
    dialog->readerEdit->setText("张工");
    dialogs.answers = {pdf};
    dialog->generateButton->click();
    EXPECT_EQ(dialogs.filters, QStringList({reportFilters()}));
    EXPECT_EQ(dialogs.proposals.value(0), "监测报告_大坝_20261101-20261115.pdf");
    const int pages = pdfPages(pdf);
    EXPECT_GT(pages, 0);
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0], QString("报告已写入 %1（%2 页）").arg(QDir::toNativeSeparators(pdf)).arg(pages));
    EXPECT_EQ(dialog->writtenPath(), pdf);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    // The progress went from the gathering into the writing, never back, never past its end.
    EXPECT_EQ(progress.startedWith, 1000);
    EXPECT_TRUE(progress.finished);
    ASSERT_FALSE(progress.advances.isEmpty());
    EXPECT_TRUE(std::is_sorted(progress.advances.begin(), progress.advances.end()));
    EXPECT_LE(progress.advances.last(), 1000);
    EXPECT_GT(progress.advances.last(), 500);
    // What was typed is in the report.
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("大坝十一月月报"));
    EXPECT_TRUE(text.contains("张工"));

    // Next time: the reader, the period and the title are there again; the file is proposed
    // as a PDF again.
    auto next = std::make_unique<ReportDialog>(*temp.archive, ReportDialog::Offer{{"大坝"}, "大坝", {}}, dialogs,
                                               messenger, settings.get());
    EXPECT_EQ(next->readerEdit->text(), "张工");
    EXPECT_EQ(next->titleEdit->text(), "大坝十一月月报");
    EXPECT_EQ(next->choice().period, report::PeriodKind::Custom);
    EXPECT_EQ(next->fromEdit->date(), QDate(2026, 11, 1));
    EXPECT_EQ(next->toEdit->date(), QDate(2026, 11, 15));
    EXPECT_TRUE(next->remarksEdit->toPlainText().isEmpty());
}

TEST_F(ReportDialogWrites, ACancelFromTheProgressLeavesTheOldFileAsItWas)
{
    const QByteArray old = "%PDF-1.4 the report of October\n";
    {
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    // Cancelled at once, while gathering.
    progress.cancel = true;
    dialogs.answers = {pdf};
    EXPECT_FALSE(dialog->generate());
    EXPECT_EQ(testing_files::bytesOf(pdf), old);
    EXPECT_EQ(messenger.messages, QStringList({"报告已取消，没有写入文件。"}));
    EXPECT_TRUE(progress.finished);
    EXPECT_TRUE(dialog->generateButton->isEnabled());

    // Cancelled in the middle of the writing.
    progress = ScriptedProgress{};
    progress.during = [this] {
        if (progress.advances.last() > 500)
            progress.cancel = true;
    };
    messenger.messages.clear();
    dialogs.answers = {pdf};
    EXPECT_FALSE(dialog->generate());
    EXPECT_EQ(testing_files::bytesOf(pdf), old);
    EXPECT_EQ(messenger.messages, QStringList({"报告已取消，没有写入文件。"}));
    EXPECT_EQ(QDir(temp.dir->path()).entryList({"*.pdf*"}, QDir::Files), QStringList({QFileInfo(pdf).fileName()}));
}

TEST_F(ReportDialogWrites, ASecondClickWhileOneIsWrittenStartsNothing)
{
    int attempts = 0;
    bool second = true;
    progress.during = [&] {
        if (attempts++ == 0) {
            dialog->generateButton->click();
            second = dialog->generate();
        }
    };
    dialogs.answers = {pdf, temp.dir->filePath("second.pdf")};
    EXPECT_TRUE(dialog->generate());
    EXPECT_FALSE(second);
    EXPECT_EQ(dialogs.proposals.size(), 1); // the file was asked for once
    EXPECT_GT(pdfPages(pdf), 0);
    EXPECT_FALSE(QFile::exists(temp.dir->filePath("second.pdf")));
    EXPECT_EQ(messenger.messages.size(), 1);
}

TEST_F(ReportDialogWrites, ClosingTheDialogWhileWritingCancelsIt)
{
    dialog->show();
    progress.during = [this] {
        if (dialog->isVisible())
            dialog->close();
    };
    dialogs.answers = {pdf};
    EXPECT_FALSE(dialog->generate());
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(messenger.messages.isEmpty()); // nothing to say over a dialog that has gone
}

TEST_F(ReportDialogWrites, TheHistoryTabOffersItsSiteAndChosenGauges)
{
    temp.archive.reset(); // the tab's recorder opens the archive itself
    Recorder recorder(temp.path);
    ASSERT_TRUE(recorder.archive()) << recorder.failure().toStdString();
    HistoryView view(recorder, dialogs, messenger);
    view.setSettings(settings.get());
    view.refresh();
    ASSERT_GE(made.gauges.size(), 2);
    QTreeWidgetItem* first = view.gaugeItem(made.gauges[0]);
    QTreeWidgetItem* second = view.gaugeItem(made.gauges[1]);
    ASSERT_TRUE(first && second);
    view.components->setCurrentItem(first);
    first->setSelected(true);
    second->setSelected(true);
    EXPECT_EQ(view.currentSite(), "大坝");

    QString site;
    QStringList offered;
    const QString csv = temp.dir->filePath("readings.csv");
    whenModalOpens<ReportDialog>([&](ReportDialog& d) {
        site = d.siteBox->currentText();
        d.siteBox->setCurrentIndex(d.siteBox->findData(ReportDialog::kChosen));
        offered = d.choice().gauges;
        d.progress = &progress;
        dialogs.answers = {csv};
        d.generateButton->click(); // written: the dialog closes
    });
    QString written;
    QObject::connect(&view, &HistoryView::reportWritten, [&](const QString& text) { written = text; });
    view.reportButton->click();
    EXPECT_EQ(site, "工程：大坝");
    EXPECT_EQ(offered, (QStringList{made.gauges[0], made.gauges[1]}));
    EXPECT_TRUE(QFile::exists(csv));
    EXPECT_EQ(written, QString("报告已写入 %1").arg(QDir::toNativeSeparators(csv)));
    EXPECT_EQ(view.note->text(), written);
    EXPECT_EQ(view.reportDialog(), nullptr);
}

TEST_F(ReportDialogWrites, ClosingTheWindowWhileWritingCancelsItAndThenCloses)
{
    temp.archive.reset();
    Recorder recorder(temp.path);
    FakeSerialLink link;
    sheets::Servers servers;
    Form1 window{Form1Services{link, messenger, [] { return std::make_unique<FixedPorts>(QList<QByteArray>{}); },
                               testing_qt::fastTiming(), dialogs, servers, QString(), &recorder, settings.get()}};
    window.show();
    ASSERT_TRUE(testing_qt::waitFor([&] { return window.history->gaugeItem(made.gauges[0]) != nullptr; }, 20000));
    window.history->components->setCurrentItem(window.history->gaugeItem(made.gauges[0]));
    bool opened = false;
    whenModalOpens<ReportDialog>([&](ReportDialog& d) {
        opened = true;
        d.progress = &progress;
        d.periodBox->setCurrentIndex(int(report::PeriodKind::Custom));
        d.fromEdit->setDate(QDate(2026, 11, 1));
        d.toEdit->setDate(QDate(2026, 11, 15));
        progress.during = [&] {
            if (window.isVisible())
                window.close();
        };
        dialogs.answers = {pdf};
        d.generateButton->click();
    });
    window.history->reportButton->click();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(testing_qt::waitFor([&] { return !window.isVisible(); }));
    EXPECT_TRUE(messenger.messages.isEmpty());
}
