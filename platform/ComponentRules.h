#pragma once

#include <QString>

// What the instrument takes as a component's code and name, for every subsystem that reads or
// writes them (the component editor, the archive's slot assignments and gauge register).
// A code is the partition's letter A..J and a number 001..200 in three digits, e.g. "A001"; a
// name is 1 to 10 characters the instrument can show (WireText::isShowable: printable ASCII,
// no blank), e.g. "QRVA000001".
namespace ComponentRules {

inline constexpr int kMaxNameLength = 10;

// Every character of `name` is one the instrument can show (true for an empty name).
bool showable(const QString& name);
// 1 to kMaxNameLength showable characters.
bool isName(const QString& name);
// A letter A..J.
bool isPartitionLetter(QChar letter);
// A letter A..J and three digits 001..200, as the instrument lists it.
bool isCode(const QString& code);

} // namespace ComponentRules
