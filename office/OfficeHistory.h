#pragma once

#include "office/PgConnection.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// Reading the office's history on the server itself, as a viewer with the read-only role does:
// one gauge's trend, and what the office holds (its sizes, by whom it was sent).
namespace office {

struct TrendPoint {
    qint64 utc = 0;
    double readingHz = 0;
    double temperatureC = 0;
    bool hasTemperature = false;
};

// One gauge's readings with a UTC instant in [fromUtc, toUtc], oldest first, from every slot it
// sat in (through the office's assignments); readings without a time or a number left out.
std::optional<std::vector<TrendPoint>> gaugeTrend(PgConnection& conn, const QString& gauge, qint64 fromUtc,
                                                  qint64 toUtc, Failure* failure);

struct SourceTotal {
    QString source; // the archive's identity
    QString pc;
    QString user;
    qint64 downloads = 0;
    qint64 readings = 0; // that reached the office first from it
    QDateTime lastSync;
};
struct OfficeTotals {
    qint64 readings = 0;
    qint64 gauges = 0;
    qint64 readouts = 0;
    qint64 bytes = 0; // the schema's tables and indexes on disk
    std::vector<SourceTotal> sources;
};
std::optional<OfficeTotals> officeTotals(PgConnection& conn, Failure* failure);

} // namespace office
