#pragma once

#include <QString>
#include <QStringList>
#include <QHash>
#include <QtGlobal>
#include <cmath>
#include <cstdint>
#include <vector>

// A trigger level of a series as the plot draws it: a threshold on the value (High: reached at or
// above it; Low: at or below), or on the change from the baseline (drawn at baseline + threshold).
struct TrendLevel {
    bool high = true;
    int rank = 1;        // 1..3
    bool change = false; // relative to TrendSeries::baseline
    double threshold = 0;
};

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

    // What judging each record found, one a time, or empty when the series has none: its status
    // (0 normal, else the rank reached), its quality flags, and whether it is masked (left out of
    // the line). flagNames gives each combination of flags present in words, for the cursor.
    std::vector<std::uint8_t> status;
    std::vector<std::uint16_t> flags;
    std::vector<bool> masked;
    QHash<std::uint16_t, QString> flagNames;
    // The level version in force: its Value and Change levels drawn as bands, the baseline the
    // Change levels are measured from (NaN: none found; they are then not drawn), the rank names
    // (0: normal, 1..3) and the levels that cannot be drawn as bands (rates), in words, for the
    // legend.
    std::vector<TrendLevel> levels;
    double baseline = std::nan("");
    QStringList statusNames;
    QStringList rateLevels;
};
