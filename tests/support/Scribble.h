#pragma once

// Damage done to a file behind the program's back, as a disk or another program might: the
// one occurrence of some bytes replaced by others of the same length.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <gtest/gtest.h>

namespace testing_damage {

// How SQLite keeps a real number in a record: eight bytes, big-endian.
inline QByteArray bigEndian(double v)
{
    QByteArray out(8, '\0');
    qToBigEndian(v, out.data());
    return out;
}

// Replaces the one occurrence of `from` in the file at `path` by `to`.
inline void scribble(const QString& path, const QByteArray& from, const QByteArray& to)
{
    ASSERT_EQ(from.size(), to.size());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite)) << f.errorString().toStdString();
    QByteArray bytes = f.readAll();
    ASSERT_EQ(bytes.count(from), 1) << from.toHex().toStdString();
    bytes.replace(bytes.indexOf(from), from.size(), to);
    ASSERT_TRUE(f.seek(0) && f.write(bytes) == bytes.size());
}

// A stored reading's number turned into a far-off one (-5.8e22 for 3123.4) while its text stays.
inline void scribbleNumber(const QString& path, double stored)
{
    QByteArray far = bigEndian(stored);
    far[0] = char(0xC4);
    scribble(path, bigEndian(stored), far);
}

} // namespace testing_damage
