#include "app/ReportDialog.h"

#include "app/QtSaveProgress.h"
#include "archive/Archive.h"
#include "platform/FileDialogs.h"
#include "platform/Language.h"
#include "platform/Messenger.h"
#include "report/Ags4.h"
#include "report/LongCsv.h"
#include "report/ReportPdf.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

const QString ReportDialog::kChosen = QStringLiteral("\x01chosen");
const QString ReportDialog::kAll = QStringLiteral("\x01all");

namespace {

// The progress dialog's steps: gathering takes the first half, writing the second.
constexpr qint64 kSteps = 1000;

QDateEdit* dateEdit(QWidget* parent, const QString& format, const QString& name)
{
    auto* edit = new QDateEdit(QDate::currentDate(), parent);
    edit->setDisplayFormat(format);
    edit->setCalendarPopup(true);
    edit->setAccessibleName(name);
    return edit;
}

} // namespace

ReportDialog::ReportDialog(archive::Archive& archive, const Offer& offer, FileDialogs& dialogs, Messenger& messenger,
                           QSettings* settings, QWidget* parent)
    : QDialog(parent), m_archive(archive), m_dialogs(dialogs), m_messenger(messenger), m_settings(settings),
      m_chosenGauges(offer.chosenGauges)
{
    setWindowTitle(tr("生成报告"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    siteBox = new QComboBox(this);
    siteBox->setAccessibleName(tr("报告的测点"));
    for (const QString& site : offer.sites)
        siteBox->addItem(tr("工程：%1").arg(site), site);
    if (!m_chosenGauges.isEmpty())
        siteBox->addItem(tr("选中的测点（%1 个）").arg(m_chosenGauges.size()), kChosen);
    siteBox->addItem(tr("全部测点"), kAll);
    if (!m_chosenGauges.isEmpty())
        siteBox->setItemData(siteBox->findData(kChosen), m_chosenGauges.join(tr("、")), Qt::ToolTipRole);
    form->addRow(tr("测点："), siteBox);

    periodBox = new QComboBox(this);
    periodBox->addItems({tr("最近 7 天"), tr("最近 30 天"), tr("按月"), tr("自定义")});
    periodBox->setAccessibleName(tr("时间段"));
    form->addRow(tr("时间段："), periodBox);
    monthEdit = dateEdit(this, QStringLiteral("yyyy-MM"), tr("月份"));
    form->addRow(tr("月份："), monthEdit);
    auto* customRow = new QHBoxLayout;
    fromEdit = dateEdit(this, QStringLiteral("yyyy-MM-dd"), tr("开始日期"));
    toEdit = dateEdit(this, QStringLiteral("yyyy-MM-dd"), tr("结束日期"));
    customRow->addWidget(fromEdit);
    customRow->addWidget(new QLabel(tr("至"), this));
    customRow->addWidget(toEdit);
    customRow->addStretch(1);
    form->addRow(tr("自定义："), customRow);

    languageBox = new QComboBox(this);
    languageBox->addItem(QStringLiteral("中文"), Language::kChinese);
    languageBox->addItem(QStringLiteral("English"), Language::kEnglish);
    languageBox->setAccessibleName(tr("报告语言"));
    languageBox->setToolTip(tr("报告自身的语言，与窗口的语言无关"));
    form->addRow(tr("报告语言："), languageBox);

    groupingBox = new QComboBox(this);
    groupingBox->addItems({tr("每个测点一张趋势图"), tr("同类型的测点合为一张趋势图")});
    groupingBox->setAccessibleName(tr("趋势图"));
    groupingBox->setToolTip(tr("同类型的测点每张图最多 %1 个，更多的接续到下一张").arg(report::kMaxPerGroupPlot));
    form->addRow(tr("趋势图："), groupingBox);

    titleEdit = new QLineEdit(this);
    titleEdit->setAccessibleName(tr("标题"));
    form->addRow(tr("标题："), titleEdit);
    readerEdit = new QLineEdit(this);
    readerEdit->setAccessibleName(tr("编制人"));
    readerEdit->setToolTip(tr("读数并编制报告的人，写在报告的封面上"));
    form->addRow(tr("编制人："), readerEdit);
    remarksEdit = new QPlainTextEdit(this);
    remarksEdit->setAccessibleName(tr("备注"));
    remarksEdit->setTabChangesFocus(true);
    remarksEdit->setMaximumHeight(remarksEdit->fontMetrics().height() * 5);
    form->addRow(tr("备注："), remarksEdit);

    problemLabel = new QLabel(this);
    problemLabel->setWordWrap(true);
    problemLabel->setStyleSheet(QStringLiteral("QLabel { color: #b00020; }"));
    layout->addWidget(problemLabel);

    auto* buttons = new QHBoxLayout;
    generateButton = new QPushButton(tr("生成…"), this);
    generateButton->setToolTip(tr("选择文件（PDF 报告、AGS4 或长表 CSV）并写入报告"));
    closeButton = new QPushButton(tr("关闭"), this);
    buttons->addStretch(1);
    buttons->addWidget(generateButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    generateButton->setDefault(true);

    m_ownProgress = std::make_unique<QtSaveProgress>(this, tr("生成报告"), tr("正在生成 %1 …"));
    progress = m_ownProgress.get();

    ReportChoice start = m_settings ? ReportChoice::remembered(*m_settings, archive::pcUser()) : ReportChoice{};
    if (!m_settings)
        start.reader = archive::pcUser();
    start.scope = ReportChoice::Scope::Site;
    start.site = offer.currentSite;
    if (!offer.sites.contains(start.site))
        start.site = offer.sites.value(0);
    if (start.site.isEmpty())
        start.scope = m_chosenGauges.isEmpty() ? ReportChoice::Scope::All : ReportChoice::Scope::Chosen;
    start.gauges = m_chosenGauges;
    setChoice(start);

    for (QComboBox* box : {siteBox, periodBox, languageBox, groupingBox})
        connect(box, &QComboBox::currentIndexChanged, this, &ReportDialog::updateState);
    for (QDateEdit* edit : {monthEdit, fromEdit, toEdit})
        connect(edit, &QDateEdit::dateChanged, this, &ReportDialog::updateState);
    connect(generateButton, &QPushButton::clicked, this, &ReportDialog::generate);
    connect(closeButton, &QPushButton::clicked, this, &ReportDialog::reject);
    updateState();
    resize(520, sizeHint().height());
}

ReportDialog::~ReportDialog() = default;

ReportChoice ReportDialog::choice() const
{
    ReportChoice c;
    const QString site = siteBox->currentData().toString();
    c.scope = site == kChosen ? ReportChoice::Scope::Chosen
            : site == kAll    ? ReportChoice::Scope::All
                              : ReportChoice::Scope::Site;
    if (c.scope == ReportChoice::Scope::Site)
        c.site = site;
    c.gauges = m_chosenGauges;
    c.period = report::PeriodKind(std::max(0, periodBox->currentIndex()));
    c.month = monthEdit->date();
    c.from = fromEdit->date();
    c.to = toEdit->date();
    c.language = languageBox->currentData().toString();
    c.title = titleEdit->text();
    c.reader = readerEdit->text();
    c.remarks = remarksEdit->toPlainText();
    c.grouping = report::Grouping(std::max(0, groupingBox->currentIndex()));
    c.format = m_format;
    return c;
}

void ReportDialog::setChoice(const ReportChoice& c)
{
    const QString data = c.scope == ReportChoice::Scope::Chosen ? kChosen
                       : c.scope == ReportChoice::Scope::All    ? kAll
                                                                : c.site;
    siteBox->setCurrentIndex(std::max(0, siteBox->findData(data)));
    periodBox->setCurrentIndex(int(c.period));
    const QDate today = QDate::currentDate();
    monthEdit->setDate(c.month.isValid() ? c.month : today);
    fromEdit->setDate(c.from.isValid() ? c.from : today.addDays(-30));
    toEdit->setDate(c.to.isValid() ? c.to : today);
    languageBox->setCurrentIndex(std::max(0, languageBox->findData(Language::normalised(c.language))));
    titleEdit->setText(c.title);
    readerEdit->setText(c.reader);
    remarksEdit->setPlainText(c.remarks);
    groupingBox->setCurrentIndex(int(c.grouping));
    m_format = c.format;
    updateState();
}

void ReportDialog::updateState()
{
    const auto kind = report::PeriodKind(std::max(0, periodBox->currentIndex()));
    monthEdit->setEnabled(kind == report::PeriodKind::Month);
    fromEdit->setEnabled(kind == report::PeriodKind::Custom);
    toEdit->setEnabled(kind == report::PeriodKind::Custom);
    titleEdit->setPlaceholderText(languageBox->currentData().toString() == Language::kEnglish
                                      ? QStringLiteral("Monitoring report")
                                      : QStringLiteral("监测报告"));
    QString why;
    const bool ready = choice().request(clock ? clock() : QDateTime::currentDateTime(), &why).has_value();
    problemLabel->setText(why);
    problemLabel->setVisible(!why.isEmpty());
    generateButton->setEnabled(ready && !m_running);
}

QString ReportDialog::proposedName(const ReportChoice& c) const
{
    QString who = c.scope == ReportChoice::Scope::Site   ? c.site
                : c.scope == ReportChoice::Scope::Chosen ? (c.gauges.size() == 1 ? c.gauges.first() : tr("选中的测点"))
                                                         : tr("全部测点");
    QString when;
    if (c.period == report::PeriodKind::Month && c.month.isValid())
        when = c.month.toString(QStringLiteral("yyyy-MM"));
    else if (c.period == report::PeriodKind::Custom && c.from.isValid() && c.to.isValid())
        when = c.from.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('-') + c.to.toString(QStringLiteral("yyyyMMdd"));
    else
        when = (clock ? clock() : QDateTime::currentDateTime()).date().toString(QStringLiteral("yyyy-MM-dd"));
    // A site's name may hold what a file name cannot.
    for (QChar& ch : who)
        if (QStringLiteral("\\/:*?\"<>|").contains(ch) || ch.unicode() < 0x20)
            ch = QLatin1Char('_');
    return tr("监测报告_%1_%2").arg(who.trimmed(), when) + reportSuffix(c.format);
}

bool ReportDialog::generate()
{
    if (m_running)
        return false; // a second click while one is being written
    const QDateTime now = clock ? clock() : QDateTime::currentDateTime();
    ReportChoice c = choice();
    QString why;
    const std::optional<report::Request> request = c.request(now, &why);
    if (!request) {
        m_messenger.information(why);
        return false;
    }
    m_running = true;
    m_stop = false;
    generateButton->setEnabled(false);
    // Ends a generation that wrote nothing before it began.
    const auto done = [this] {
        m_running = false;
        updateState();
        if (m_closeWhenDone)
            QDialog::reject();
    };
    const std::optional<QString> path = m_dialogs.saveFileName(reportFilters(), proposedName(c));
    if (!path || path->isEmpty()) {
        done();
        return false;
    }
    const std::optional<ReportFormat> format = reportFormatOf(*path);
    if (!format) {
        m_messenger.information(tr("报告只能写为 .pdf、.ags 或 .csv 文件：%1").arg(QDir::toNativeSeparators(*path)));
        done();
        return false;
    }
    c.format = *format;
    m_format = *format;
    if (m_settings)
        c.remember(*m_settings);

    // Gathering and writing run here on the window's thread (the PDF's plots are widgets);
    // each step they report lets the window's events through, the cancel among them.
    const auto stepsFrom = [this](qint64 base) -> report::Progress {
        return [this, base](qint64 part, qint64 total) {
            const qint64 half = kSteps / 2;
            progress->advance(base + (total > 0 ? std::min(part, total) * half / total : 0));
            QCoreApplication::processEvents();
            return !m_stop && !progress->cancelRequested();
        };
    };
    progress->start(*path, kSteps);
    QString reason;
    report::WriteResult result;
    const std::optional<report::Content> content = report::gather(m_archive, *request, now, stepsFrom(0), &reason);
    if (!content) {
        result.cancelled = reason.isEmpty();
        result.reason = reason;
    } else if (m_stop || progress->cancelRequested()) {
        result.cancelled = true;
    } else {
        switch (*format) {
        case ReportFormat::Pdf:
            result = report::writePdf(*path, *content, stepsFrom(kSteps / 2));
            break;
        case ReportFormat::Ags4:
            result = report::writeAgs4(*path, *content, stepsFrom(kSteps / 2));
            break;
        case ReportFormat::LongCsv:
            result = report::writeLongCsv(*path, *content, stepsFrom(kSteps / 2));
            break;
        }
    }
    progress->finish();

    m_running = false;
    updateState();
    const QString shown = QDir::toNativeSeparators(*path);
    QString text;
    if (result.written) {
        m_written = *path;
        text = result.pages > 0 ? tr("报告已写入 %1（%2 页）").arg(shown).arg(result.pages)
                                : tr("报告已写入 %1").arg(shown);
        emit written(text);
    } else if (result.cancelled) {
        text = tr("报告已取消，没有写入文件。");
    } else {
        text = tr("报告未能生成：%1").arg(result.reason.isEmpty() ? tr("原因不明") : result.reason);
    }
    if (m_closeWhenDone) {
        QDialog::reject(); // closed meanwhile: no message over a window that has gone
        return result.written;
    }
    m_messenger.information(text);
    if (result.written)
        accept();
    return result.written;
}

void ReportDialog::cancelAndClose()
{
    if (!m_running) {
        QDialog::reject();
        return;
    }
    m_stop = true;
    m_closeWhenDone = true;
}

void ReportDialog::reject() { cancelAndClose(); }

void ReportDialog::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        // The dialog goes once the report being written has stopped.
        event->ignore();
        cancelAndClose();
        return;
    }
    QDialog::closeEvent(event);
}
