// Which language a run speaks: the codes taken, the --lang option, the choice remembered, and
// the program's catalogue going in and out of the application.
#include "platform/Language.h"

#include "tests/support/IsolatedSettings.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

TEST(Language, CodesAreTakenInTheirUsualSpellings)
{
    for (const char* english : {"en", "EN", "en_GB", "en-US", " en "})
        EXPECT_EQ(Language::normalised(QString::fromLatin1(english)), Language::kEnglish) << english;
    for (const char* chinese : {"zh_CN", "zh", "zh-cn", "ZH_CN", "zh_Hans"})
        EXPECT_EQ(Language::normalised(QString::fromLatin1(chinese)), Language::kChinese) << chinese;
    for (const char* other : {"", "fr", "english", "zh_TW", "e"})
        EXPECT_TRUE(Language::normalised(QString::fromLatin1(other)).isEmpty()) << other;
}

TEST(Language, TheLangOptionIsFoundBeforeTheEndOfOptions)
{
    EXPECT_EQ(Language::requestedOn({"ktm520-cli", "--lang", "en", "ports"}), QStringLiteral("en"));
    EXPECT_EQ(Language::requestedOn({"ktm520", "--lang=zh_CN"}), QStringLiteral("zh_CN"));
    EXPECT_EQ(Language::requestedOn({"p", "--lang", "en", "--lang=zh_CN"}), QStringLiteral("zh_CN"));
    EXPECT_EQ(Language::requestedOn({"p", "--lang"}), QString());
    EXPECT_FALSE(Language::requestedOn({"p", "copy", "A"}).has_value());
    // After "--" it is an operand, such as a file name.
    EXPECT_FALSE(Language::requestedOn({"p", "new-file", "A", "--", "--lang", "en"}).has_value());
}

TEST(Language, ARunSpeaksWhatWasAskedForElseWhatWasChosenElseChinese)
{
    IsolatedSettings isolated;
    EXPECT_TRUE(Language::remembered().isEmpty());
    EXPECT_EQ(Language::chosen(), Language::kChinese);
    EXPECT_EQ(Language::chosen(QStringLiteral("en")), Language::kEnglish);

    Language::remember(Language::kEnglish);
    EXPECT_EQ(Language::remembered(), Language::kEnglish);
    EXPECT_EQ(Language::chosen(), Language::kEnglish);
    EXPECT_EQ(Language::chosen(QStringLiteral("zh_CN")), Language::kChinese);
    // A language the program does not speak leaves the choice as it was.
    EXPECT_EQ(Language::chosen(QStringLiteral("fr")), Language::kEnglish);

    // Something else kept under the key (edited by hand) is no choice.
    Language::settings()->setValue(Language::kSettingKey, QStringLiteral("klingon"));
    EXPECT_TRUE(Language::remembered().isEmpty());
    EXPECT_EQ(Language::chosen(), Language::kChinese);
}

TEST(Language, TheCatalogueLastsAsLongAsItsOwner)
{
    ASSERT_EQ(Language::active(), Language::kChinese);
    {
        QObject owner;
        ASSERT_TRUE(Language::install(Language::kEnglish, &owner));
        EXPECT_EQ(Language::active(), Language::kEnglish);
        EXPECT_EQ(QCoreApplication::translate("Form1", "连接"), QStringLiteral("Connect"));
        // Choosing Chinese takes the English catalogue out again.
        ASSERT_TRUE(Language::install(Language::kChinese, &owner));
        EXPECT_EQ(Language::active(), Language::kChinese);
        EXPECT_EQ(QCoreApplication::translate("Form1", "连接"), QStringLiteral("连接"));
        ASSERT_TRUE(Language::install(Language::kEnglish, &owner));
    }
    EXPECT_EQ(Language::active(), Language::kChinese);
    EXPECT_EQ(QCoreApplication::translate("Form1", "连接"), QStringLiteral("连接"));
    EXPECT_FALSE(Language::install(QStringLiteral("fr"), qApp));
    EXPECT_EQ(Language::active(), Language::kChinese);
}

TEST(Language, ATextCanBeHadInALanguageNotInstalled)
{
    ASSERT_EQ(Language::active(), Language::kChinese);
    EXPECT_EQ(Language::translated(Language::kEnglish, "Form1", "连接"), QStringLiteral("Connect"));
    EXPECT_EQ(Language::translated(Language::kChinese, "Form1", "连接"), QStringLiteral("连接"));
    // A text no catalogue has stays as written.
    EXPECT_EQ(Language::translated(Language::kEnglish, "Form1", "没有这句"), QStringLiteral("没有这句"));
    EXPECT_EQ(QCoreApplication::translate("Form1", "连接"), QStringLiteral("连接"));
}
