#include "app/HelpMenu.h"

#include "platform/SupportLog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace help {
namespace {

// A window of rich text with a close button; the guide and the shortcuts are shown in one.
void showText(QWidget* parent, const QString& title, const QString& html, const QString& name)
{
    QDialog dialog(parent);
    dialog.setObjectName(name);
    dialog.setWindowTitle(title);
    auto* text = new QTextBrowser(&dialog);
    text->setOpenExternalLinks(false);
    text->setHtml(html);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.resize(640, 560);
    dialog.exec();
}

} // namespace

void describe(const QList<Command>& commands)
{
    for (const Command& c : commands) {
        c.button->setShortcut(c.keys);
        c.button->setToolTip(c.keys.isEmpty() ? c.tip
                                              : c.tip + QStringLiteral("（") + c.keys.toString(QKeySequence::NativeText) +
                                                    QStringLiteral("）"));
    }
}

void setCaption(QPushButton* button, const QString& caption)
{
    const QKeySequence keys = button->shortcut();
    button->setText(caption);
    button->setShortcut(keys);
}

QMenu* addMenu(QMainWindow& window, const QList<QPushButton*>& commands)
{
    QMenu* menu = window.menuBar()->addMenu(QCoreApplication::translate("Help", "帮助(&H)"));
    menu->setObjectName(QStringLiteral("helpMenu"));
    QAction* guide = menu->addAction(QCoreApplication::translate("Help", "使用说明"));
    guide->setShortcut(QKeySequence::HelpContents);
    QObject::connect(guide, &QAction::triggered, &window,
                     [&window] { showText(&window, QCoreApplication::translate("Help", "使用说明"), guideHtml(), QStringLiteral("guide")); });
    QAction* keys = menu->addAction(QCoreApplication::translate("Help", "键盘快捷键"));
    QObject::connect(keys, &QAction::triggered, &window, [&window, commands] {
        showText(&window, QCoreApplication::translate("Help", "键盘快捷键"), shortcutsHtml(commands), QStringLiteral("shortcuts"));
    });
    menu->addSeparator();
    QAction* logs = menu->addAction(QCoreApplication::translate("Help", "打开日志文件夹"));
    logs->setObjectName(QStringLiteral("openLogFolder"));
    logs->setData(SupportLog::defaultFolder());
    QObject::connect(logs, &QAction::triggered, &window, [] {
        const QString folder = SupportLog::defaultFolder();
        QDir().mkpath(folder);
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    menu->addSeparator();
    QAction* about = menu->addAction(QCoreApplication::translate("Help", "关于"));
    QObject::connect(about, &QAction::triggered, &window, [&window] {
        QMessageBox box(QMessageBox::NoIcon, QCoreApplication::translate("Help", "关于"), aboutHtml(), QMessageBox::Ok, &window);
        box.setObjectName(QStringLiteral("about"));
        box.setTextFormat(Qt::RichText);
        box.exec();
    });
    return menu;
}

QString shortcutsHtml(const QList<QPushButton*>& commands)
{
    QString rows;
    for (const QPushButton* b : commands) {
        if (b->shortcut().isEmpty())
            continue;
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(b->shortcut().toString(QKeySequence::NativeText).toHtmlEscaped(), b->text().toHtmlEscaped());
    }
    return QStringLiteral("<table cellpadding=\"4\">") + rows +
           QStringLiteral("<tr><td><b>Esc</b></td><td>%1</td></tr>").arg(QCoreApplication::translate("Help", "停止接收")) +
           QStringLiteral("<tr><td><b>F1</b></td><td>%1</td></tr>").arg(QCoreApplication::translate("Help", "使用说明")) +
           QStringLiteral("<tr><td><b>Tab</b></td><td>%1</td></tr>").arg(QCoreApplication::translate("Help", "在控件之间移动；Enter 按下当前按钮")) +
           QStringLiteral("</table>");
}

// The history tab and the calibration table, as the guide explains them.
QString guideHistoryHtml()
{
    return QCoreApplication::translate("Help", "<h3>历史数据</h3>"
                                               "<p>“历史数据”列出档案中的元件、记录数和时间范围；“标定”一列显示有标定的元件的工程单位，"
                                               "没有标定的元件显示“无 (Hz)”。选择一个或多个元件（按住 Ctrl 多选）显示趋势："
                                               "每种单位一根纵轴，温度在右边，图例中每条线都注明单位。勾选“换算为工程单位”时，"
                                               "没有标定的元件仍显示读数 (Hz)，下方的说明会列出这些元件。滚轮缩放，拖动平移，双击恢复显示全部；"
                                               "几个读数间隔以上没有记录的时段不连线。“导出数据…”把所选记录导出为 .xlsx 或 .csv，"
                                               "导出时显示进度，可以取消。</p>"
                                               "<h3>标定表</h3>"
                                               "<p>“标定表…”中每行一个元件。列：元件编号、仪器类型、单位、读数类型（频率 或 模数 = f²/1000）、"
                                               "公式（线性 或 多项式）、G、方向（R1-R0 或 R0-R1）、A、B、C、现场零点（是 或 否）、R0、T0、K。"
                                               "读数类型、公式、方向和现场零点从下拉列表中选择。"
                                               "“导入…”读取工作簿（.xls、.xlsx 的第一个工作表）或 CSV 文件，第一行为列名，列的顺序不限；"
                                               "CSV 可以是 UTF-8（带或不带 BOM）或 GBK（中文表格软件保存的“CSV (逗号分隔)”）。"
                                               "导入按元件编号合并：表中已有的元件替换其行，其余的添加在后面；"
                                               "无法读取的文件（例如引号没有结束）不改变标定表。出错的行按表格中的行号列出，并指出每个无法识别的单元格。</p>");
}

// What the window does while a save runs, and how a name becomes a file.
QString guideSavingHtml()
{
    return QCoreApplication::translate("Help", "<h3>保存时</h3>"
                                               "<p>保存进行时，命令按钮不可用，直到保存结束，连接断开也一样。保存时关闭窗口，程序在保存完成后再关闭窗口，并在状态栏说明。"
                                               "输入的文件名没有扩展名时，保存为同名的 .xls；同名文件已存在时先询问是否替换。"
                                               "仪器正在应答时不能保存预览，请等接收完成；建议的文件名是预览中显示的文件或分区。</p>");
}

QString guideHtml()
{
    return guideMainHtml() + guideHistoryHtml() + guideSavingHtml();
}

QString guideMainHtml()
{
    return QCoreApplication::translate("Help", "<h2>KTM-520 数据管理 使用说明</h2>"
                                               "<h3>连接仪器</h3>"
                                               "<p>用串口线连接仪器并打开仪器电源。在“串口”中选择仪器所在的串口（提示框显示对应的设备），"
                                               "选择与仪器相同的波特率、校验位和停止位，按“连接”。按钮变为“已连接”后即可操作；"
                                               "“断开”关闭串口。程序记住上次使用的串口和参数。</p>"
                                               "<h3>浏览与拷贝</h3>"
                                               "<p>“读取数据分区”向仪器询问有哪些分区，并重建左边的树。单击分区列出其中的文件"
                                               "（“查阅分区文件”也一样）；单击文件把它拷贝到右边的预览中。“拷贝文件”和“拷贝分区”"
                                               "拷贝选中的文件或整个分区。接收时状态栏显示已接收的字节和速度，“停止接收”（Esc）放弃本次接收。"
                                               "每次完整的拷贝都存入档案，可在“历史数据”中查看趋势。</p>"
                                               "<h3>保存</h3>"
                                               "<p>“保存预览文件&lt;==”把预览保存为 .xls、.xlsx 或 .csv，每个文件一个工作表。</p>"
                                               "<h3>删除与新建</h3>"
                                               "<p>“删除分区”和“删除分区数据”在删除之前会再次询问（默认为“否”）。“新建文件名”在选中的分区中建立文件。</p>"
                                               "<h3>元件编号</h3>"
                                               "<p>“查阅分区元件编号”显示分区的元件编号表；“写入分区元件编号”打开编辑窗口，可从工作簿导入或手工输入，"
                                               "再逐行写入仪器。</p>"
                                               "<h3>提示信息的含义</h3>"
                                               "<ul>"
                                               "<li><b>没有连接设备！请先连接设备，再操作！</b>：先按“连接”。</li>"
                                               "<li><b>等待上次命令执行完成，稍后再试！</b>：仪器还在应答上一个命令，请稍候。</li>"
                                               "<li><b>没有读取到数据！请检查连线或仪器的电源开关是否关闭！</b>：仪器没有应答：检查串口线、"
                                               "仪器电源和串口参数。</li>"
                                               "<li><b>端口打开错误！</b>：串口被其他程序占用、不存在或参数不对；在 Linux 上还需要 dialout 组的权限。</li>"
                                               "<li><b>串口已断开</b>：串口设备被拔出或仪器断开，重新连接即可。</li>"
                                               "<li><b>接收的数据超过 64 MB</b>：一次拷贝的数据太多，请按文件拷贝。</li>"
                                               "</ul>"
                                               "<h3>日志</h3>"
                                               "<p>程序把连接、命令、应答的大小和用时、提示和错误写入日志（不含记录本身）。"
                                               "遇到问题时，用“帮助 → 打开日志文件夹”找到日志文件，发送给技术支持。</p>");
}

QString aboutHtml()
{
    return QCoreApplication::translate("Help", "<h3>KTM-520 数据管理</h3>"
                                               "<p>版本 %1（Qt %2）</p>"
                                               "<p>振弦读数仪 KTM-520 的数据管理程序：浏览和拷贝仪器的数据，保存工作簿，存档并显示趋势。</p>"
                                               "<p>本程序以 GNU 通用公共许可证第 3 版或更高版本（GPL-3.0-or-later）发布。</p>"
                                               "<p>使用的程序库及其许可证：</p>"
                                               "<ul>"
                                               "<li>Qt：LGPL-3.0</li>"
                                               "<li>QCustomPlot：GPL-3.0-or-later</li>"
                                               "<li>libzip：BSD-3-Clause</li>"
                                               "<li>pugixml：MIT</li>"
                                               "<li>SQLite：公有领域（public domain）</li>"
                                               "<li>zlib：zlib 许可证</li>"
                                               "</ul>")
        .arg(QStringLiteral(KTM_VERSION), QString::fromLatin1(qVersion()));
}

} // namespace help
