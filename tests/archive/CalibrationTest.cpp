// Engineering values against values worked by hand from calibration sheets, and the
// calibration table read from the files engineers keep it in.
#include "archive/Calibration.h"
#include "archive/CalibrationTable.h"
#include "archive/TableFile.h"
#include "platform/Language.h"

#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace archive;

namespace {

// The crackmeter sheet: G, K, A, B, C in mm; zero reading 2441.3 digits at 20 C.
Calibration crackmeter(Form form)
{
    Calibration c;
    c.code = "A001";
    c.unit = "mm";
    c.kind = ReadingKind::Digits;
    c.form = form;
    c.G = 0.00975839;
    c.K = 0.00853859;
    c.A = 2.6645441378193e-8;
    c.B = 0.0094917094213891;
    c.C = -23.33732890100;
    c.R0 = 2441.3;
    c.T0 = 20;
    return c;
}

// The frequency that reads as R digits (R = f^2 / 1000).
double hzForDigits(double r) { return std::sqrt(r * 1000.0); }

} // namespace

TEST(Calibration, ReadingsBecomeDigitsOrStayHertz)
{
    // 2011.7 Hz: 2011.7^2 = 4,046,936.89, so 4046.93689 digits.
    EXPECT_NEAR(readingUnits(ReadingKind::Digits, 2011.7), 4046.93689, 1e-9);
    EXPECT_DOUBLE_EQ(readingUnits(ReadingKind::Frequency, 2011.7), 2011.7);
}

TEST(Calibration, TheCrackmeterSheetWorkedByHand)
{
    const double f = hzForDigits(4509.1); // R1 = 4509.1 digits at 25 C
    // linear: 0.00975839 x 2067.8 + 0.00853859 x 5 = 20.17840 + 0.04269 = 20.22109 mm
    auto linear = convert(crackmeter(Form::Linear), f, 25.0);
    ASSERT_TRUE(linear);
    EXPECT_NEAR(linear->value, 20.22109, 1e-4);
    EXPECT_FALSE(linear->uncorrected);
    // polynomial with the sheet's C: 0.54176 + 42.79907 - 23.33733 + 0.04269 = 20.04619 mm
    auto poly = convert(crackmeter(Form::Polynomial), f, 25.0);
    ASSERT_TRUE(poly);
    EXPECT_NEAR(poly->value, 20.0462, 2e-4);
    // field zero: C = -(A x 2441.3^2 + B x 2441.3) = -(0.15881 + 23.17211) = -23.33092,
    // so 0.54176 + 42.79907 - 23.33092 + 0.04269 = 20.05260 mm; the zero reading gives 0.
    Calibration zeroed = crackmeter(Form::Polynomial);
    zeroed.fieldZero = true;
    EXPECT_NEAR(convert(zeroed, f, 25.0)->value, 20.0526, 2e-4);
    EXPECT_NEAR(convert(zeroed, hzForDigits(2441.3), 20.0)->value, 0.0, 1e-9);
}

TEST(Calibration, SignConventionFrequencyFormAndMissingTemperature)
{
    // A pressure gauge written as G (R0 - R1): 0.05 kPa/digit x (8000 - 7000) = 50 kPa. No
    // temperature: the thermal term is left out and the value is marked uncorrected.
    Calibration p;
    p.form = Form::Linear;
    p.kind = ReadingKind::Digits;
    p.G = 0.05;
    p.reversed = true;
    p.R0 = 8000;
    p.K = 0.1;
    p.T0 = 20;
    auto pressure = convert(p, hzForDigits(7000), std::nullopt);
    ASSERT_TRUE(pressure);
    EXPECT_NEAR(pressure->value, 50.0, 1e-9);
    EXPECT_TRUE(pressure->uncorrected);
    pressure = convert(p, hzForDigits(7000), std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(pressure->uncorrected);
    // with a temperature of 30 C: 50 + 0.1 x 10 = 51 kPa
    EXPECT_NEAR(convert(p, hzForDigits(7000), 30.0)->value, 51.0, 1e-9);
    // a gauge without a thermal factor is never "uncorrected"
    p.K = 0;
    EXPECT_FALSE(convert(p, hzForDigits(7000), std::nullopt)->uncorrected);

    // On the frequency itself: 2 units/Hz x (1100 - 1000) - 0.5 x (30 - 20) = 195
    Calibration hz;
    hz.kind = ReadingKind::Frequency;
    hz.G = 2;
    hz.R0 = 1000;
    hz.K = -0.5;
    hz.T0 = 20;
    EXPECT_NEAR(convert(hz, 1100, 30.0)->value, 195.0, 1e-9);

    // No frequency, no value.
    for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(convert(hz, bad, 20.0)) << bad;
}

TEST(CalibrationTable, CsvRoundTripAndColumnsInAnyOrder)
{
    Calibration a = crackmeter(Form::Polynomial);
    a.gauge = "裂缝计";
    a.fieldZero = true;
    Calibration b;
    b.code = "B002";
    b.gauge = "渗压计, 上游";
    b.unit = "kPa";
    b.kind = ReadingKind::Frequency;
    b.G = -0.125;
    b.reversed = true;
    b.R0 = 2500.5;
    b.T0 = 18.5;
    b.K = 0.0375;
    QTemporaryDir dir;
    const QString path = dir.filePath("标定.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(CalibrationTable::toCsv({a, b}));
    }
    QString error;
    const auto rows = TableFile::read(path, &error);
    ASSERT_TRUE(rows) << error.toStdString();
    QStringList problems;
    const auto back = CalibrationTable::fromRows(*rows, &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], a);
    EXPECT_EQ(back[1], b);

    // Another sheet's layout: English names, another order, a code given twice (the last
    // wins), and rows that cannot be read, each reported with its line.
    const std::vector<QStringList> other{
        {"unit", "Code", "form", "G", "K", "R0", "T0", "reading"},
        {"mm", "a001", "linear", "0.5", "", "100", "20", "Hz"},
        {"mm", "A001", "linear", "0.25", "0.1", "100", "20", "digits"},
        {"mm", "", "linear", "1", "", "", "", ""},
        {"mm", "A003", "cubic", "1", "", "", "", ""},
        {"mm", "A004", "linear", "1,5", "", "", "", ""},
        {"mm", "A005", "linear", "x", "", "", "", ""},
        {"", "", "", "", "", "", "", ""},
    };
    problems.clear();
    const auto read = CalibrationTable::fromRows(other, &problems);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].code, "A001");
    EXPECT_DOUBLE_EQ(read[0].G, 0.25);
    EXPECT_EQ(read[0].kind, ReadingKind::Digits);
    EXPECT_DOUBLE_EQ(read[0].K, 0.1);
    EXPECT_EQ(read[1].code, "A004");
    EXPECT_DOUBLE_EQ(read[1].G, 1.5);
    ASSERT_EQ(problems.size(), 3) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].startsWith("第 4 行")) << problems[0].toStdString();
    EXPECT_TRUE(problems[1].startsWith("第 5 行"));
    EXPECT_TRUE(problems[2].startsWith("第 7 行"));

    problems.clear();
    EXPECT_TRUE(CalibrationTable::fromRows({{"unit", "G"}, {"mm", "1"}}, &problems).empty());
    EXPECT_EQ(problems, QStringList({"第 1 行：没有“元件编号”列"}));
}

TEST(CalibrationTable, TheGridSpeaksTheOperatorsLanguageAndFilesStayAsTheyAre)
{
    Calibration c = crackmeter(Form::Polynomial);
    c.kind = ReadingKind::Frequency;
    c.fieldZero = true;
    c.reversed = true;
    QObject owner;
    ASSERT_TRUE(Language::install(Language::kEnglish, &owner));
    const QStringList shown = CalibrationTable::shownHeaders();
    ASSERT_EQ(shown.size(), CalibrationTable::headers().size());
    EXPECT_EQ(shown.mid(0, 7), QStringList({"Code", "Gauge", "Unit", "Reading", "Form", "G", "Direction"}));
    EXPECT_EQ(shown[10], "Field zero");
    const QStringList row = CalibrationTable::shownRow(c);
    EXPECT_EQ(row[3], "Frequency");
    EXPECT_EQ(row[4], "Polynomial");
    EXPECT_EQ(row[6], "R0-R1");
    EXPECT_EQ(row[10], "Yes");
    // What the grid shows is read back as it was, whatever the case typed.
    QStringList problems;
    std::vector<Calibration> back = CalibrationTable::fromRows({shown, row}, &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], c);
    QStringList lower = row;
    for (QString& cell : lower)
        cell = cell.toLower();
    back = CalibrationTable::fromRows({shown, lower}, &problems);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], c);
    // Problems name the columns as the grid does.
    problems.clear();
    CalibrationTable::fromRows({{"Code", "Reading"}, {"A002", "Megahertz"}}, &problems);
    EXPECT_EQ(problems, QStringList({"Row 2: Reading “Megahertz” is neither “Frequency” nor “Digits”"}));
    // Files are written as before, in either language.
    EXPECT_EQ(CalibrationTable::headers()[0], "元件编号");
    EXPECT_EQ(CalibrationTable::toRow(c)[3], "频率");
    EXPECT_TRUE(CalibrationTable::toCsv({c}).startsWith("\xEF\xBB\xBF元件编号,仪器类型,单位,读数类型"));

    // Without the catalogue the grid shows the files' own words, and still reads the English.
    ASSERT_TRUE(Language::install(Language::kChinese, &owner));
    EXPECT_EQ(CalibrationTable::shownHeaders(), CalibrationTable::headers());
    EXPECT_EQ(CalibrationTable::shownRow(c), CalibrationTable::toRow(c));
    problems.clear();
    back = CalibrationTable::fromRows({{"code", "direction", "reading", "field zero"}, {"A003", "R0-R1", "frequency", "yes"}},
                                      &problems);
    ASSERT_EQ(back.size(), 1u) << problems.join('\n').toStdString();
    EXPECT_TRUE(back[0].reversed);
    EXPECT_EQ(back[0].kind, ReadingKind::Frequency);
    EXPECT_TRUE(back[0].fieldZero);
}

TEST(CalibrationTable, AWorkbookMadeByAnotherProgramIsRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gauges.xlsx");
    QProcess python;
    python.start(SYSTEM_PYTHON3, {"-c",
                                  "import sys, openpyxl\n"
                                  "wb = openpyxl.Workbook(); ws = wb.active\n"
                                  "ws.append(['元件编号', '单位', '公式', 'A', 'B', 'C', 'K', 'T0'])\n"
                                  "ws.append(['C010', 'mm', '多项式', 2.6645441378193e-8, 0.0094917094213891, "
                                  "-23.337328901, 0.00853859, 20])\n"
                                  "wb.save(sys.argv[1])\n",
                                  path});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QString error;
    const auto rows = TableFile::read(path, &error);
    ASSERT_TRUE(rows) << error.toStdString();
    QStringList problems;
    const auto read = CalibrationTable::fromRows(*rows, &problems);
    ASSERT_EQ(read.size(), 1u) << problems.join('\n').toStdString();
    EXPECT_EQ(read[0].form, Form::Polynomial);
    // the crackmeter's polynomial again: 20.0462 mm at 4509.1 digits and 25 C
    EXPECT_NEAR(convert(read[0], hzForDigits(4509.1), 25.0)->value, 20.0462, 2e-4);

    EXPECT_FALSE(TableFile::read(dir.filePath("missing.xlsx"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(CalibrationTable, ACsvFileInGbkIsReadAndAnOpenQuoteIsRefused)
{
    // What a Chinese spreadsheet writes for "CSV (逗号分隔)": GBK, no byte-order mark.
    QStringEncoder gbk("GBK");
    ASSERT_TRUE(gbk.isValid());
    QTemporaryDir dir;
    const QString path = dir.filePath("标定.csv");
    auto write = [&](const QString& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(gbk.encode(text));
    };
    write(QStringLiteral("元件编号,仪器类型,单位,读数类型,公式,G\r\nA001,裂缝计,mm,模数,线性,0.5\r\nA002,渗压计,kPa,频率,线性,-0.25\r\n"));
    QString error;
    auto rows = TableFile::read(path, &error);
    ASSERT_TRUE(rows) << error.toStdString();
    QStringList problems;
    const auto read = CalibrationTable::fromRows(*rows, &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].gauge, "裂缝计");
    EXPECT_EQ(read[1].unit, "kPa");
    EXPECT_EQ(read[1].kind, ReadingKind::Frequency);
    EXPECT_DOUBLE_EQ(read[1].G, -0.25);

    // An unclosed quote on the third row would take every later row into one cell.
    write(QStringLiteral("元件编号,仪器类型\r\nA001,裂缝计\r\nA002,\"渗压计\r\nA003,裂缝计\r\nA004,裂缝计\r\n"));
    rows = TableFile::read(path, &error);
    EXPECT_FALSE(rows);
    EXPECT_EQ(error, "第 3 行：引号没有结束");
}

TEST(CalibrationTable, EveryBadFieldIsNamedWithTheRowAsTheOperatorSeesIt)
{
    const std::vector<QStringList> table{
        CalibrationTable::headers(),
        CalibrationTable::toRow(crackmeter(Form::Linear)),
        {"A002", "", "mm", "兆赫", "线性", "x", "左", "", "", "", "也许", "", "", "0,1,2"},
    };
    // In a file the header is row 1, so the bad row is row 3.
    QStringList problems;
    EXPECT_EQ(CalibrationTable::fromRows(table, &problems).size(), 1u);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0].toStdString(), "第 3 行：读数类型“兆赫”不是“频率”或“模数”；G“x”不是数字；方向“左”不是“R1-R0”或“R0-R1”；"
                                         "现场零点“也许”不是“是”或“否”；K“0,1,2”不是数字");
    // In the grid the rows are numbered from 1 under the header: the same row is row 2.
    problems.clear();
    CalibrationTable::fromRows(table, &problems, 0);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].startsWith("第 2 行：读数类型")) << problems[0].toStdString();
    // No code, and a bad form beside it: both named.
    problems.clear();
    CalibrationTable::fromRows({{"元件编号", "公式"}, {"", "三次"}}, &problems, 0);
    EXPECT_EQ(problems, QStringList({"第 1 行：没有元件编号；公式“三次”不是“线性”或“多项式”"}));
}

TEST(CalibrationTable, AnImportMergesByCodeIntoTheRowsThere)
{
    Calibration typed = crackmeter(Form::Linear);
    typed.code = "A007";
    Calibration old = crackmeter(Form::Linear);
    std::vector<QStringList> rows{CalibrationTable::shownRow(old), CalibrationTable::shownRow(typed), {"B001", "", "", "频率", "立方", "", "", "", "", "", "", "", "", ""}};
    // a hand-typed row that cannot be read yet stays as typed
    const QStringList unreadable = rows[2];
    rows[0][0] = " a001 "; // typed in lower case, with blanks

    Calibration renewed = crackmeter(Form::Polynomial);
    renewed.G = 0.5;
    Calibration added = crackmeter(Form::Linear);
    added.code = "C003";
    const QStringList replaced = CalibrationTable::merge(rows, {added, renewed});
    EXPECT_EQ(replaced, QStringList({"A001"}));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], CalibrationTable::shownRow(renewed));
    EXPECT_EQ(rows[1], CalibrationTable::shownRow(typed));
    EXPECT_EQ(rows[2], unreadable);
    EXPECT_EQ(rows[3], CalibrationTable::shownRow(added));
}

// A coefficient fitted by a spreadsheet carries all seventeen digits of a double: written to a
// file or shown in the grid and read back, it is the same number, not one rounded to fifteen.
TEST(CalibrationTable, CoefficientsKeepEveryDigitThroughAFileAndTheGrid)
{
    Calibration c = crackmeter(Form::Polynomial);
    c.A = 2.6645441378193027e-8;
    c.B = 0.1 + 0.2; // 0.30000000000000004
    c.C = -23.337328901000013;
    c.G = 1.0 / 3.0;
    c.R0 = 2441.3000000000002;
    c.K = 5e-324; // the smallest double
    c.T0 = 1.7976931348623157e308;
    QTemporaryDir dir;
    const QString path = dir.filePath("digits.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(CalibrationTable::toCsv({c}));
    }
    QString error;
    const auto rows = TableFile::read(path, &error);
    ASSERT_TRUE(rows) << error.toStdString();
    QStringList problems;
    const auto back = CalibrationTable::fromRows(*rows, &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], c);
    EXPECT_EQ(back[0].B, 0.1 + 0.2);

    const auto shown = CalibrationTable::fromRows({CalibrationTable::shownHeaders(), CalibrationTable::shownRow(c)}, &problems);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], c);

    // Numbers that need no more digits are written as the engineer typed them.
    Calibration plain = crackmeter(Form::Linear);
    const QStringList row = CalibrationTable::toRow(plain);
    EXPECT_TRUE(row.contains("0.00975839")) << row.join(',').toStdString();
    EXPECT_TRUE(row.contains("2441.3"));
    EXPECT_TRUE(row.contains("20"));
}

TEST(Calibration, CoefficientsFittedForAMillionthOfTheSquareAreRefused)
{
    // The sheet's polynomial on digits is accepted as it stands, with the sheet's C, with a
    // field zero and without the linear factor.
    Calibration sheet = crackmeter(Form::Polynomial);
    EXPECT_EQ(calibrationDoubt(sheet), "");
    Calibration noFactor = sheet;
    noFactor.G = 0;
    EXPECT_EQ(calibrationDoubt(noFactor), "");
    Calibration fieldZero = sheet;
    fieldZero.fieldZero = true;
    EXPECT_EQ(calibrationDoubt(fieldZero), "");

    // The same curve fitted for X = f^2 * 10^-6 = R / 1000: A x 10^6, B x 10^3, C as it was. Taken
    // as digits, 4509.1 would give 0.0266454 x 4509.1^2 + 9.49171 x 4509.1 - 23.337 (+ 0.043) = 584,530 mm.
    Calibration rescaled = sheet;
    rescaled.A = sheet.A * 1e6;
    rescaled.B = sheet.B * 1e3;
    const auto asDigits = convert(rescaled, hzForDigits(4509.1), 25.0);
    ASSERT_TRUE(asDigits);
    EXPECT_GT(asDigits->value, 500000.0) << "the fault the guard is there for";
    const QString doubt = calibrationDoubt(rescaled);
    EXPECT_TRUE(doubt.contains("f²×10⁻⁶")) << doubt.toStdString();
    // told by the linear factor alone (a field zero hides the sheet's C) ...
    Calibration byFactor = rescaled;
    byFactor.fieldZero = true;
    EXPECT_EQ(calibrationDoubt(byFactor), doubt);
    // ... and by where the polynomial vanishes alone, with the zero reading entered as X too
    Calibration byOffset = rescaled;
    byOffset.G = 0;
    byOffset.R0 = 2.4413;
    EXPECT_EQ(calibrationDoubt(byOffset), doubt);
    // a linear factor that agrees with the digits reading settles it, whatever the offset says
    Calibration agreeing = sheet;
    agreeing.C = -0.02333;
    EXPECT_EQ(calibrationDoubt(agreeing), "");

    // The same coefficients on the frequency, or a linear form, are not polynomials on digits.
    Calibration onHertz = rescaled;
    onHertz.kind = ReadingKind::Frequency;
    EXPECT_EQ(calibrationDoubt(onHertz), "");
    Calibration linear = rescaled;
    linear.form = Form::Linear;
    EXPECT_EQ(calibrationDoubt(linear), "");
}

TEST(Calibration, AFactorThatIsNotAFiniteNumberIsRefused)
{
    for (double Calibration::*field : {&Calibration::G, &Calibration::A, &Calibration::B, &Calibration::C,
                                       &Calibration::R0, &Calibration::T0, &Calibration::K}) {
        for (double bad : {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
            Calibration c = crackmeter(Form::Linear);
            c.*field = bad;
            EXPECT_NE(calibrationDoubt(c), "");
        }
    }
    // The refusal names the factor, in the operator's language.
    Calibration k = crackmeter(Form::Linear);
    k.K = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(calibrationDoubt(k), "K 不是有限的数字");
    QObject owner;
    ASSERT_TRUE(Language::install(Language::kEnglish, &owner));
    EXPECT_EQ(calibrationDoubt(k), "K is not a finite number");
    EXPECT_TRUE(calibrationDoubt(crackmeter(Form::Linear)).isEmpty());
    ASSERT_TRUE(Language::install(Language::kChinese, &owner));
}
