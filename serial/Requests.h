#pragma once

#include "serial/CommandExchange.h"

#include <QString>
#include <optional>

// Every instrument command as it goes on the line: its bytes (serial/Commands), the code its
// reply is routed by, what it is for (target, detail) and how it is sent. Both front ends send
// these and nothing else. A partition is named by its letter, the first character of
// `partition`; an empty `partition` goes out as '?', which the instrument refuses.
//
// Commands with a name operand are nullopt when the name cannot go on the line as one field
// (commands::copyFile): nothing is sent for it.
namespace requests {

using Request = CommandExchange::Request;

// "DIR": the partitions. The only command that arms the reply timer (Timer1), and the only
// one that clears replied() itself.
Request readPartitions();
// "DIR x": the files of the partition; the reply is routed to `target`, the partition unless
// the caller names the node otherwise.
Request listFiles(const QString& partition, const QString& target = {});
// "COPY x name": one file, its reply for the file `name` of the partition (detail).
std::optional<Request> copyFile(const QString& partition, const QString& name);
// "COPY x": the whole partition.
Request copyPartition(const QString& partition);
// "DEL x" and "DELDATA x".
Request deletePartition(const QString& partition);
Request deleteData(const QString& partition);
// "NEWFILE x name": the new file `name` (detail) in the partition.
std::optional<Request> newFile(const QString& partition, const QString& name);
// "DIRPART x": the component list of the partition.
Request listComponents(const QString& partition);
// "WR code name": one row of a component write. Sent within a gate the writer holds, with no
// command wait: the writer waits for the answer itself.
std::optional<Request> writeComponent(const QString& code, const QString& name);

// The request as a click on a tree node sends it: the gate is freed once it is out, so a
// reply that comes later is still dispatched while the tree stays usable.
Request onTreeClick(Request request);

} // namespace requests
