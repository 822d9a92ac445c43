// The trigger levels editor and the quality rules: which gauges "every gauge of its type / site"
// gives, a set edited in the dialog's widgets and saved as the archive's version (to one gauge
// or to many), a set that cannot be kept refused before anything is saved, and the rules' grid
// read back and saved.
#include "app/LevelsDialog.h"

#include "app/CalibrationGrid.h"
#include "app/LevelsForm.h"
#include "app/QualityRulesDialog.h"
#include "app/QualityRulesRows.h"
#include "archive/Archive.h"
#include "tests/support/RecordingMessenger.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace archive;

namespace {

std::vector<GaugeInfo> registerOf()
{
    return {GaugeInfo{.name = "P1", .type = "渗压计", .unit = "kPa", .site = "大坝"},
            GaugeInfo{.name = "S1", .type = "应变计", .unit = "με", .site = "大坝"},
            GaugeInfo{.name = "P2", .type = "渗压计", .unit = "kPa", .site = "隧洞"},
            GaugeInfo{.name = "X1", .type = "", .unit = "", .site = ""},
            GaugeInfo{.name = "P3", .type = "渗压计", .unit = "kPa", .site = "隧洞"}};
}

} // namespace

TEST(LevelsForm, TargetsAreTheGaugeOrThoseOfItsTypeOrSite)
{
    using LevelsForm::Scope;
    const auto reg = registerOf();
    EXPECT_EQ(LevelsForm::targets(reg, "P1", Scope::Gauge), QStringList({"P1"}));
    EXPECT_EQ(LevelsForm::targets(reg, "P1", Scope::Type), QStringList({"P1", "P2", "P3"}));
    EXPECT_EQ(LevelsForm::targets(reg, "P2", Scope::Site), QStringList({"P2", "P3"}));
    EXPECT_EQ(LevelsForm::targets(reg, "S1", Scope::Site), QStringList({"P1", "S1"}));
    // No type or site registered: no others share it; an unknown gauge is itself only.
    EXPECT_EQ(LevelsForm::targets(reg, "X1", Scope::Type), QStringList({"X1"}));
    EXPECT_EQ(LevelsForm::targets(reg, "X1", Scope::Site), QStringList({"X1"}));
    EXPECT_EQ(LevelsForm::targets(reg, "Q9", Scope::Type), QStringList({"Q9"}));

    LevelSet model;
    model.id = 7;
    model.gauge = "P1";
    model.enteredBy = "someone";
    model.levels = {TriggerLevel{.threshold = 5}};
    const std::vector<LevelSet> sets = LevelsForm::setsFor(model, {"P1", "P2"});
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[1].gauge, "P2");
    EXPECT_EQ(sets[1].id, 0);
    EXPECT_TRUE(sets[1].enteredBy.isEmpty());
    EXPECT_TRUE(sets[1].sameRules(model));
}

TEST(QualityRulesRows, RowsReadBackAndBadRowsAreNamed)
{
    std::vector<QualityRules> rules = defaultQualityRules();
    QualityRules own;
    own.type = "渗压计";
    own.minHz = 1400;
    own.maxHz = 3500;
    own.stepFactor = 0;
    rules.push_back(own);
    std::vector<QStringList> rows;
    for (const QualityRules& r : rules)
        rows.push_back(QualityRulesRows::toRow(r));
    // The empty type is shown in words and read back as the empty type.
    bool other = false;
    for (const QStringList& r : rows)
        other = other || r[0] == "其他类型";
    EXPECT_TRUE(other);
    QStringList problems;
    EXPECT_EQ(QualityRulesRows::fromRows(rows, &problems), rules);
    EXPECT_TRUE(problems.isEmpty());

    // A word for a number, a band upside down and a type given twice: nothing is read.
    std::vector<QStringList> bad = rows;
    bad.push_back({}); // an empty row is skipped
    bad.push_back({"应变计", "abc", "3000", "-20", "60", "5", "10", "20"});
    bad.push_back({"裂缝计", "3000", "400", "-20", "60", "5", "10", "20"});
    bad.push_back(QualityRulesRows::toRow(own));
    EXPECT_TRUE(QualityRulesRows::fromRows(bad, &problems).empty());
    ASSERT_EQ(problems.size(), 3) << problems.join('\n').toStdString();
    const int first = int(rows.size()) + 2; // rows numbered from 1; the empty one counts
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("第 %1 行").arg(first))) << problems[0].toStdString();
    EXPECT_TRUE(problems[0].contains("abc"));
    EXPECT_TRUE(problems[1].startsWith(QStringLiteral("第 %1 行").arg(first + 1)));
    EXPECT_TRUE(problems[2].contains("渗压计"));
}

class LevelsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Versions and acknowledgements keep the PC's user: one known here.
        qputenv("USER", "tester");
        ASSERT_TRUE(dir.isValid());
        a = Archive::open(dir.filePath("archive.sqlite"), nullptr, &error);
        ASSERT_TRUE(a) << error.detail.toStdString();
        ASSERT_TRUE(a->updateRegister(registerOf(), &error)) << error.detail.toStdString();
    }
    static QDateTime local(const char* text)
    {
        return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm"));
    }

    void TearDown() override
    {
        if (userBefore.isEmpty())
            qunsetenv("USER");
        else
            qputenv("USER", userBefore);
    }

    QByteArray userBefore = qgetenv("USER");
    QTemporaryDir dir;
    Error error;
    std::unique_ptr<Archive> a;
    RecordingMessenger messenger;
};

TEST_F(LevelsDialogTest, WhatIsEnteredIsTheVersionSaved)
{
    LevelsDialog dialog(*a, "P1", messenger);
    EXPECT_TRUE(dialog.levelSet().levels.empty()); // no version yet: nothing set
    EXPECT_EQ(dialog.levelSet().rankNames, defaultRankNames());

    // High rank 2: a change of 20 after 3 readings, dead band 1; low rank 1: a rate below
    // -0.5 a day over 7 days; the second rank renamed; baseline and start chosen.
    auto& high2 = dialog.levels[std::size_t(LevelsForm::rowOf(LevelSide::High, 2))];
    high2.used->setChecked(true);
    high2.quantity->setCurrentIndex(int(LevelQuantity::Change));
    EXPECT_FALSE(high2.window->isEnabled()); // only a rate has a window
    high2.threshold->setValue(20);
    high2.confirm->setValue(3);
    high2.deadBand->setValue(1);
    auto& low1 = dialog.levels[std::size_t(LevelsForm::rowOf(LevelSide::Low, 1))];
    low1.used->setChecked(true);
    low1.quantity->setCurrentIndex(int(LevelQuantity::Rate));
    EXPECT_TRUE(low1.window->isEnabled());
    low1.window->setValue(7);
    low1.threshold->setValue(-0.5);
    dialog.rankNames[1]->setText("  警戒 ");
    EXPECT_EQ(high2.name->text(), "上限 · 警戒");
    dialog.baselineFrom->setChecked(true);
    dialog.baselineAt->setDateTime(local("2026-03-01 08:00"));
    dialog.fromDate->setChecked(true);
    dialog.fromAt->setDateTime(local("2026-04-01 00:00"));

    const LevelSet edited = dialog.levelSet();
    ASSERT_EQ(edited.levels.size(), 2u);
    EXPECT_EQ(edited.levels[0], (TriggerLevel{.side = LevelSide::High, .rank = 2, .quantity = LevelQuantity::Change, .threshold = 20, .windowDays = 1, .confirm = 3, .deadBand = 1}));
    EXPECT_EQ(edited.levels[1], (TriggerLevel{.side = LevelSide::Low, .rank = 1, .quantity = LevelQuantity::Rate, .threshold = -0.5, .windowDays = 7, .confirm = 1, .deadBand = 0}));
    EXPECT_EQ(edited.rankNames, QStringList({"预警", "警戒", "控制"}));
    EXPECT_EQ(edited.baselineUtc, local("2026-03-01 08:00").toSecsSinceEpoch());
    EXPECT_EQ(edited.fromUtc, local("2026-04-01 00:00").toSecsSinceEpoch());
    EXPECT_TRUE(dialog.problem().isEmpty());

    ASSERT_TRUE(dialog.save()) << messenger.messages.join('\n').toStdString();
    const std::vector<LevelSet> kept = a->levelSets("P1", &error);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].sameRules(edited));
    EXPECT_EQ(kept[0].fromUtc, edited.fromUtc);
    EXPECT_EQ(kept[0].enteredBy, "tester");
    EXPECT_TRUE(a->levelSets("P2", &error).empty()); // this gauge only
    // The version is listed, with who entered it.
    ASSERT_EQ(dialog.versions->rowCount(), 1);
    EXPECT_EQ(dialog.versions->item(0, 0)->text(), "2026-04-01 00:00");
    EXPECT_EQ(dialog.versions->item(0, 3)->text(), kept[0].enteredBy);

    // Opened again, the dialog starts from that version.
    LevelsDialog again(*a, "P1", messenger);
    EXPECT_TRUE(again.levelSet().sameRules(edited));
    EXPECT_EQ(again.levelSet().fromUtc, edited.fromUtc);
}

TEST_F(LevelsDialogTest, ByTypeTheSetGoesToEveryGaugeOfTheType)
{
    LevelsDialog dialog(*a, "P2", messenger);
    auto& high1 = dialog.levels[std::size_t(LevelsForm::rowOf(LevelSide::High, 1))];
    high1.used->setChecked(true);
    high1.threshold->setValue(150);
    dialog.setScope(LevelsForm::Scope::Type);
    EXPECT_EQ(dialog.targets(), QStringList({"P1", "P2", "P3"}));
    EXPECT_TRUE(dialog.scopeBox->itemText(1).contains("3 个")) << dialog.scopeBox->itemText(1).toStdString();
    ASSERT_TRUE(dialog.save()) << messenger.messages.join('\n').toStdString();
    for (const char* g : {"P1", "P2", "P3"}) {
        const std::vector<LevelSet> kept = a->levelSets(g, &error);
        ASSERT_EQ(kept.size(), 1u) << g;
        ASSERT_EQ(kept[0].levels.size(), 1u);
        EXPECT_EQ(kept[0].levels[0].threshold, 150);
    }
    EXPECT_TRUE(a->levelSets("S1", &error).empty());
    EXPECT_TRUE(a->levelSets("X1", &error).empty());

    // By site from S1: P1 and S1 get the new one; P1's earlier version stays in its history.
    LevelsDialog site(*a, "S1", messenger);
    site.levels[0].used->setChecked(true);
    site.levels[0].threshold->setValue(80);
    site.setScope(LevelsForm::Scope::Site);
    ASSERT_TRUE(site.save());
    EXPECT_EQ(a->levelSets("P1", &error).size(), 2u);
    EXPECT_EQ(a->levelSets("S1", &error).size(), 1u);
    EXPECT_EQ(a->levelSets("P3", &error).size(), 1u);
}

TEST_F(LevelsDialogTest, ASetThatCannotBeKeptIsRefusedBeforeSaving)
{
    LevelsDialog dialog(*a, "P1", messenger);
    dialog.levels[0].used->setChecked(true);
    dialog.levels[0].threshold->setValue(5);
    dialog.rankNames[2]->setText("   ");
    EXPECT_FALSE(dialog.problem().isEmpty());
    EXPECT_FALSE(dialog.saveButton->isEnabled());
    EXPECT_TRUE(dialog.problemLabel->text().startsWith("无法保存：")) << dialog.problemLabel->text().toStdString();
    EXPECT_FALSE(dialog.save());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith("触发值未保存：")) << messenger.messages[0].toStdString();
    EXPECT_TRUE(a->levelSets("P1", &error).empty());
    // Named again: it can be saved.
    dialog.rankNames[2]->setText("控制");
    EXPECT_TRUE(dialog.saveButton->isEnabled());
    EXPECT_TRUE(dialog.problemLabel->text().isEmpty());
}

TEST_F(LevelsDialogTest, QualityRulesAreSavedFromTheGrid)
{
    QualityRulesDialog dialog(*a, messenger);
    ASSERT_EQ(dialog.rows->rows().size(), a->qualityRules(&error).size());
    QualityRules own;
    own.type = "渗压计";
    own.minHz = 1400;
    own.maxHz = 3200;
    std::vector<QualityRules> rules = a->qualityRules(&error);
    rules.push_back(own);
    dialog.setRules(rules);
    ASSERT_TRUE(dialog.save()) << messenger.messages.join('\n').toStdString();
    EXPECT_EQ(rulesFor(a->qualityRules(&error), "渗压计"), own);

    // A row that cannot be read: nothing saved, the row named.
    std::vector<QStringList> rows = dialog.rows->rows();
    rows.back()[2] = "很高";
    dialog.rows->setRows(rows);
    EXPECT_FALSE(dialog.save());
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.back().contains("很高")) << messenger.messages.back().toStdString();
    EXPECT_EQ(rulesFor(a->qualityRules(&error), "渗压计").maxHz, 3200);
}
