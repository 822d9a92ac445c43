#include "export/CsvReader.h"

#include "platform/WireText.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace CsvReader {

QString decode(const QByteArray& bytes)
{
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GBK");
    if (gbk.isValid())
        return gbk.decode(view);
    return WireText::decode(view.toByteArray()); // the code page of this system
}

std::optional<std::vector<QStringList>> parse(const QString& text, QString* error)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;       // the row has a field, possibly an empty one
    qsizetype quoteRow = 0; // the row where the open quote began, counted from 1
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (ch == u'"') {
                quoted = false;
            } else {
                field += ch;
            }
            continue;
        }
        if (ch == u'"') {
            quoted = true;
            quoteRow = qsizetype(rows.size()) + 1;
            any = true;
        } else if (ch == u',') {
            row << field;
            field.clear();
            any = true;
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            if (any || !field.isEmpty())
                row << field;
            rows.push_back(row);
            row.clear();
            field.clear();
            any = false;
        } else {
            field += ch;
            any = true;
        }
    }
    if (quoted) {
        if (error)
            *error = QCoreApplication::translate("CsvReader", "第 %1 行：引号没有结束").arg(quoteRow);
        return std::nullopt;
    }
    if (any || !field.isEmpty()) {
        row << field;
        rows.push_back(row);
    }
    return rows;
}

std::optional<std::vector<QStringList>> parse(const QByteArray& bytes, QString* error)
{
    return parse(decode(bytes), error);
}

} // namespace CsvReader
