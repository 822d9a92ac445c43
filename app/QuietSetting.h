#pragma once

class CommandExchange;
class QMainWindow;
class QMenu;
class QSettings;

// The window's setting of the quiet spell that ends a reply: an instrument that pauses inside
// its replies for longer than the spell has them cut, so the operator may lengthen it. The
// menu "设置" holds "接收静默时间…", which asks for the milliseconds; the value applies from the
// next reply on and is remembered (when settings are given).
QMenu* addQuietSetting(QMainWindow& window, CommandExchange& exchange, QSettings* settings);

// The remembered spell (or the exchange's own when none is) applied to the exchange.
void restoreQuietSetting(CommandExchange& exchange, QSettings* settings);
