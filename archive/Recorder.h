#pragma once

#include "archive/Archive.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class PreviewGrid;

namespace archive {

// The archive as the window and the command line keep it: opened at its path on first use,
// every completed copy stored, and the operator's texts for what happened.
class Recorder {
public:
    explicit Recorder(QString path = Archive::defaultPath());

    // The open archive, or nullptr when it cannot be opened (failure() says why).
    Archive* archive();
    // Why the archive could not be opened, in the operator's words ("" when it is open).
    QString failure() const { return m_failure; }
    // Once, after opening: that an unusable database was set aside ("" if none was).
    QString takeNotice();

    // Stores the records a copy of `partition` left in the grid; the status text
    // ("已存档：新增 12 条记录，共 40 条" or why it was not stored).
    // `cancelled` is asked while the records are stored; once it says yes, none are kept.
    QString storeCopy(const PreviewGrid& grid, const QString& partition,
                      const QDateTime& at = QDateTime::currentDateTimeUtc(),
                      const std::function<bool()>& cancelled = {});
    // Whether the last storeCopy() kept the records (its text says so in the operator's words).
    bool stored() const { return m_stored; }

    // The operator's words for an archive failure and for a database set aside.
    static QString errorText(const Error& error);
    static QString setAsideText(const SetAside& setAside);

private:
    QString m_path;
    std::unique_ptr<Archive> m_archive;
    bool m_tried = false;
    QString m_failure;
    QString m_notice;
    bool m_stored = false;
};

} // namespace archive
