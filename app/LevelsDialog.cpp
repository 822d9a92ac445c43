#include "app/LevelsDialog.h"

#include "app/EventLists.h"
#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "platform/Messenger.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeZone>
#include <QVBoxLayout>

using namespace archive;

namespace {

QString localText(const QDateTime& t) { return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

QString localText(qint64 utc) { return localText(QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc())); }

QDateTime localOf(qint64 utc) { return QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()).toLocalTime(); }

QDoubleSpinBox* numberBox(QWidget* parent, double low, double high, int decimals)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setAccelerated(true);
    return box;
}

QDateTimeEdit* timeEdit(QWidget* parent)
{
    auto* edit = new QDateTimeEdit(QDateTime::currentDateTime(), parent);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    edit->setCalendarPopup(true);
    return edit;
}

} // namespace

LevelsDialog::LevelsDialog(Archive& archive, const QString& gauge, Messenger& messenger, QWidget* parent)
    : QDialog(parent), m_archive(archive), m_messenger(messenger), m_gauge(gauge)
{
    setWindowTitle(tr("触发值：%1").arg(gauge));
    setSizeGripEnabled(true);
    Error error;
    m_register = m_archive.gaugeRegister(&error);
    const GaugeInfo* info = nullptr;
    for (const GaugeInfo& g : m_register)
        if (g.name == gauge)
            info = &g;
    m_unit = info ? info->unit : QString();
    // The levels compare values in the calibration's unit, or readings in Hz without one.
    if (m_archive.calibrationVersions(gauge).empty())
        m_unit = QStringLiteral("Hz");
    else if (const auto c = m_archive.calibration(gauge); c && !c->unit.isEmpty())
        m_unit = c->unit;

    auto* layout = new QVBoxLayout(this);
    QStringList about;
    if (info && !info->type.isEmpty())
        about << info->type;
    if (info && !info->site.isEmpty())
        about << tr("工程 %1").arg(info->site);
    if (!m_unit.isEmpty())
        about << tr("单位 %1").arg(m_unit);
    auto* title = new QLabel(about.isEmpty() ? tr("测点 %1").arg(gauge) : tr("测点 %1（%2）").arg(gauge, about.join(tr("，"))), this);
    layout->addWidget(title);

    // The ranks' names, shared by both sides.
    auto* namesBox = new QGroupBox(tr("等级名称"), this);
    auto* names = new QHBoxLayout(namesBox);
    for (int r = 0; r < kMaxRank; ++r) {
        rankNames[std::size_t(r)] = new QLineEdit(defaultRankNames()[r], namesBox);
        rankNames[std::size_t(r)]->setAccessibleName(tr("等级 %1 的名称").arg(r + 1));
        names->addWidget(new QLabel(tr("等级 %1：").arg(r + 1), namesBox));
        names->addWidget(rankNames[std::size_t(r)]);
    }
    layout->addWidget(namesBox);

    auto* levelsBox = new QGroupBox(tr("触发值"), this);
    auto* grid = new QGridLayout(levelsBox);
    const QStringList heads{tr("级别"), tr("启用"), tr("比较量"), tr("阈值"), tr("窗口（天）"), tr("连续次数"), tr("回差")};
    for (int c = 0; c < heads.size(); ++c)
        grid->addWidget(new QLabel(heads[c], levelsBox), 0, c);
    for (int i = 0; i < LevelsForm::kRows; ++i) {
        LevelRow& row = levels[std::size_t(i)];
        row.name = new QLabel(levelsBox);
        row.used = new QCheckBox(levelsBox);
        row.quantity = new QComboBox(levelsBox);
        row.quantity->addItems({tr("数值"), tr("累计变化"), tr("变化速率")});
        row.quantity->setToolTip(tr("数值：读数的工程值；累计变化：与基准读数之差；变化速率：窗口天数内每天的变化"));
        row.threshold = numberBox(levelsBox, -1e9, 1e9, 3);
        row.window = numberBox(levelsBox, 0.01, 3650, 2);
        row.window->setValue(1);
        row.confirm = new QSpinBox(levelsBox);
        row.confirm->setRange(1, 1000);
        row.confirm->setToolTip(tr("连续这么多次读数超过阈值才算达到"));
        row.deadBand = numberBox(levelsBox, 0, 1e9, 3);
        row.deadBand->setToolTip(tr("达到后，读数回到阈值以内超过回差才解除"));
        const QString where = i < kMaxRank ? tr("上限 %1").arg(i + 1) : tr("下限 %1").arg(i - kMaxRank + 1);
        row.used->setAccessibleName(tr("启用%1").arg(where));
        row.quantity->setAccessibleName(tr("%1 比较量").arg(where));
        row.threshold->setAccessibleName(tr("%1 阈值").arg(where));
        row.window->setAccessibleName(tr("%1 窗口（天）").arg(where));
        row.confirm->setAccessibleName(tr("%1 连续次数").arg(where));
        row.deadBand->setAccessibleName(tr("%1 回差").arg(where));
        const int at = i + 1 + (i >= kMaxRank ? 1 : 0); // a gap between the sides
        QWidget* cells[] = {row.name, row.used, row.quantity, row.threshold, row.window, row.confirm, row.deadBand};
        for (int c = 0; c < 7; ++c)
            grid->addWidget(cells[c], at, c);
        connect(row.used, &QCheckBox::toggled, this, &LevelsDialog::updateState);
        connect(row.quantity, &QComboBox::currentIndexChanged, this, &LevelsDialog::updateState);
    }
    grid->setRowMinimumHeight(kMaxRank + 1, 8);
    grid->setColumnStretch(3, 1);
    layout->addWidget(levelsBox);

    auto* whenBox = new QGroupBox(tr("基准与生效时间"), this);
    auto* when = new QGridLayout(whenBox);
    baselineFirst = new QRadioButton(tr("基准为首次读数"), whenBox);
    baselineFrom = new QRadioButton(tr("基准为此时以后的首次读数："), whenBox);
    baselineAt = timeEdit(whenBox);
    baselineAt->setAccessibleName(tr("基准时间"));
    auto* baselineGroup = new QButtonGroup(whenBox);
    baselineGroup->addButton(baselineFirst);
    baselineGroup->addButton(baselineFrom);
    baselineFirst->setChecked(true);
    fromEver = new QRadioButton(tr("适用于全部读数"), whenBox);
    fromDate = new QRadioButton(tr("自此时起适用："), whenBox);
    fromAt = timeEdit(whenBox);
    fromAt->setAccessibleName(tr("生效时间"));
    auto* fromGroup = new QButtonGroup(whenBox);
    fromGroup->addButton(fromEver);
    fromGroup->addButton(fromDate);
    fromEver->setChecked(true);
    when->addWidget(baselineFirst, 0, 0);
    when->addWidget(baselineFrom, 0, 1);
    when->addWidget(baselineAt, 0, 2);
    when->addWidget(fromEver, 1, 0);
    when->addWidget(fromDate, 1, 1);
    when->addWidget(fromAt, 1, 2);
    when->setColumnStretch(3, 1);
    layout->addWidget(whenBox);

    auto* scopeRow = new QHBoxLayout;
    scopeRow->addWidget(new QLabel(tr("保存到："), this));
    scopeBox = new QComboBox(this);
    scopeBox->setAccessibleName(tr("保存到"));
    const int ofType = int(LevelsForm::targets(m_register, gauge, LevelsForm::Scope::Type).size());
    const int ofSite = int(LevelsForm::targets(m_register, gauge, LevelsForm::Scope::Site).size());
    scopeBox->addItem(tr("本测点"));
    scopeBox->addItem(info && !info->type.isEmpty() ? tr("同类型（%1）的全部测点（%2 个）").arg(info->type).arg(ofType)
                                                    : tr("同类型的全部测点（未登记类型）"));
    scopeBox->addItem(info && !info->site.isEmpty() ? tr("同工程（%1）的全部测点（%2 个）").arg(info->site).arg(ofSite)
                                                    : tr("同工程的全部测点（未归属工程）"));
    scopeRow->addWidget(scopeBox, 1);
    layout->addLayout(scopeRow);

    problemLabel = new QLabel(this);
    problemLabel->setWordWrap(true);
    layout->addWidget(problemLabel);

    versions = new QTableWidget(0, 5, this);
    versions->setHorizontalHeaderLabels({tr("自"), tr("基准"), tr("录入时间"), tr("录入人"), tr("触发值")});
    versions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    versions->setAccessibleName(tr("触发值版本"));
    versions->horizontalHeader()->setStretchLastSection(true);
    versions->verticalHeader()->setVisible(false);
    versions->setMinimumHeight(90);
    layout->addWidget(new QLabel(tr("版本："), this));
    layout->addWidget(versions, 1);

    auto* buttons = new QHBoxLayout;
    saveButton = new QPushButton(tr("保存"), this);
    cancelButton = new QPushButton(tr("取消"), this);
    saveButton->setToolTip(tr("保存为新版本（以前的版本保留），并按新触发值重新判断读数"));
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    saveButton->setDefault(true);

    for (QLineEdit* e : rankNames)
        connect(e, &QLineEdit::textChanged, this, &LevelsDialog::updateState);
    for (QRadioButton* b : {baselineFirst, baselineFrom, fromEver, fromDate})
        connect(b, &QRadioButton::toggled, this, &LevelsDialog::updateState);
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // The version that begins last is the one to edit; without any, nothing is set.
    const std::vector<LevelSet> before = m_archive.levelSets(gauge, &error);
    LevelSet start;
    start.gauge = gauge;
    if (!before.empty())
        start = before.back();
    setLevelSet(start);
    showVersions();
    resize(760, 640);
}

LevelSet LevelsDialog::levelSet() const
{
    LevelSet set;
    set.gauge = m_gauge;
    set.fromUtc = fromDate->isChecked() ? fromAt->dateTime().toSecsSinceEpoch() : kSinceEver;
    set.baselineUtc = baselineFrom->isChecked() ? baselineAt->dateTime().toSecsSinceEpoch() : kSinceEver;
    set.rankNames.clear();
    for (const QLineEdit* e : rankNames)
        set.rankNames << e->text().trimmed();
    for (int i = 0; i < LevelsForm::kRows; ++i) {
        const LevelRow& row = levels[std::size_t(i)];
        if (!row.used->isChecked())
            continue;
        TriggerLevel l;
        l.side = i < kMaxRank ? LevelSide::High : LevelSide::Low;
        l.rank = i % kMaxRank + 1;
        l.quantity = LevelQuantity(row.quantity->currentIndex());
        l.threshold = row.threshold->value();
        l.windowDays = l.quantity == LevelQuantity::Rate ? row.window->value() : 1;
        l.confirm = row.confirm->value();
        l.deadBand = row.deadBand->value();
        set.levels.push_back(l);
    }
    return set;
}

void LevelsDialog::setLevelSet(const LevelSet& set)
{
    for (int r = 0; r < kMaxRank; ++r)
        rankNames[std::size_t(r)]->setText(set.rankNames.value(r, defaultRankNames()[r]));
    for (LevelRow& row : levels) {
        row.used->setChecked(false);
        row.quantity->setCurrentIndex(0);
        row.threshold->setValue(0);
        row.window->setValue(1);
        row.confirm->setValue(1);
        row.deadBand->setValue(0);
    }
    for (const TriggerLevel& l : set.levels) {
        if (l.rank < 1 || l.rank > kMaxRank)
            continue;
        LevelRow& row = levels[std::size_t(LevelsForm::rowOf(l.side, l.rank))];
        row.used->setChecked(true);
        row.quantity->setCurrentIndex(int(l.quantity));
        row.threshold->setValue(l.threshold);
        row.window->setValue(l.windowDays);
        row.confirm->setValue(l.confirm);
        row.deadBand->setValue(l.deadBand);
    }
    const bool baselineSet = set.baselineUtc != kSinceEver;
    (baselineSet ? baselineFrom : baselineFirst)->setChecked(true);
    if (baselineSet)
        baselineAt->setDateTime(localOf(set.baselineUtc));
    const bool fromSet = set.fromUtc != kSinceEver;
    (fromSet ? fromDate : fromEver)->setChecked(true);
    if (fromSet)
        fromAt->setDateTime(localOf(set.fromUtc));
    updateState();
}

LevelsForm::Scope LevelsDialog::scope() const { return LevelsForm::Scope(std::max(0, scopeBox->currentIndex())); }

void LevelsDialog::setScope(LevelsForm::Scope scope) { scopeBox->setCurrentIndex(int(scope)); }

QStringList LevelsDialog::targets() const { return LevelsForm::targets(m_register, m_gauge, scope()); }

QString LevelsDialog::problem() const { return levelSetProblem(levelSet()); }

void LevelsDialog::updateState()
{
    for (int i = 0; i < LevelsForm::kRows; ++i) {
        LevelRow& row = levels[std::size_t(i)];
        const QString rank = rankNames[std::size_t(i % kMaxRank)]->text().trimmed();
        row.name->setText(QStringLiteral("%1 · %2").arg(i < kMaxRank ? tr("上限") : tr("下限"), rank));
        const bool used = row.used->isChecked();
        for (QWidget* w : std::initializer_list<QWidget*>{row.quantity, row.threshold, row.confirm, row.deadBand})
            w->setEnabled(used);
        row.window->setEnabled(used && row.quantity->currentIndex() == int(LevelQuantity::Rate));
        row.threshold->setSuffix(m_unit.isEmpty() ? QString()
                                 : row.quantity->currentIndex() == int(LevelQuantity::Rate)
                                     ? tr(" %1/天").arg(m_unit)
                                     : QLatin1Char(' ') + m_unit);
    }
    baselineAt->setEnabled(baselineFrom->isChecked());
    fromAt->setEnabled(fromDate->isChecked());
    const QString why = problem();
    if (!why.isEmpty()) {
        problemLabel->setText(tr("无法保存：%1").arg(why));
        problemLabel->setStyleSheet(QStringLiteral("QLabel { color: #b00020; }"));
    } else if (levelSet().levels.empty()) {
        problemLabel->setText(tr("没有启用任何触发值：保存后，自生效时间起不再按触发值判断。"));
        problemLabel->setStyleSheet(QString());
    } else {
        problemLabel->clear();
        problemLabel->setStyleSheet(QString());
    }
    saveButton->setEnabled(why.isEmpty());
}

void LevelsDialog::showVersions()
{
    versions->setRowCount(0);
    Error error;
    const bool english = windowSpeaksEnglish();
    for (const LevelSet& s : m_archive.levelSets(m_gauge, &error)) {
        const int r = versions->rowCount();
        versions->insertRow(r);
        versions->setItem(r, 0, new QTableWidgetItem(s.fromUtc == kSinceEver ? tr("最初") : localText(s.fromUtc)));
        versions->setItem(r, 1, new QTableWidgetItem(s.baselineUtc == kSinceEver ? tr("首次读数") : localText(s.baselineUtc)));
        versions->setItem(r, 2, new QTableWidgetItem(localText(s.enteredAt)));
        versions->setItem(r, 3, new QTableWidgetItem(s.enteredBy));
        auto* rules = new QTableWidgetItem(LevelsForm::summary(s, m_unit, english));
        rules->setToolTip(rules->text());
        versions->setItem(r, 4, rules);
    }
    versions->resizeColumnsToContents();
}

bool LevelsDialog::save()
{
    const LevelSet model = levelSet();
    if (const QString why = levelSetProblem(model); !why.isEmpty()) {
        m_messenger.information(tr("触发值未保存：%1").arg(why));
        return false;
    }
    const QStringList gauges = targets();
    Error error;
    if (!m_archive.addLevelSets(LevelsForm::setsFor(model, gauges), &error)) {
        m_messenger.information(tr("触发值未保存：%1").arg(Recorder::errorText(error)));
        return false;
    }
    showVersions();
    return true;
}
