#include "app/StorageCommands.h"

#include "platform/Messenger.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "serial/Requests.h"
#include "storage/PartitionTree.h"
#include "storage/StorageReplies.h"

#include <QCoreApplication>

namespace {
QString selectPartition() { return QCoreApplication::translate("StorageCommands", "请选择分区，再操作！"); }
// The same words as a copy the instrument refused: choose the file, or the partition, first.
QString readFileError() { return StorageReplies::copyErrorText(commands::CopyFile); }
QString readPartitionError() { return StorageReplies::copyErrorText(commands::CopyPartition); }
QString selectCopyPartition()
{
    return QCoreApplication::translate("StorageCommands", "请先选择您要拷贝的分区，再操作！");
}

// "COPY x name" for a file node, x being its partition's letter.
std::optional<CommandExchange::Request> copyFileRequest(const SelectedNode& file)
{
    if (!file.isFile())
        return std::nullopt;
    return requests::copyFile(file.partition, file.text);
}
} // namespace

StorageCommands::StorageCommands(CommandExchange& exchange, Messenger& messenger, Selection selection,
                                 NewFileDialog newFileDialog, ComponentEditor componentEditor)
    : m_exchange(exchange), m_messenger(messenger), m_selection(std::move(selection)),
      m_newFileDialog(std::move(newFileDialog)), m_componentEditor(std::move(componentEditor))
{
}

using Step = CommandExchange::Step;
using Request = CommandExchange::Request;
using Refusal = CommandExchange::Refusal;

void StorageCommands::Command2_Click()
{
    m_exchange.send(requests::readPartitions());
}

void StorageCommands::treeClick()
{
    // The click releases the gate itself; a reply that comes later is still dispatched.
    m_exchange.send([&]() -> Step {
        const std::optional<SelectedNode> node = m_selection();
        // Without a selected node there is nothing to ask for.
        if (!node || node->isRoot())
            return Refusal{.releaseGate = true};
        if (node->isPartition())
            return requests::onTreeClick(requests::listFiles(node->partition));
        if (const auto request = copyFileRequest(*node))
            return requests::onTreeClick(*request);
        // A name the line cannot carry one byte per character is refused, not mangled.
        return Refusal{readFileError(), true};
    });
}

void StorageCommands::Command3_Click()
{
    m_exchange.send([&]() -> Step {
        const std::optional<SelectedNode> node = m_selection();
        if (!node)
            return Refusal{readPartitionError()};
        m_exchange.clearReplied();
        if (!node->isPartition())
            return Refusal{};
        return requests::listFiles(node->partition, node->text);
    });
}

void StorageCommands::Command5_Click()
{
    m_exchange.send([&]() -> Step {
        const std::optional<SelectedNode> node = m_selection();
        if (!node)
            return Refusal{readFileError()};
        m_exchange.clearReplied();
        const auto request = copyFileRequest(*node);
        if (!request)
            return Refusal{readFileError()};
        return *request;
    });
}

void StorageCommands::Command6_Click()
{
    m_exchange.send([&]() -> Step {
        const std::optional<SelectedNode> node = m_selection();
        if (!node)
            return Refusal{readPartitionError()};
        if (node->isRoot())
            return Refusal{selectCopyPartition()};
        if (!node->isPartition())
            return Refusal{selectPartition()};
        m_exchange.clearReplied();
        return CopyA(node->partition);
    });
}

CommandExchange::Request StorageCommands::CopyA(const QString& partition)
{
    return requests::copyPartition(partition);
}

std::optional<SelectedNode> StorageCommands::partitionSelection(QString& refusal)
{
    const std::optional<SelectedNode> node = m_selection();
    if (node) {
        m_exchange.clearReplied();
        if (node->isRoot())
            return std::nullopt; // the root: nothing to do, nothing to say
        if (node->isPartition())
            return node;
    }
    refusal = selectPartition();
    return std::nullopt;
}

void StorageCommands::deleteCommand(bool dataOnly)
{
    QString partition;
    const bool sent = m_exchange.send([&]() -> Step {
        QString refusal;
        const std::optional<SelectedNode> node = partitionSelection(refusal);
        if (!node)
            return Refusal{refusal};
        const QChar letter = node->partition.at(0);
        // Erasing field data is not undoable: one misclick must not do it.
        const QString question =
            dataOnly ? QCoreApplication::translate("StorageCommands", "确定要删除分区 %1 的数据吗？").arg(letter)
                     : QCoreApplication::translate("StorageCommands", "确定要删除分区 %1 吗？").arg(letter);
        if (!m_messenger.confirm(question))
            return Refusal{.releaseGate = true};
        partition = node->partition;
        return dataOnly ? requests::deleteData(node->partition) : requests::deletePartition(node->partition);
    });
    if (sent && m_componentsChanged)
        m_componentsChanged(partition);
}

void StorageCommands::Command7_Click() { deleteCommand(false); }

void StorageCommands::Command8_Click() { deleteCommand(true); }

void StorageCommands::Command9_Click()
{
    QString letter;
    const bool held = m_exchange.send([&]() -> Step {
        QString refusal;
        const std::optional<SelectedNode> node = partitionSelection(refusal);
        if (!node)
            return Refusal{refusal};
        letter = node->partition;
        return CommandExchange::Held{};
    });
    if (held)
        m_newFileDialog(letter);
}

StorageCommands::NewFileSent StorageCommands::sendNewFile(const QString& noteName, const QString& name)
{
    const std::optional<Request> request = requests::newFile(noteName, name);
    if (!request)
        return NewFileSent::Unwritable;
    if (!m_exchange.transmit(*request))
        return NewFileSent::LineBusy; // the dialog stays open with the name
    m_exchange.gate().unlockControls();
    return NewFileSent::Sent;
}

void StorageCommands::Command10_Click()
{
    m_exchange.send([&]() -> Step {
        QString refusal;
        const std::optional<SelectedNode> node = partitionSelection(refusal);
        if (!node)
            return Refusal{refusal};
        return requests::listComponents(node->partition);
    });
}

void StorageCommands::Command11_Click()
{
    const bool held = m_exchange.send([&]() -> Step {
        m_exchange.clearReplied();
        return CommandExchange::Held{}; // any node, or none, may be selected
    });
    if (held)
        m_componentEditor();
}
