#pragma once

#include "editor/ComponentWriter.h"
#include "platform/Timing.h"

#include <QDialog>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class CommandExchange;
class FileDialogs;
class Messenger;
class PreviewGrid;
class ComponentImport;
namespace sheets {
class Servers;
}

// The component-code editor (导入): builds a list of component codes and names, imported from a
// workbook or typed by hand, and writes it into the instrument row by row.
class Form3 : public QDialog {
    Q_OBJECT
public:
    struct Context {
        CommandExchange& exchange; // the main window's exchange: sends, COM_type and the gate
        Messenger& messenger;
        FileDialogs& dialogs;
        const sheets::Servers& servers;
        Timing timing;
    };

    explicit Form3(Context context, QWidget* parent = nullptr);
    ~Form3() override;

    // The instrument's reply to the pending write, handed over by the main window.
    void receive(const QString& reply);
    bool writing() const { return m_writer->running(); }
    ComponentWriter& writer() { return *m_writer; }

    // Controls.
    QLineEdit* Text1 = nullptr;      // path of the imported workbook
    QPushButton* Command1 = nullptr; // 文件导入
    QPushButton* Command3 = nullptr; // 手工添加
    QGroupBox* Frame2 = nullptr;     // 选择工作簿
    QComboBox* Combo1 = nullptr;
    QGroupBox* Frame3 = nullptr;     // 手工添加
    QLineEdit* Text2 = nullptr;      // code
    QLineEdit* Text3 = nullptr;      // name
    QPushButton* Command4 = nullptr; // 添加
    QTableView* MSFlexGrid1 = nullptr;
    QProgressBar* PB = nullptr;
    QPushButton* Command2 = nullptr; // 确认写入

    PreviewGrid& grid() { return *m_grid; }
    int ManualCount = 0;
    bool UsingWps = false;

    void ComFalse();
    void ComEnable();

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Combo1_Click();
    void OpenExl(const QString& path);
    void OpenWPS(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void buildUi();
    void Form_Load();
    void showPanel(QGroupBox* panel);
    void openWith(const QString& server, const QString& path, bool reportFailure);
    void releaseWorkbook();
    void onRowDone(int row, const QString& status);
    void onWriteFinished(const ComponentWriter::Summary& summary);
    void applyGridSizes();

    Context m_c;
    PreviewGrid* m_grid = nullptr;
    std::unique_ptr<ComponentImport> m_import;
    ComponentWriter* m_writer = nullptr;
    bool m_closing = false;
};
