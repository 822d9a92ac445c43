#pragma once

#include <QString>

// The lenient reading of a number in a text, as the instrument's readings and the editor's
// cells are read: spaces, tabs and line feeds anywhere are ignored; the longest leading number
// counts (sign, digits, "." as the decimal point whatever the locale, an exponent after E or D
// in either case); "&H" and "&O" introduce a hexadecimal or octal integer; a text that does not
// begin with a number gives 0. "12 34" -> 1234, "-5.2x" -> -5.2, "-" -> 0.
double Val(const QString& text);
