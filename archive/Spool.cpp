#include "archive/Spool.h"

#include "export/FailureText.h"
#include "export/ReplacingFile.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cerrno>
#include <unistd.h>
#endif

namespace archive::Spool {

namespace {

constexpr quint32 kMagic = 0x4B544D43; // "KTMC"
// Format 1 kept no origin; format 2 keeps the readout and the copy's component list after the
// time of the copy.
constexpr quint32 kFormat = 2;
constexpr quint8 kRecordMark = 1;
constexpr quint8 kEndMark = 0;
const QString kSuffix = QStringLiteral(".copy");
const QString kTaken = QStringLiteral(".taken-");

bool alive(qint64 pid)
{
#ifdef Q_OS_UNIX
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
#else
    Q_UNUSED(pid);
    return true;
#endif
}

qint64 ownPid() { return QCoreApplication::applicationPid(); }

// A kept copy read back: every record, in order, through buffers of its own.
struct Reader {
    QFile file;
    QDataStream in;
    QDateTime at;
    CopyOrigin origin;
    QByteArray fields[6];
    qint64 read = 0;
    bool ended = false;
    bool broken = false;

    explicit Reader(const QString& path) : file(path)
    {
        if (!file.open(QIODevice::ReadOnly)) {
            broken = true;
            return;
        }
        in.setDevice(&file);
        in.setVersion(QDataStream::Qt_6_0);
        quint32 magic = 0, format = 0;
        bool known = false;
        qint64 ms = 0;
        in >> magic >> format >> known >> ms;
        if (known)
            at = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
        if (format == kFormat) {
            bool named = false;
            in >> origin.readout >> named;
            if (named) {
                ComponentNames names;
                quint32 count = 0;
                in >> names.partition >> count;
                for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
                    QString code, name;
                    in >> code >> name;
                    names.entries.emplace_back(code, name);
                }
                origin.names = std::move(names);
            }
        }
        broken = in.status() != QDataStream::Ok || magic != kMagic || (format != 1 && format != kFormat);
    }
    bool next(RecordView& out)
    {
        if (broken || ended)
            return false;
        quint8 mark = 0;
        in >> mark;
        if (mark == kEndMark) {
            quint64 count = 0;
            in >> count;
            ended = true;
            broken = in.status() != QDataStream::Ok || count != quint64(read) || !in.atEnd();
            return false;
        }
        for (QByteArray& f : fields)
            in >> f;
        if (mark != kRecordMark || in.status() != QDataStream::Ok) {
            broken = true;
            return false;
        }
        ++read;
        out = RecordView{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
        return true;
    }
};

// Whether the file is a whole copy of ours, read through once.
bool whole(const QString& path)
{
    Reader reader(path);
    RecordView r;
    while (reader.next(r)) {
    }
    return reader.ended && !reader.broken;
}

QStringList named(const QString& folder, const QString& pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
}

bool known(const Archive& archive, qint64 readout)
{
    const std::vector<Readout> all = archive.readouts();
    return std::any_of(all.begin(), all.end(), [&](const Readout& r) { return r.id == readout; });
}

// The unnamed readout's id, made when the archive has none; 0 when it cannot be made.
qint64 unnamed(Archive& archive)
{
    if (const std::optional<Readout> r = archive.readout(unnamedReadoutName()))
        return r->id;
    if (const std::optional<Readout> made = archive.addReadout(unnamedReadoutName(), QString(), nullptr))
        return made->id;
    const std::optional<Readout> meanwhile = archive.readout(unnamedReadoutName()); // made by another program
    return meanwhile ? meanwhile->id : 0;
}

} // namespace

QString folderOf(const QString& archivePath) { return QFileInfo(archivePath).absoluteFilePath() + QStringLiteral(".spool"); }

bool keep(const QString& archivePath, const RecordSource& records, const QDateTime& downloadedAt,
          const CopyOrigin& origin, QString* failure)
{
    const QString folder = folderOf(archivePath);
    if (!QDir().mkpath(folder)) {
        *failure = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    // The name sorts by the time the copy was kept: copies are stored in the order they came.
    const QString name = QStringLiteral("%1-%2-%3%4")
                             .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(ownPid())
                             .arg(QUuid::createUuid().toString(QUuid::Id128).left(8), kSuffix);
    // Written beside its final name and renamed only when whole, so a copy being kept is never
    // taken for one that waits; failures are said in the operator's words.
    ReplacingFile file(folder + QLatin1Char('/') + name);
    if (!file.open(failure))
        return false;
    errno = 0;
    QDataStream out(&file.device());
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kFormat << downloadedAt.isValid() << (downloadedAt.isValid() ? downloadedAt.toMSecsSinceEpoch() : qint64(0));
    out << origin.readout << origin.names.has_value();
    if (origin.names) {
        out << origin.names->partition << quint32(origin.names->entries.size());
        for (const auto& [code, name] : origin.names->entries)
            out << code << name;
    }
    RecordView r;
    quint64 count = 0;
    while (records(r)) {
        out << kRecordMark;
        for (QByteArrayView f : {r.partition, r.file, r.code, r.time, r.reading, r.temperature})
            out << QByteArray::fromRawData(f.data() ? f.data() : "", f.size());
        ++count;
    }
    out << kEndMark << count;
    if (out.status() != QDataStream::Ok) {
        // A short write (a full disk, a size limit) sets no error of the device: errno says why.
        const int err = errno ? errno : EIO;
        file.cancel();
        *failure = FailureText::reason(workbook::errorKindOfErrno(err), QString::fromLocal8Bit(std::strerror(err)));
        return false;
    }
    return file.commit(failure);
}

int waiting(const QString& archivePath)
{
    const QString folder = folderOf(archivePath);
    return int(named(folder, QLatin1Char('*') + kSuffix).size() + named(folder, QLatin1Char('*') + kSuffix + kTaken + QLatin1Char('*')).size());
}

Drained drain(Archive& archive)
{
    Drained out;
    const QString folder = folderOf(archive.path());
    if (archive.readOnly() || !QFileInfo(folder).isDir())
        return out;
    QDir dir(folder);
    // A copy taken by a program that ended before it was stored waits again.
    for (const QString& taken : named(folder, QLatin1Char('*') + kSuffix + kTaken + QLatin1Char('*'))) {
        const qsizetype at = taken.lastIndexOf(kTaken);
        if (!alive(taken.mid(at + kTaken.size()).toLongLong()))
            dir.rename(taken, taken.left(at));
    }
    const QString mine = kTaken + QString::number(ownPid());
    for (const QString& name : named(folder, QLatin1Char('*') + kSuffix)) {
        // Taken by renaming: of programs draining at the same time, one gets each copy.
        if (!dir.rename(name, name + mine))
            continue;
        const QString path = dir.filePath(name + mine);
        if (!whole(path)) {
            dir.rename(name + mine, name + QStringLiteral(".unreadable"));
            ++out.unreadable;
            continue;
        }
        auto reader = std::make_shared<Reader>(path);
        // A copy kept without its readout, or of a readout this archive does not know (it was
        // kept for an archive since set aside), is stored under the unnamed readout.
        CopyOrigin origin = reader->origin;
        if (origin.readout <= 0 || !known(archive, origin.readout)) {
            origin.readout = unnamed(archive);
            origin.names.reset();
        }
        const std::optional<StoreResult> stored =
            origin.readout > 0 ? archive.store([reader](RecordView& r) { return reader->next(r); }, reader->at, origin, nullptr)
                               : std::nullopt;
        const bool complete = reader->ended && !reader->broken;
        reader.reset();
        if (!stored || !complete) {
            dir.rename(name + mine, name);
            break;
        }
        dir.remove(name + mine);
        ++out.stored;
        out.added += stored->added;
    }
    return out;
}

} // namespace archive::Spool
