#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "serial/CommandExchange.h"

class Messenger;

// The node selected in the partition tree, as the commands see it. Its kind comes from the
// tree, never from the length of its text: a file may well be called "C".
struct SelectedNode {
    enum class Kind {
        Root,
        Partition,
        File
    };
    QString text;
    QString key;
    Kind kind = Kind::Root;
    QString partition; // letter of the partition: the node itself, or a file's parent

    bool isRoot() const { return kind == Kind::Root; }
    bool isPartition() const { return kind == Kind::Partition; }
    bool isFile() const { return kind == Kind::File; }
};

// The commands of the main window that browse and change the instrument's storage: reading
// the partitions, the tree click, listing, copying, deleting, the new-file dialog and the
// component list. Each follows the exchange's sending sequence; their checks, messages and
// operands differ and are stated in each handler.
class StorageCommands {
public:
    using Selection = std::function<std::optional<SelectedNode>()>;
    // Shows the file-name dialog for the partition letter, modally; the dialog sends the
    // command itself and unlocks the controls again through the gate when it closes.
    using NewFileDialog = std::function<void(const QString& noteName)>;

    // Shows the component-code editor modally; it unlocks the controls again through the gate
    // when it closes.
    using ComponentEditor = std::function<void()>;

    StorageCommands(CommandExchange& exchange, Messenger& messenger, Selection selection, NewFileDialog newFileDialog,
                    ComponentEditor componentEditor);

    void Command2_Click(); // 读取数据分区
    void treeClick();      // a click on a node of the tree
    void Command3_Click(); // 查阅分区文件
    void Command5_Click(); // 拷贝文件
    void Command6_Click(); // 拷贝分区
    // The request that copies a partition, given its node text; Command6 sends it.
    static CommandExchange::Request CopyA(const QString& partition);
    void Command7_Click();  // 删除分区
    void Command8_Click();  // 删除分区数据
    void Command9_Click();  // 新建文件名
    void Command10_Click(); // 查阅分区元件编号
    void Command11_Click(); // 写入分区元件编号

    // What became of the new-file command for a name the dialog has approved.
    enum class NewFileSent {
        Sent,       // the command went out; the controls are usable again
        Unwritable, // a character of the name has no single-byte code: nothing sent
        LineBusy    // input is arriving (the operator took a while): nothing sent, try again
    };
    NewFileSent sendNewFile(const QString& noteName, const QString& name);

    // Told of a partition whose component list a command may have changed (a delete went out
    // for it), so that a list read earlier is read again.
    void setComponentsChanged(std::function<void(const QString& partition)> changed) { m_componentsChanged = std::move(changed); }

private:
    // Common part of the commands that act on one partition (delete, delete data, new file,
    // component list): the selection checks after the opening steps. Returns the selection
    // when the command may go on; otherwise sets the refusal's message (empty for the root:
    // nothing to do, nothing to say).
    std::optional<SelectedNode> partitionSelection(QString& refusal);
    void deleteCommand(bool dataOnly);

    CommandExchange& m_exchange;
    Messenger& m_messenger;
    Selection m_selection;
    NewFileDialog m_newFileDialog;
    ComponentEditor m_componentEditor;
    std::function<void(const QString&)> m_componentsChanged;
};
