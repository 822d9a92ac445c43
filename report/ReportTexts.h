#pragma once

#include <QString>
#include <memory>

class QTranslator;

// The report's texts in the report's own language, whatever language the window speaks. The
// sources are Chinese, marked QT_TRANSLATE_NOOP("Report", "..."); English comes from the
// program's catalogue (translations/ktm520_en.ts), loaded once per Texts.
namespace report {

class Texts {
public:
    explicit Texts(const QString& language);
    ~Texts();
    Texts(const Texts&) = delete;
    Texts& operator=(const Texts&) = delete;

    bool english() const { return m_english; }
    // `source` (context "Report") in the report's language (the source where the catalogue lacks
    // it). A language other than English ("en", "en_GB", ...: Language::normalised) is Chinese.
    QString operator()(const char* source) const;

    // A number as the report prints it: `decimals` after the point, a full stop, a minus sign
    // ("-"; none for a value that rounds to zero), no grouping; "—" for NaN and infinities.
    static QString number(double value, int decimals = 2);
    // A UTC instant on the PC's clock ("2026-12-07 10:31"), a date ("2026-12-07"); "—" for 0.
    static QString time(qint64 utc);
    static QString date(qint64 utc);
    // The PC's offset from UTC at `utc`, "UTC+08:00" ("UTC-05:00", "UTC+05:30"), for the report's
    // note on its times.
    static QString zone(qint64 utc);

private:
    bool m_english = false;
    std::unique_ptr<QTranslator> m_catalogue;
};

} // namespace report
