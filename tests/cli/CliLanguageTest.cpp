// ktm520-cli in the language asked for with --lang, else the one chosen in the window (the
// settings the window writes), else Chinese.
#include "tests/cli/CliFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

bool hasChinese(const QString& text)
{
    return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")));
}

} // namespace

TEST_F(CliTest, HelpAndUsageErrorsSpeakTheLanguageAskedFor)
{
    const CliRun help = cli({"--lang", "en", "--help"}, {}, 30000, false);
    ASSERT_EQ(help.exitCode, 0) << help.describe();
    EXPECT_TRUE(help.outText().startsWith("Usage: ktm520-cli [options] command [operands]\n")) << help.describe();
    for (const char* word : {"Commands:", "copy X [FILE] -o OUT", "Options:", "--lang CODE", "Exit codes:", "\n  8  "})
        EXPECT_TRUE(help.outText().contains(QString::fromUtf8(word))) << word;
    EXPECT_FALSE(hasChinese(help.outText())) << help.describe();

    const CliRun chineseHelp = cli({"--help"}, {}, 30000, false);
    EXPECT_TRUE(chineseHelp.outText().startsWith("用法 Usage:")) << chineseHelp.describe();

    const CliRun unknown = cli({"--lang=en", "frobnicate"}, {}, 30000, false);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.errText(), "Unknown command “frobnicate”.\nSee ktm520-cli --help for usage.\n");
    const CliRun refused = cli({"delete", "B", "--data", "--lang", "en"}, {}, 30000, false);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.errText().startsWith("Deleting cannot be undone: add --yes to confirm deleting the data of "
                                             "partition B.\n"))
        << refused.describe();

    // A language it does not speak is a usage error, said in the language of the run.
    const CliRun french = cli({"--lang", "fr", "ports"}, {}, 30000, false);
    EXPECT_EQ(french.exitCode, 2);
    EXPECT_TRUE(french.errText().startsWith("语言“fr”无效")) << french.describe();
    EXPECT_TRUE(french.out.isEmpty());
}

TEST_F(CliTest, TheLanguageChosenInTheWindowIsTheDefault)
{
    // As the window's language menu leaves its settings (organisation and application Varnok).
    ASSERT_TRUE(QDir().mkpath(m_state.path() + "/config/Varnok"));
    QFile settings(m_state.path() + "/config/Varnok/Varnok.conf");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[ui]\nlanguage=en\n");
    settings.close();

    const CliRun english = cli({"frobnicate"}, {}, 30000, false);
    EXPECT_EQ(english.errText(), "Unknown command “frobnicate”.\nSee ktm520-cli --help for usage.\n");
    const CliRun chinese = cli({"--lang", "zh_CN", "frobnicate"}, {}, 30000, false);
    EXPECT_EQ(chinese.errText(), "未知的命令“frobnicate”。\n用法见 ktm520-cli --help\n");
}

TEST_F(CliTest, ACopyIsReportedInEnglish)
{
    const CliRun run = cli({"--lang", "en", "copy", "A", "-o", file("A.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^File saved\\. Please check it\\.\nArchived: \\d+ new, \\d+ in this copy\n$"))
                    .match(run.errText())
                    .hasMatch())
        << run.describe();
    // The file itself is data: its header row is the one the window's saves write.
    const QString csv = QString::fromUtf8(readAll(file("A.csv")));
    EXPECT_TRUE(csv.contains(QStringLiteral("文件名,编号,读数,温度,时间"))) << csv.left(200).toStdString();

    const CliRun missing = cli({"--lang", "en", "copy", "A", "-o", file("no/such/folder/A.csv")});
    EXPECT_EQ(missing.exitCode, 6);
    EXPECT_TRUE(missing.errText().contains("The output folder “")) << missing.describe();
}
