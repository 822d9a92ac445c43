#include "serial/Requests.h"

#include "serial/Commands.h"

namespace requests {

namespace {

QChar letterOf(const QString& partition) { return partition.isEmpty() ? QChar() : partition.at(0); }

} // namespace

Request readPartitions()
{
    return Request{.bytes = commands::dir(), .code = commands::ReadPartitions, .startReplyTimer = true};
}

Request listFiles(const QString& partition, const QString& target)
{
    return Request{.bytes = commands::dirPartition(letterOf(partition)),
                   .code = commands::ListFiles,
                   .target = target.isEmpty() ? partition : target,
                   .resetReplied = false};
}

std::optional<Request> copyFile(const QString& partition, const QString& name)
{
    if (partition.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> bytes = commands::copyFile(letterOf(partition), name);
    if (!bytes)
        return std::nullopt;
    return Request{.bytes = *bytes, .code = commands::CopyFile, .target = name, .detail = partition, .resetReplied = false};
}

Request copyPartition(const QString& partition)
{
    return Request{.bytes = commands::copyPartition(letterOf(partition)),
                   .code = commands::CopyPartition,
                   .target = partition,
                   .resetReplied = false};
}

Request deletePartition(const QString& partition)
{
    return Request{.bytes = commands::deletePartition(letterOf(partition)),
                   .code = commands::DeletePartition,
                   .target = partition,
                   .resetReplied = false};
}

Request deleteData(const QString& partition)
{
    return Request{.bytes = commands::deleteData(letterOf(partition)),
                   .code = commands::DeleteData,
                   .target = partition,
                   .resetReplied = false};
}

std::optional<Request> newFile(const QString& partition, const QString& name)
{
    if (partition.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> bytes = commands::newFile(letterOf(partition), name);
    if (!bytes)
        return std::nullopt;
    return Request{.bytes = *bytes, .code = commands::NewFile, .target = partition, .detail = name, .resetReplied = false};
}

Request listComponents(const QString& partition)
{
    return Request{.bytes = commands::dirPart(letterOf(partition)),
                   .code = commands::ListComponents,
                   .target = partition,
                   .resetReplied = false};
}

std::optional<Request> writeComponent(const QString& code, const QString& name)
{
    const std::optional<QByteArray> bytes = commands::writeComponent(code, name);
    if (!bytes)
        return std::nullopt;
    return Request{.bytes = *bytes, .code = commands::WriteComponent, .target = code, .resetReplied = false, .wait = false};
}

Request onTreeClick(Request request)
{
    request.releaseGate = true;
    return request;
}

} // namespace requests
