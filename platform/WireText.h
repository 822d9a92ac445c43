#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Text on the serial line is in the instrument's ANSI code page: the system code page on
// Windows, GBK (code page 936) elsewhere. Command lines are mostly ASCII; replies may carry
// double-byte characters.
namespace WireText {

// Decodes a whole reply. Called once per reply, so a double-byte character split across
// two serial chunks is never garbled.
QString decode(const QByteArray& bytes);

// A whole reply as UTF-8, for consumers that keep text as UTF-8. A reply in ASCII (the common
// case) is returned as it is, without a copy.
QByteArray toUtf8(QByteArray bytes);

// Encodes text in the code page; characters without a code become '?'.
QByteArray encode(const QString& text);

// Encodes text only if every character has a single-byte code, as command operands need.
std::optional<QByteArray> encodeSingleByte(const QString& text);

// The character's code in the code page as a signed 16-bit number, the way the instrument's
// checks read it: a single-byte character gives 0..255, a double-byte character comes out
// negative, and a character the code page lacks gives -1.
int signedCode(QChar ch);

// True for a character the instrument can show in a name: a code of at least 33 and not 127
// (no blanks, control characters, DEL or double-byte characters).
bool isShowable(QChar ch);

} // namespace WireText
