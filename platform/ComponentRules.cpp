#include "platform/ComponentRules.h"

#include "platform/WireText.h"

namespace ComponentRules {

bool showable(const QString& name)
{
    for (QChar ch : name)
        if (!WireText::isShowable(ch))
            return false;
    return true;
}

bool isName(const QString& name) { return !name.isEmpty() && name.size() <= kMaxNameLength && showable(name); }

bool isPartitionLetter(QChar letter) { return letter >= QLatin1Char('A') && letter <= QLatin1Char('J'); }

bool isCode(const QString& code)
{
    if (code.size() != 4 || !isPartitionLetter(code.at(0)))
        return false;
    int number = 0;
    for (qsizetype i = 1; i < 4; ++i) {
        if (code.at(i) < QLatin1Char('0') || code.at(i) > QLatin1Char('9'))
            return false;
        number = number * 10 + (code.at(i).unicode() - '0');
    }
    return number >= 1 && number <= 200;
}

} // namespace ComponentRules
