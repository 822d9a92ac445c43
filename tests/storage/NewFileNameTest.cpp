#include "storage/NewFileName.h"

#include <QList>
#include <gtest/gtest.h>

namespace {
const QString kLength = QStringLiteral("文件名的长度需至少有1个字符，最大长度不能超过20个字符，且必须为可现实字符！");
const QString kChar = QStringLiteral("文件名中含有不可显示字符（含空格），请修正！");
const QString kForbidden = QStringLiteral("文件名中不能含有以下字符：< > / \\ | : \" * ?，请修正！");
} // namespace

TEST(NewFileName, ChecksLengthAfterTrimmingSpaces)
{
    struct Case {
        QString typed, trimmed, error;
    };
    const QList<Case> cases = {
        {"AB1", "AB1", ""},
        {"  AB1   ", "AB1", ""},
        {"ABCDEFGHIJ0123456789", "ABCDEFGHIJ0123456789", ""},        // 20
        {"ABCDEFGHIJ0123456789X", "ABCDEFGHIJ0123456789X", kLength}, // 21
        {" ABCDEFGHIJ0123456789 ", "ABCDEFGHIJ0123456789", ""},      // 20 once trimmed
        {"", "", kLength},
        {"     ", "", kLength},
        {"A B", "A B", kChar},                                         // inner space
        {QString("A") + QChar(127), QString("A") + QChar(127), kChar}, // DEL
        {QString("A") + QChar(9), QString("A") + QChar(9), kChar},     // a tab is not trimmed
        {QString("A") + QChar(1), QString("A") + QChar(1), kChar},
        {"数据", "数据", kChar}, // double-byte
        {"A测", "A测", kChar},
        // the characters the dialog's hint forbids are refused, each of them
        {"a<b", "a<b", kForbidden},
        {"a>b", "a>b", kForbidden},
        {"a/b", "a/b", kForbidden},
        {"a\\b", "a\\b", kForbidden},
        {"a|b", "a|b", kForbidden},
        {"a:b", "a:b", kForbidden},
        {"a\"b", "a\"b", kForbidden},
        {"a*b", "a*b", kForbidden},
        {"a?b", "a?b", kForbidden},
        {"~!#$%&'()+,;=@[]^`{}-_.", "~!#$%&'()+,;=@[]^`{}-_.", kLength},
        {"~!#$%&'()[]^`{}-_.", "~!#$%&'()[]^`{}-_.", ""},
    };
    for (const Case& c : cases) {
        const NewFileName n = NewFileName::check(c.typed);
        EXPECT_EQ(n.trimmed, c.trimmed) << c.typed.toStdString();
        EXPECT_EQ(n.error, c.error) << c.typed.toStdString();
    }
}
