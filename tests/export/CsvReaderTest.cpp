// CSV files as spreadsheets write them: in UTF-8 or in GBK, quoted fields across lines, and a
// quote left open.
#include "export/CsvReader.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

namespace {

using Rows = std::vector<QStringList>;

QByteArray gbk(const QString& text)
{
    QStringEncoder encoder("GBK");
    EXPECT_TRUE(encoder.isValid());
    return encoder.encode(text);
}

} // namespace

TEST(CsvReader, TheBytesDecideBetweenUtf8AndGbk)
{
    const QString text = QStringLiteral("元件编号,仪器类型,单位\r\nA001,裂缝计,mm\r\n");
    const Rows expected{{"元件编号", "仪器类型", "单位"}, {"A001", "裂缝计", "mm"}};
    QString error;
    for (const QByteArray& bytes : {text.toUtf8(), "\xEF\xBB\xBF" + text.toUtf8(), gbk(text)}) {
        const auto rows = CsvReader::parse(bytes, &error);
        ASSERT_TRUE(rows) << error.toStdString();
        EXPECT_EQ(*rows, expected);
    }
    // "元件编号" as a Chinese spreadsheet saves it.
    EXPECT_EQ(CsvReader::decode("\xD4\xAA\xBC\xFE\xB1\xE0\xBA\xC5"), QStringLiteral("元件编号"));
    // ASCII is the same either way, and a byte-order mark is not part of the first field.
    EXPECT_EQ(CsvReader::decode("\xEF\xBB\xBF"
                                "code"),
              QStringLiteral("code"));
}

TEST(CsvReader, QuotedFieldsAndRowsAsASpreadsheetCountsThem)
{
    QString error;
    const auto rows = CsvReader::parse(QStringLiteral("a,\"b, \"\"c\"\"\"\n\n\"two\r\nlines\",x\rlast,"), &error);
    ASSERT_TRUE(rows) << error.toStdString();
    EXPECT_EQ(*rows, (Rows{{"a", "b, \"c\""}, {}, {"two\r\nlines", "x"}, {"last", ""}}));

    // A quote never closed: not every later row taken as one field, but an error that names
    // the row where it opened (the third; the second spans two lines).
    const auto open = CsvReader::parse(QStringLiteral("code,G\n\"A001\n2\",1\nA002,\"0.5\nA003,1\nA004,1\n"), &error);
    EXPECT_FALSE(open);
    EXPECT_EQ(error, QStringLiteral("第 3 行：引号没有结束"));
}
