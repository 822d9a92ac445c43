#include "export/NumberText.h"

#include <QFile>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

TEST(NumberText, ReadsTheLongestLeadingNumber)
{
    struct Case {
        const char* text;
        double value;
    };
    const QList<Case> cases = {
        {"1234", 1234},        {"-52", -52},        {"+7", 7},            {"12 34", 1234},
        {"1\t2\n3", 123},      {"-5.2x", -5.2},     {"-", 0},             {"", 0},
        {"abc", 0},            {".5", 0.5},         {"-.5", -0.5},        {"5.", 5},
        {"1.2.3", 1.2},        {"1e3", 1000},       {"1E+2", 100},        {"25e-1", 2.5},
        {"1D2", 100},          {"1d-1", 0.1},       {"1e", 1},            {"1e+", 1},
        {"&H1F", 31},          {"&hff", 255},       {"&O17", 15},         {"&o8", 0},
        {"&HG", 0},            {"&", 0},            {"0028456", 28456},   {"1,5", 1},
        {"1\r2", 1},           {"- 5", -5},         {"2026-12-07", 2026}, {"1e999", 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(Val(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12度")), 12);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("温12")), 0);
}

namespace {

// Switches the C library to a locale whose decimal separator is a comma, as a Qt application
// on a German desktop runs. Debian's `locales` data can be compiled into a private folder
// without installing anything; LOCPATH points the C library there.
class CommaLocale {
public:
    CommaLocale()
    {
        m_saved = setlocale(LC_ALL, nullptr);
        if (setlocale(LC_ALL, "de_DE.UTF-8"))
            return;
        if (!m_dir.isValid())
            return;
        QProcess make;
        make.start(QStringLiteral("localedef"),
                   {"-i", "de_DE", "-f", "UTF-8", m_dir.filePath("de_DE.UTF-8")});
        if (!make.waitForFinished(60000) || !QFile::exists(m_dir.filePath("de_DE.UTF-8")))
            return;
        m_oldLocPath = qgetenv("LOCPATH");
        m_setLocPath = true;
        qputenv("LOCPATH", QFile::encodeName(m_dir.path()));
        setlocale(LC_ALL, "de_DE.UTF-8");
    }
    ~CommaLocale()
    {
        setlocale(LC_ALL, m_saved.c_str());
        if (m_setLocPath)
            m_oldLocPath.isNull() ? qunsetenv("LOCPATH") : qputenv("LOCPATH", m_oldLocPath);
    }
    bool active() const { return std::string(localeconv()->decimal_point) == ","; }

private:
    std::string m_saved;
    QTemporaryDir m_dir;
    QByteArray m_oldLocPath;
    bool m_setLocPath = false;
};

} // namespace

TEST(NumberText, SameNumbersUnderACommaDecimalLocale)
{
    CommaLocale german;
    if (!german.active())
        GTEST_SKIP() << "no comma-decimal locale: de_DE.UTF-8 is not installed and localedef could not make it";
    EXPECT_DOUBLE_EQ(std::strtod("1,5", nullptr), 1.5); // the C library now reads commas
    EXPECT_DOUBLE_EQ(Val("123.4"), 123.4);
    EXPECT_DOUBLE_EQ(Val("-5.2x"), -5.2);
    EXPECT_DOUBLE_EQ(Val("2.5D1"), 25);
    EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
    EXPECT_DOUBLE_EQ(Val("1,5"), 1); // the comma is not a decimal separator here either
}
