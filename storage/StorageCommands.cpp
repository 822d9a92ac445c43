#include "storage/StorageCommands.h"

#include "platform/Messenger.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "storage/PartitionTree.h"

namespace {
const QString kSelectPartition = QStringLiteral("请选择分区，再操作！");
const QString kReadFileError = QStringLiteral("读取错误！请先选择您要查阅的文件，再操作！");
const QString kReadPartitionError = QStringLiteral("读取错误！请先选择您要查阅的数据区，再操作！");
const QString kSelectCopyPartition = QStringLiteral("请先选择您要拷贝的分区，再操作！");

// The bytes of "COPY x name" for a file node, x being its partition's letter.
std::optional<QByteArray> copyFileBytes(const SelectedNode& file)
{
    if (!file.isFile() || file.partition.isEmpty())
        return std::nullopt;
    return commands::copyFile(file.partition.at(0), file.text);
}
} // namespace

StorageCommands::StorageCommands(CommandExchange& exchange, ExchangeHost& host, Messenger& messenger,
                                 Selection selection, NewFileDialog newFileDialog, ComponentEditor componentEditor)
    : m_exchange(exchange), m_host(host), m_messenger(messenger), m_selection(std::move(selection)),
      m_newFileDialog(std::move(newFileDialog)), m_componentEditor(std::move(componentEditor))
{
}

void StorageCommands::Command2_Click()
{
    if (!m_exchange.begin())
        return;
    m_exchange.transmit(commands::dir(), commands::ReadPartitions, {.resetReplied = true, .startReplyTimer = true});
    m_host.ComEnable();
}

void StorageCommands::treeClick()
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = m_selection();
    // Without a selected node there is nothing to ask for.
    if (node && !node->isRoot()) {
        m_exchange.SelectedName = node->isPartition() ? node->partition : node->text;
        if (node->isPartition()) {
            m_exchange.transmit(commands::dirPartition(node->partition.at(0)), commands::ListFiles,
                                {.resetReplied = false});
        } else if (const auto bytes = copyFileBytes(*node)) {
            m_exchange.transmit(*bytes, commands::CopyFile, {.resetReplied = false});
        } else {
            // A name the line cannot carry one byte per character is refused, not mangled.
            m_exchange.SelectedName.clear();
            m_messenger.information(kReadFileError);
        }
    }
    // The click releases the gate itself; a reply that comes later is still dispatched.
    m_host.ComEnable();
    m_exchange.Busy = false;
}

void StorageCommands::refuse(const QString& message)
{
    m_messenger.information(message);
    m_host.ComEnable();
}

void StorageCommands::Command3_Click()
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = m_selection();
    if (!node)
        return refuse(kReadPartitionError);
    m_exchange.Replied = 0;
    m_exchange.SelectedName = node->text;
    if (node->isPartition())
        m_exchange.transmit(commands::dirPartition(node->partition.at(0)), commands::ListFiles,
                            {.resetReplied = false});
    m_host.ComEnable();
}

void StorageCommands::Command5_Click()
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = m_selection();
    if (!node)
        return refuse(kReadFileError);
    m_exchange.Replied = 0;
    m_exchange.SelectedName = node->text;
    if (!node->isFile())
        return refuse(kReadFileError);
    const auto bytes = copyFileBytes(*node);
    if (!bytes)
        return refuse(kReadFileError);
    m_exchange.transmit(*bytes, commands::CopyFile, {.resetReplied = false});
    m_host.ComEnable();
}

void StorageCommands::Command6_Click()
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = m_selection();
    if (!node)
        return refuse(kReadPartitionError);
    m_exchange.SelectedName = node->text;
    if (node->isRoot())
        return refuse(kSelectCopyPartition);
    if (node->isPartition()) {
        m_exchange.Replied = 0;
        CopyA(node->partition);
        m_exchange.commandWait();
        m_host.ComEnable();
        return;
    }
    refuse(kSelectPartition);
}

void StorageCommands::CopyA(const QString& partition)
{
    if (!m_host.connectedCaption()) {
        m_messenger.information(QStringLiteral("没有连接设备！请先连接设备，再操作！"));
        return;
    }
    if (m_exchange.SelectedName == PartitionTree::kRootText || partition.isEmpty())
        return;
    // Sent without the command wait: the caller waits.
    m_exchange.transmit(commands::copyPartition(partition.at(0)), commands::CopyPartition,
                        {.resetReplied = false, .wait = false});
}

std::optional<SelectedNode> StorageCommands::partitionSelection()
{
    const std::optional<SelectedNode> node = m_selection();
    if (node) {
        m_exchange.Replied = 0;
        m_exchange.SelectedName = node->text;
        if (node->isRoot()) {
            m_host.ComEnable(); // the root: nothing to do, nothing to say
            return std::nullopt;
        }
        if (node->isPartition())
            return node;
    }
    refuse(kSelectPartition);
    return std::nullopt;
}

void StorageCommands::deleteCommand(bool dataOnly)
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = partitionSelection();
    if (!node)
        return;
    const QChar letter = node->partition.at(0);
    // Erasing field data is not undoable: one misclick must not do it.
    const QString question = dataOnly ? QStringLiteral("确定要删除分区 %1 的数据吗？").arg(letter)
                                      : QStringLiteral("确定要删除分区 %1 吗？").arg(letter);
    if (!m_messenger.confirm(question)) {
        m_exchange.SelectedName.clear();
        m_exchange.Busy = false;
        m_host.ComEnable();
        return;
    }
    if (dataOnly)
        m_exchange.transmit(commands::deleteData(letter), commands::DeleteData, {.resetReplied = false});
    else
        m_exchange.transmit(commands::deletePartition(letter), commands::DeletePartition, {.resetReplied = false});
    m_host.ComEnable();
}

void StorageCommands::Command7_Click() { deleteCommand(false); }

void StorageCommands::Command8_Click() { deleteCommand(true); }

void StorageCommands::Command9_Click()
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = partitionSelection();
    if (!node)
        return;
    m_newFileDialog(node->partition);
}

bool StorageCommands::sendNewFile(const QString& noteName, const QString& name)
{
    const auto bytes = noteName.isEmpty() ? std::nullopt : commands::newFile(noteName.at(0), name);
    if (!bytes)
        return false;
    m_exchange.transmit(*bytes, commands::NewFile, {.resetReplied = false, .detail = name});
    m_host.ComEnable();
    return true;
}

void StorageCommands::Command10_Click()
{
    if (!m_exchange.begin())
        return;
    const std::optional<SelectedNode> node = partitionSelection();
    if (!node)
        return;
    m_exchange.transmit(commands::dirPart(node->partition.at(0)), commands::ListComponents,
                        {.resetReplied = false});
    m_host.ComEnable();
}

void StorageCommands::Command11_Click()
{
    if (!m_exchange.begin())
        return;
    m_exchange.Replied = 0;
    m_componentEditor(); // any node, or none, may be selected
}
