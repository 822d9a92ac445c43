#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

// A small checker of the AGS4 rules a written file must keep, over its bytes:
// - every line ends with CR LF; a line is a blank line between groups or a row of fields, each
//   in double quotes (a quote inside doubled), separated by commas, nothing outside the quotes;
// - a row begins with GROUP, HEADING, UNIT, TYPE or DATA; each group is a GROUP row naming it
//   (four capitals), then HEADING (NAME_XXXX), UNIT and TYPE rows, then at least one DATA row,
//   each row as long as the HEADING row; a group appears once; blank lines only before a GROUP;
// - PROJ, TRAN, UNIT and TYPE are there; every unit of a UNIT row and every value of a PU field
//   is in UNIT_UNIT, every type of a TYPE row in TYPE_TYPE, every value of a PA field in ABBR
//   (with its heading);
// - the key fields of the groups this program writes are there and their combinations unique;
//   a MONG row has its LOCA row, a MOND row its MONG row;
// - a DT value is in its UNIT row's format, a 2DP value has two decimals.
// The problems, one line each; empty when the file keeps them.
namespace ags4check {

struct Group {
    QString name;
    QStringList headings, units, types;
    std::vector<QStringList> data;
    int column(const QString& heading) const { return int(headings.indexOf(heading)); }
};

struct File {
    std::vector<Group> groups;
    const Group* group(const QString& name) const;
};

// Parses the file; problems of form (quoting, line ends, row order) go to `problems`.
File parse(const QByteArray& bytes, QStringList* problems);
QStringList check(const QByteArray& bytes);

} // namespace ags4check
