#pragma once

#include <QColor>

// The colours of a gauge's status wherever the window shows one (the verdict panel, the preview's
// rows, the trend plot): amber, orange and red for ranks 1, 2 and 3, green for normal, and a light
// violet for a reading with quality flags only.
namespace statuscolours {

inline QColor of(int status)
{
    switch (status) {
    case 0:
        return QColor(0x2c, 0xa0, 0x2c);
    case 1:
        return QColor(0xff, 0xbf, 0x00);
    case 2:
        return QColor(0xff, 0x7f, 0x0e);
    default:
        return QColor(0xd6, 0x27, 0x28);
    }
}

// A row's background: the status' colour, light enough for black text on it.
inline QColor background(int status)
{
    switch (status) {
    case 1:
        return QColor(0xff, 0xe8, 0xa3);
    case 2:
        return QColor(0xff, 0xcc, 0x99);
    case 3:
        return QColor(0xf5, 0xa8, 0xa8);
    default:
        return QColor(0xd8, 0xf0, 0xd8);
    }
}

inline QColor flagged() { return QColor(0x94, 0x67, 0xbd); }
inline QColor flaggedBackground() { return QColor(0xe8, 0xde, 0xf5); }

} // namespace statuscolours
