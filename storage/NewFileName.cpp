#include "storage/NewFileName.h"

#include "platform/WireText.h"

#include <QCoreApplication>

namespace {
const QString kForbidden = QStringLiteral("<>/\\|:\"*?");
} // namespace

NewFileName NewFileName::check(const QString& typed)
{
    NewFileName result;
    qsizetype first = 0;
    qsizetype last = typed.size();
    while (first < last && typed[first] == QLatin1Char(' '))
        ++first;
    while (last > first && typed[last - 1] == QLatin1Char(' '))
        --last;
    result.trimmed = typed.mid(first, last - first);

    if (result.trimmed.size() < 1 || result.trimmed.size() > 20) {
        result.error = QCoreApplication::translate(
            "NewFileName", "文件名的长度需至少有1个字符，最大长度不能超过20个字符，且必须为可现实字符！");
        return result;
    }
    for (QChar ch : result.trimmed) {
        if (!WireText::isShowable(ch)) {
            result.error = unshowableText();
            return result;
        }
    }
    // The characters the dialog's hint forbids: file systems refuse them, and the name
    // becomes a file and a worksheet on the PC.
    for (QChar ch : result.trimmed) {
        if (kForbidden.contains(ch)) {
            result.error =
                QCoreApplication::translate("NewFileName", "文件名中不能含有以下字符：< > / \\ | : \" * ?，请修正！");
            return result;
        }
    }
    return result;
}

QString NewFileName::unshowableText()
{
    return QCoreApplication::translate("NewFileName", "文件名中含有不可显示字符（含空格），请修正！");
}
