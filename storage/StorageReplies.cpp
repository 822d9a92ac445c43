#include "storage/StorageReplies.h"

#include "grids/GridLayouts.h"
#include "platform/Messenger.h"
#include "platform/WireText.h"
#include "serial/Commands.h"
#include "storage/PartitionTree.h"

#include <QCoreApplication>

namespace StorageReplies {

Confirmation confirmation(const QString& reply)
{
    if (reply.contains(QLatin1String("OK")))
        return Confirmation::Confirmed;
    if (reply.contains(QLatin1String("ERR")))
        return Confirmation::Refused;
    return Confirmation::Unclear;
}

QString confirmationText(qint16 code, Confirmation c)
{
    if (c == Confirmation::Unclear)
        return {};
    const bool ok = c == Confirmation::Confirmed;
    switch (code) {
    case commands::DeletePartition:
        return ok ? QCoreApplication::translate("StorageReplies", "已成功删除分区！")
                  : QCoreApplication::translate("StorageReplies", "删除分区失败，请稍后重试！");
    case commands::DeleteData:
        return ok ? QCoreApplication::translate("StorageReplies", "已成功删除分区数据！")
                  : QCoreApplication::translate("StorageReplies", "删除分区数据失败，请稍后重试！");
    case commands::NewFile:
        return ok ? QCoreApplication::translate("StorageReplies", "文件创建成功！")
                  : QCoreApplication::translate("StorageReplies", "文件创建失败，请稍后重试！");
    default: return {};
    }
}

bool isErrorAnswer(const Reply& reply)
{
    // Replies routed as bytes are checked as bytes: a large reply is never copied for this.
    bool err = false;
    if (!reply.bytes.isEmpty())
        err = reply.bytes.size() <= 16 && QByteArrayView(reply.bytes).trimmed() == "ERR";
    else
        err = QStringView(reply.text).trimmed() == QLatin1String("ERR");
    const bool fileCopy = reply.code == commands::CopyFile;
    return err && !(fileCopy && reply.target == QLatin1String("ERR"));
}

std::optional<QString> missingFile(const QByteArray& copy, const QStringList& listed)
{
    qsizetype next = 0; // the listed file whose name line comes next
    QByteArray wanted = next < listed.size() ? WireText::encode(listed[next]) : QByteArray();
    for (qsizetype at = 0; at < copy.size() && next < listed.size();) {
        qsizetype end = copy.indexOf('\n', at);
        if (end < 0)
            end = copy.size();
        QByteArrayView line(copy.constData() + at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == wanted && ++next < listed.size())
            wanted = WireText::encode(listed[next]);
        at = end + 1;
    }
    if (next < listed.size())
        return listed[next];
    return std::nullopt;
}

QString missingFileText()
{
    return QCoreApplication::translate(
        "StorageReplies", "拷贝的数据中缺少文件“%1”（分区的文件列表中有此文件），数据不完整，未显示也未存档！请重新拷贝。");
}

QString copyErrorText(qint16 code)
{
    return code == commands::CopyFile
             ? QCoreApplication::translate("StorageReplies", "读取错误！请先选择您要查阅的文件，再操作！")
             : QCoreApplication::translate("StorageReplies", "读取错误！请先选择您要查阅的数据区，再操作！");
}

QString listingTooLongText()
{
    return QCoreApplication::translate("StorageReplies",
                                       "收到的文件列表超过 %1 行，不是仪器的文件列表，分区树保持不变！")
        .arg(PartitionTree::kMaxListingLines);
}

void route(CommandExchange& exchange, const Consumers& c)
{
    auto expand = [c](const QModelIndex& index) {
        if (index.isValid() && c.expand)
            c.expand(index);
    };
    exchange.route(commands::ReadPartitions, [c, expand](const Reply& r) { expand(c.tree.Ini_Tree(r.text)); });
    exchange.route(commands::ListFiles, [c, expand](const Reply& r) {
        bool tooLong = false;
        expand(c.tree.Bulid_Tree(r.target, r.text, &tooLong));
        if (tooLong)
            c.messenger.information(listingTooLongText());
    });
    auto copy = [c](Reply& r) {
        if (r.target.isEmpty())
            return; // the command was not for a node
        // The preview keeps what it showed when the instrument has nothing to copy.
        if (isErrorAnswer(r)) {
            c.messenger.information(copyErrorText(r.code));
            return;
        }
        if (r.code == commands::CopyPartition) {
            QStringList listed;
            if (const PartitionTree::Node* partition = c.tree.itemByKey(r.target))
                for (int row = 0; row < partition->rowCount(); ++row)
                    listed << partition->child(row)->text();
            if (const std::optional<QString> missing = missingFile(r.bytes, listed)) {
                c.messenger.information(missingFileText().arg(*missing));
                return;
            }
        }
        grids::FillGridFromWire(c.grid, std::move(r.bytes));
        if (c.previewed)
            c.previewed(r.target);
        if (c.copied)
            c.copied(r.code == commands::CopyPartition ? r.target : r.detail);
    };
    // Copies are the large replies: the grid takes them as they came off the line.
    exchange.routeBytes(commands::CopyFile, copy);
    exchange.routeBytes(commands::CopyPartition, copy);
    exchange.route(commands::ListComponents, [c](const Reply& r) {
        if (r.target.isEmpty())
            return;
        grids::FillYJGrid(c.grid, r.text);
        if (c.previewed)
            c.previewed(r.target);
    });
    auto confirmed = [c, expand](const Reply& r) {
        const Confirmation answer = confirmation(r.text);
        const QString text = confirmationText(r.code, answer);
        if (!text.isEmpty())
            c.messenger.information(text);
        if (answer != Confirmation::Confirmed)
            return;
        if (r.code == commands::DeletePartition)
            c.tree.removeFiles(r.target);
        else if (r.code == commands::NewFile)
            expand(c.tree.addFile(r.target, r.detail));
    };
    exchange.route(commands::DeletePartition, confirmed);
    exchange.route(commands::DeleteData, confirmed);
    exchange.route(commands::NewFile, confirmed);
}

} // namespace StorageReplies
