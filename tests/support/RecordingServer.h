#pragma once

#include "export/Automation.h"

#include <QMap>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// A spreadsheet server for tests: it keeps workbooks in memory, logs every call in order, and
// can be told to fail at a given call.
class RecordingServer {
public:
    struct Sheet {
        QString name;
        std::map<std::pair<int, int>, QVariant> cells; // (row, column) from 1 -> QString or double
    };
    using Book = std::vector<Sheet>;

    // Workbooks that "exist" at a path. A path not listed opens as a copy of the template
    // (one sheet "Sheet1") if a file is there on disk, and fails otherwise.
    QMap<QString, Book> files;
    // The state of each workbook when it was last saved.
    QMap<QString, Book> saved;
    // Every call, e.g. "create Excel.Application", "open /x.xls", "visible 0", "sheet Sheet1",
    // "name A-1", "text 1 1 编号", "number 2 2 123.4", "add after A-1", "save", "close 1", "quit".
    QStringList log;
    // A call whose log entry starts with this text throws instead (after being logged);
    // failAt picks the n-th such call (1 = the first).
    QString failOn;
    int failAt = 1;
    // Called with every log entry before any scripted failure, e.g. to end the process there.
    std::function<void(const QString& entry)> onCall;

    // Registers this server under an identifier.
    void install(sheets::Servers& servers, const QString& identifier);

    // Called by the fakes.
    void record(const QString& entry);

private:
    QString m_counting;
    int m_matches = 0;
};
