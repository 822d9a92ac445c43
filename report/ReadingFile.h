#pragma once

#include "report/Report.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstddef>
#include <functional>
#include <optional>

class QIODevice;

// What the AGS4 and the long CSV writers share: each reading of a gauge as they write it (its
// frequency, readout, status and mask), and writing a file through a replacing file in pieces.
namespace report::reading {

// The frequency of reading i as read: the gathered one, else the value of a gauge whose values
// are readings; nullopt when neither is known.
std::optional<double> frequency(const GaugeReport& gauge, std::size_t i);
// The readout of reading i: the gathered one, else the gauge's only readout; "" when not known.
QString readout(const GaugeReport& gauge, std::size_t i);
// The status of reading i in the report's language ("" for a reading the judge does not use: a
// masked one or one without a value).
QString status(const GaugeReport& gauge, std::size_t i, bool english);

// The notes of the masks in force, by gauge and UTC instant.
class Masks {
public:
    explicit Masks(const Content& content);
    // The note of the mask on the gauge's reading at `utc`; nullopt when none is known.
    std::optional<QString> note(const QString& gauge, qint64 utc) const;

private:
    QHash<QString, QString> m_notes;
};

// A UTC instant as text in a Qt date format ("yyyy-MM-dd HH:mm:ss").
QString utcText(qint64 utc, const QString& format);

// Text handed to a device in pieces of about 64 kB; the first failed write is kept.
class Pieces {
public:
    explicit Pieces(QIODevice& out);
    QByteArray& buffer() { return m_buffer; }
    // Hands the buffer over once it is large (every call) or always (`all`); false once a write failed.
    bool flush(bool all = false);
    const QString& reason() const { return m_reason; }

private:
    QIODevice& m_out;
    QByteArray m_buffer;
    QString m_reason;
};

// Writes `path` through a temporary file beside it: `body` fills it and returns false to stop
// (cancelled) or when a write failed (Pieces's reason); the file replaces `path` only when the
// body is complete, so a failure or a cancel leaves no file and an old one as it was.
WriteResult writeReplacing(const QString& path, const std::function<bool(Pieces&)>& body);

} // namespace report::reading
