#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The instrument's command set. Every command is one line of single-byte text, fields
// separated by one space, ended by CR LF, in a buffer of exactly that length.
namespace commands {

// Codes of the command awaiting a reply (the exchange's COM_type); 0 = none.
enum Code : qint16 {
    None = 0,
    ReadPartitions = 1,  // "DIR"
    ListFiles = 2,       // "DIR x"
    CopyFile = 3,        // "COPY x name"
    CopyPartition = 4,   // "COPY x"
    StoreReturn = 5,     // no command; the reply is kept for GetReturn
    Discard = 6,         // no command; the reply is dropped
    DeletePartition = 7, // "DEL x"
    DeleteData = 8,      // "DELDATA x"
    NewFile = 9,         // "NEWFILE x name"
    ListComponents = 10, // "DIRPART x"
    WriteComponent = 11, // "WR code name"
};

QByteArray dir();
QByteArray dirPartition(QChar x);
QByteArray deletePartition(QChar x);
QByteArray deleteData(QChar x);
QByteArray copyPartition(QChar x);
QByteArray dirPart(QChar x);

// Commands with a name operand: nullopt unless every operand is one field the line can carry:
// not empty, each character one byte in the code page and one the instrument shows (no blank,
// no control character such as a line break, no DEL). So no text reaches the line as a second
// field or as a second command.
std::optional<QByteArray> copyFile(QChar x, const QString& name);
std::optional<QByteArray> newFile(QChar x, const QString& name);
std::optional<QByteArray> writeComponent(const QString& code, const QString& name);

} // namespace commands
