#include "report/ReportTexts.h"

#include "platform/Language.h"

#include <QDateTime>
#include <QTranslator>
#include <algorithm>
#include <cmath>

namespace report {

namespace {

const QString kNone = QStringLiteral("—");

QDateTime local(qint64 utc) { return QDateTime::fromSecsSinceEpoch(utc, Qt::LocalTime); }

} // namespace

Texts::Texts(const QString& language)
    : m_english(Language::normalised(language) == Language::kEnglish)
{
    if (m_english)
        m_catalogue = Language::catalogue(Language::kEnglish);
}

Texts::~Texts() = default;

QString Texts::operator()(const char* source) const
{
    if (m_catalogue)
        if (const QString text = m_catalogue->translate("Report", source); !text.isEmpty())
            return text;
    return QString::fromUtf8(source);
}

QString Texts::number(double value, int decimals)
{
    if (!std::isfinite(value))
        return kNone;
    QString text = QString::number(value, 'f', std::max(0, decimals));
    // A value that rounds to zero prints without a sign ("-0.00" says nothing the reader needs).
    const auto zeroDigit = [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('.'); };
    if (text.startsWith(QLatin1Char('-')) && std::all_of(text.cbegin() + 1, text.cend(), zeroDigit))
        text.remove(0, 1);
    return text;
}

QString Texts::time(qint64 utc)
{
    return utc == 0 ? kNone : local(utc).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString Texts::date(qint64 utc) { return utc == 0 ? kNone : local(utc).toString(QStringLiteral("yyyy-MM-dd")); }

QString Texts::zone(qint64 utc)
{
    const int offset = local(utc).offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace report
