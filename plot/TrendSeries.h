#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

// One component's history as the trend plot draws it.
struct TrendSeries {
    QString code;                    // the component code, shown in the legend ("A001")
    QString valueLabel;              // what `value` is, with its unit: "读数 (Hz)", "位移 (mm)"
    std::vector<qint64> time;        // instrument time, seconds since 1970 (UTC)
    std::vector<double> value;       // one a time; NaN where there is none
    std::vector<double> temperature; // one a time in ℃, NaN where missing; or empty: none at all
    // The unit of `value` ("Hz", "mm"; empty for a value without one). Series of one unit share
    // a value axis; each other unit gets an axis of its own.
    QString unit = QStringLiteral("Hz");
    // Where each record came from, as an index into `origins` ("读数仪1 A001"), one a time; or
    // empty when the series names none. The cursor shows it.
    QStringList origins;
    std::vector<int> origin;
};
