#pragma once

#include "serial/CommandExchange.h"

#include <QModelIndex>
#include <QString>
#include <functional>
#include <optional>

class Messenger;
class PartitionTree;
class PreviewGrid;

// What the replies to the storage commands do, for any front end: the partition tree and the
// preview grid take listings and records, confirmations become the operator's messages and
// change the tree as the instrument confirmed.
namespace StorageReplies {

using Reply = CommandExchange::Reply;

// The instrument's answer to delete, delete data and new file: "OK" wins over "ERR"; a reply
// with neither is unclear and says nothing.
enum class Confirmation {
    Confirmed,
    Refused,
    Unclear
};
Confirmation confirmation(const QString& reply);
// The operator's text for a confirmation of the command with this code ("" when unclear).
QString confirmationText(qint16 code, Confirmation confirmation);

// A copy answered with the instrument's error: "ERR" is not a record. A file that is itself
// called "ERR" sends its name line first, so its copy is data.
bool isErrorAnswer(const Reply& reply);
// A partition copy sends each file's name line, then its records, in listing order. The first
// of `listed` (the partition's listing, as read) whose name line the copy lacks, in that order;
// nothing when every one is there. A copy that lacks one was cut short.
std::optional<QString> missingFile(const QByteArray& copy, const QStringList& listed);
QString missingFileText(); // %1 the file

// The read-error message of a copy (file or partition) that found nothing.
QString copyErrorText(qint16 code);
// A listing longer than any instrument holds.
QString listingTooLongText();

struct Consumers {
    PartitionTree& tree;
    PreviewGrid& grid;
    Messenger& messenger;
    // Called with a tree node that a reply filled, to be shown expanded (may be empty).
    std::function<void(const QModelIndex&)> expand;
    // Called when a copy (a file or a partition) has filled the grid, with the partition it
    // was of (may be empty). A partition copy that lacks a file the tree lists for it fills
    // nothing: the operator is told, and the preview stays as it was.
    std::function<void(const QString& partition)> copied;
    // Called when a reply has filled the grid, with the name of what the grid now shows: the
    // file copied, or the partition whose files or components it lists (may be empty).
    std::function<void(const QString& name)> previewed = {};
};

// Routes the replies of the storage commands (partitions, listing, copies, deletes, new
// file, component list) to the consumers.
void route(CommandExchange& exchange, const Consumers& consumers);

} // namespace StorageReplies
