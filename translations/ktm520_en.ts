<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>ArchiveCheck</name>
    <message>
        <source>%1 分区 %2 %3（文件 %4）</source>
        <translation>partition %1, %2 at %3 (file %4)</translation>
    </message>
    <message>
        <source>空</source>
        <translation>none</translation>
    </message>
    <message>
        <source>%1：含有无效的文字（不是有效的 UTF-8），无法按文本修复</source>
        <translation>%1: holds a text that is not valid UTF-8; the texts cannot repair it</translation>
    </message>
    <message>
        <source>%1：读数存为 %2 Hz，按文本“%3”应为 %4 Hz</source>
        <translation>%1: reading stored as %2 Hz; its text &quot;%3&quot; gives %4 Hz</translation>
    </message>
    <message>
        <source>%1：温度存为 %2 ℃，按文本“%3”应为 %4 ℃</source>
        <translation>%1: temperature stored as %2 °C; its text &quot;%3&quot; gives %4 °C</translation>
    </message>
    <message>
        <source>%1：时间的数值与文本不符</source>
        <translation>%1: the number of its time does not match its text</translation>
    </message>
    <message>
        <source>无法读出全部记录：%1</source>
        <translation>not every record could be read: %1</translation>
    </message>
    <message>
        <source>%1：存了 %2 次</source>
        <translation>%1: stored %2 times</translation>
    </message>
    <message>
        <source>无法查找重复的记录：%1</source>
        <translation>records stored twice could not be looked for: %1</translation>
    </message>
    <message>
        <source>原因不明</source>
        <translation>reason unknown</translation>
    </message>
    <message>
        <source>档案中有读不出的部分，未作修复</source>
        <translation>parts of the archive cannot be read; nothing was repaired</translation>
    </message>
    <message>
        <source>数据库完整性：%1</source>
        <translation>Database integrity: %1</translation>
    </message>
    <message>
        <source>数据库完整性：另有 %1 处问题</source>
        <translation>Database integrity: %1 more problems</translation>
    </message>
    <message>
        <source>档案检查完毕：%1 条记录，未发现问题。</source>
        <translation>Archive checked: %1 records, no problem found.</translation>
    </message>
    <message>
        <source>档案检查完毕：%1 条记录，发现以下问题：</source>
        <translation>Archive checked: %1 records; found:</translation>
    </message>
    <message>
        <source>%1 条记录重复存储</source>
        <translation>%1 records stored twice</translation>
    </message>
    <message>
        <source>%1 条记录的数值与其文本不符</source>
        <translation>%1 records whose numbers do not match their texts</translation>
    </message>
    <message>
        <source>%1 条记录含有无效的文字（不是有效的 UTF-8）</source>
        <translation>%1 records with a text that is not valid UTF-8</translation>
    </message>
    <message>
        <source>未能修复，档案未作任何改动：%1</source>
        <translation>The repair failed; the archive was not changed: %1</translation>
    </message>
    <message>
        <source>已按记录的文本修复，档案现已完好。</source>
        <translation>Repaired from the records&apos; texts; the archive is sound now.</translation>
    </message>
    <message>
        <source>已按记录的文本修复能修复的部分；仍有以下问题：</source>
        <translation>Repaired from the records&apos; texts what they allow; still found:</translation>
    </message>
    <message>
        <source>%1 条记录含有无效的文字（不是有效的 UTF-8），无法按文本修复</source>
        <translation>%1 records with a text that is not valid UTF-8, which the texts cannot repair</translation>
    </message>
</context>
<context>
    <name>Calibration</name>
    <message>
        <source>%1 不是有限的数字</source>
        <extracomment>%1 the factor&apos;s letter (G, A, B, C, R0, T0, K).</extracomment>
        <translation>%1 is not a finite number</translation>
    </message>
    <message>
        <source>多项式的系数是按 f²×10⁻⁶ 拟合的，不是按模数 f²/1000：这样换算的值会差约一千倍。请把 A 乘以 10⁻⁶、B 乘以 10⁻³ 后再输入。</source>
        <translation>The polynomial&apos;s coefficients were fitted for f²×10⁻⁶, not for digits f²/1000: values converted with them would be about a thousand times off. Multiply A by 10⁻⁶ and B by 10⁻³ and enter them again.</translation>
    </message>
</context>
<context>
    <name>CalibrationDialog</name>
    <message>
        <source>标定表</source>
        <translation>Calibration Table</translation>
    </message>
    <message>
        <source>导入…</source>
        <translation>Import…</translation>
    </message>
    <message>
        <source>添加行</source>
        <translation>Add Row</translation>
    </message>
    <message>
        <source>删除行</source>
        <translation>Delete Row</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>标定表有无法识别的行，未保存：
%1</source>
        <translation>The calibration table has rows that cannot be read; nothing was saved:
%1</translation>
    </message>
    <message>
        <source>工作簿或 CSV|*.xls *.xlsx *.csv|EXCEL 工作簿|*.xls *.xlsx|CSV（逗号分隔）|*.csv</source>
        <translation>Workbook or CSV|*.xls *.xlsx *.csv|Excel workbook|*.xls *.xlsx|CSV (comma-separated)|*.csv</translation>
    </message>
    <message>
        <source>无法读取标定表：%1</source>
        <translation>Cannot read the calibration table: %1</translation>
    </message>
    <message>
        <source>……另有 %1 项</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>正在导入 %1 …</source>
        <translation>Importing %1 …</translation>
    </message>
    <message>
        <source>从工作簿（.xls、.xlsx）或 CSV 文件（UTF-8 或 GBK）导入标定表，第一行为列名；已有的元件编号替换其行，其余的添加在后面</source>
        <translation>Import calibrations from a workbook (.xls, .xlsx) or a CSV file (UTF-8 or GBK) whose first row names the columns; a code already in the table replaces its row, the others are added at the end</translation>
    </message>
    <message>
        <source>导入已取消，标定表未改变。</source>
        <translation>Import cancelled; the calibration table is unchanged.</translation>
    </message>
    <message>
        <source>文件中没有可以导入的行，标定表未改变：
%1</source>
        <translation>The file holds no row that can be imported; the calibration table is unchanged:
%1</translation>
    </message>
    <message>
        <source>已导入 %1 行。</source>
        <translation>Imported %1 rows.</translation>
    </message>
    <message>
        <source>其中 %1 行替换了表中已有的元件：%2</source>
        <translation>%1 of them replaced components already in the table: %2</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>以下各行未能识别，已略过：
%1</source>
        <translation>These rows could not be read and were skipped:
%1</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>自</source>
        <translation>From</translation>
    </message>
    <message>
        <source>录入时间</source>
        <translation>Entered</translation>
    </message>
    <message>
        <source>录入人</source>
        <translation>By</translation>
    </message>
    <message>
        <source>标定版本</source>
        <translation>Calibration versions</translation>
    </message>
    <message>
        <source>新版本…</source>
        <translation>New Version…</translation>
    </message>
    <message>
        <source>把所选行作为该测点自某日起生效的新标定版本保存；以前的版本保留</source>
        <translation>Save the selected row as a new calibration version of its gauge, applying from a date; earlier versions are kept</translation>
    </message>
    <message>
        <source>新标定版本</source>
        <translation>New Calibration Version</translation>
    </message>
    <message>
        <source>生效日期</source>
        <translation>Applies from</translation>
    </message>
    <message>
        <source>自（日期）：</source>
        <translation>From (date):</translation>
    </message>
    <message>
        <source>保存版本</source>
        <translation>Save Version</translation>
    </message>
    <message>
        <source>最初</source>
        <translation>the beginning</translation>
    </message>
    <message>
        <source>请先选择一个测点的行。</source>
        <translation>Choose a gauge&apos;s row first.</translation>
    </message>
    <message>
        <source>该行无法识别，未保存版本：
%1</source>
        <translation>The row cannot be read; no version was saved:
%1</translation>
    </message>
    <message>
        <source>测点 %1 的标定未保存：%2</source>
        <translation>The calibration of gauge %1 was not saved: %2</translation>
    </message>
    <message>
        <source>测点 %1：%2</source>
        <translation>Gauge %1: %2</translation>
    </message>
    <message>
        <source>（撤销）</source>
        <translation> (withdrawn)</translation>
    </message>
</context>
<context>
    <name>CalibrationTable</name>
    <message>
        <source>元件编号</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>仪器类型</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>读数类型</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>公式</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>现场零点</source>
        <translation>Field zero</translation>
    </message>
    <message>
        <source>频率</source>
        <translation>Frequency</translation>
    </message>
    <message>
        <source>模数</source>
        <translation>Digits</translation>
    </message>
    <message>
        <source>线性</source>
        <translation>Linear</translation>
    </message>
    <message>
        <source>多项式</source>
        <translation>Polynomial</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>第 %1 行：</source>
        <translation>Row %1: </translation>
    </message>
    <message>
        <source>没有元件编号</source>
        <translation>no component code</translation>
    </message>
    <message>
        <source>%1“%2”不是“%3”或“%4”</source>
        <extracomment>%1 the column, %2 the cell, %3 and %4 the words it may hold.</extracomment>
        <translation>%1 “%2” is neither “%3” nor “%4”</translation>
    </message>
    <message>
        <source>%1“%2”不是数字</source>
        <translation>%1 “%2” is not a number</translation>
    </message>
    <message>
        <source>第 %1 行：没有“%2”列</source>
        <translation>Row %1: no “%2” column</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>CommandExchange</name>
    <message>
        <source>等待上次命令执行完成，稍后再试！</source>
        <translation>The previous command is still running. Please try again shortly.</translation>
    </message>
    <message>
        <source>没有连接设备！请先连接设备，再操作！</source>
        <translation>No instrument is connected. Connect first, then try again.</translation>
    </message>
    <message>
        <source>接收的数据超过 64 MB，已放弃本次接收！</source>
        <translation>The reply exceeded 64 MB and was discarded.</translation>
    </message>
    <message>
        <source>内存不足，无法显示接收的数据！</source>
        <translation>Not enough memory to show the data received.</translation>
    </message>
    <message>
        <source>处理接收的数据时出错，数据未显示！%1</source>
        <translation>Error while handling the data received; nothing is shown. %1</translation>
    </message>
</context>
<context>
    <name>ComponentImport</name>
    <message>
        <source>Varnok提示：%1</source>
        <translation>Varnok: %1</translation>
    </message>
    <message>
        <source>请稍后重试！</source>
        <translation>Please try again later.</translation>
    </message>
</context>
<context>
    <name>ComponentList</name>
    <message>
        <source>元件编号的长度需不符合仪器要求，请输入如：*001的编号，最大值为*200，*为A-J区 ！</source>
        <translation>The component code has the wrong length. Enter a code such as *001, at most *200, where * is a partition A-J.</translation>
    </message>
    <message>
        <source>元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！</source>
        <translation>Invalid component code. Enter a code such as *001, at most *200, where * is a capital letter A-J.</translation>
    </message>
    <message>
        <source>元件名的长度需至少有1个字符，最大长度不能超过10个字符，且必须为可现实字符！</source>
        <translation>The component name must be 1 to 10 characters that can be shown.</translation>
    </message>
    <message>
        <source>元件名中含有不可显示字符（含空格），请修正！</source>
        <translation>The component name contains characters that cannot be shown (spaces included). Please correct it.</translation>
    </message>
    <message>
        <source>元件名和第%1行%2相同，请修正！</source>
        <translation>The component name is the same as in row %1 (%2). Please correct it.</translation>
    </message>
    <message>
        <source>表格中有元件编号不符合要求，如：第%1行，请检查修正！</source>
        <translation>The table holds invalid component codes, for example in row %1. Please check and correct them.</translation>
    </message>
    <message>
        <source>第%1元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！</source>
        <translation>Invalid component code in row %1. Enter a code such as *001, at most *200, where * is a capital letter A-J.</translation>
    </message>
    <message>
        <source>第%1行元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！</source>
        <translation>Invalid component code in row %1. Enter a code such as *001, at most *200, where * is a capital letter A-J.</translation>
    </message>
    <message>
        <source>第%1行元件名中含有不可显示字符（含空格），请修正！</source>
        <translation>The component name in row %1 contains characters that cannot be shown (spaces included). Please correct it.</translation>
    </message>
    <message>
        <source>元件编号列表为空，没有可写入的内容！</source>
        <translation>The component list is empty; there is nothing to write.</translation>
    </message>
</context>
<context>
    <name>ComponentWriter</name>
    <message>
        <source>元件编号写入完成，请查阅，检查！</source>
        <translation>Component codes written. Please review and check them.</translation>
    </message>
    <message>
        <source>元件编号写入失败！，请查阅，检查！</source>
        <translation>Writing the component codes failed. Please review and check them.</translation>
    </message>
</context>
<context>
    <name>CopyArchiver</name>
    <message>
        <source>未存档：没有选择仪器（预览中的记录仍可保存）</source>
        <translation>Not archived: no readout was chosen (the records in the preview can still be saved)</translation>
    </message>
    <message>
        <source>未读取元件编号：已断开</source>
        <translation>Component list not read: disconnected</translation>
    </message>
    <message>
        <source>未读取元件编号：线路忙</source>
        <translation>Component list not read: the line is busy</translation>
    </message>
    <message>
        <source>正在读取分区 %1 的元件编号…</source>
        <translation>Reading the component list of partition %1…</translation>
    </message>
    <message>
        <source>未能读取分区 %1 的元件编号，元件分配未更新</source>
        <translation>The component list of partition %1 could not be read; the slot assignments were not updated</translation>
    </message>
    <message>
        <source>正在存档…</source>
        <translation>Archiving…</translation>
    </message>
    <message>
        <source>%1；%2</source>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>仪器名称未能存入档案（%1），本次拷贝按未命名仪器存档</source>
        <translation>The readout’s name could not be kept in the archive (%1); this copy is archived under the unnamed readout</translation>
    </message>
</context>
<context>
    <name>CsvReader</name>
    <message>
        <source>第 %1 行：引号没有结束</source>
        <translation>Row %1: a quote is never closed</translation>
    </message>
</context>
<context>
    <name>DemoTour</name>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>EventsModel</name>
    <message>
        <source>zh</source>
        <comment>the window&apos;s language</comment>
        <translation>en</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>not acknowledged</translation>
    </message>
    <message>
        <source>：%1</source>
        <translation>: %1</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>状态变化</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>触发规则</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Acknowledged</translation>
    </message>
</context>
<context>
    <name>FailureText</name>
    <message>
        <source>找不到该文件或文件夹。</source>
        <translation>The file or folder cannot be found.</translation>
    </message>
    <message>
        <source>该路径是一个文件夹，不是文件。</source>
        <translation>The path is a folder, not a file.</translation>
    </message>
    <message>
        <source>没有该文件或文件夹的读写权限（可能是只读的位置）。</source>
        <translation>No permission to read or write the file or folder (it may be a read-only location).</translation>
    </message>
    <message>
        <source>文件正被其他程序占用（例如已在EXCEL或WPS中打开），请关闭后重试。</source>
        <translation>The file is in use by another program (for example open in Excel or WPS). Close it and try again.</translation>
    </message>
    <message>
        <source>磁盘空间不足。</source>
        <translation>Not enough disk space.</translation>
    </message>
    <message>
        <source>读写文件时出错（%1）。</source>
        <translation>Error reading or writing the file (%1).</translation>
    </message>
    <message>
        <source>该文件不是EXCEL工作簿（.xls或.xlsx）。</source>
        <translation>The file is not an Excel workbook (.xls or .xlsx).</translation>
    </message>
    <message>
        <source>工作簿文件已损坏，无法读取。</source>
        <translation>The workbook is damaged and cannot be read.</translation>
    </message>
    <message>
        <source>不支持该工作簿的版本，请在EXCEL或WPS中另存为.xls或.xlsx格式后重试。</source>
        <translation>This version of workbook is not supported. Save it as .xls or .xlsx in Excel or WPS and try again.</translation>
    </message>
    <message>
        <source>工作簿设有密码保护，无法打开。</source>
        <translation>The workbook is password-protected and cannot be opened.</translation>
    </message>
    <message>
        <source>文件太大，超出了工作簿格式或本程序的处理范围。</source>
        <translation>The file is too large for the workbook format or for this program.</translation>
    </message>
    <message>
        <source>内存不足。</source>
        <translation>Out of memory.</translation>
    </message>
    <message>
        <source>.xlsx工作簿只能读取，不能修改或保存。</source>
        <translation>.xlsx workbooks can only be read, not changed or saved.</translation>
    </message>
    <message>
        <source>工作表名称不符合要求（不能为空，不能含有 : \ / ? * [ ]）。</source>
        <translation>Invalid worksheet name (it must not be empty or contain : \ / ? * [ ]).</translation>
    </message>
    <message>
        <source>工作表名称重复。</source>
        <translation>Duplicate worksheet name.</translation>
    </message>
    <message>
        <source>超出了工作表的行数或列数范围。</source>
        <translation>Beyond the rows or columns a worksheet holds.</translation>
    </message>
    <message>
        <source>单元格文字无效或过长。</source>
        <translation>The cell text is invalid or too long.</translation>
    </message>
    <message>
        <source>工作簿还没有保存位置。</source>
        <translation>The workbook has no place to be saved yet.</translation>
    </message>
    <message>
        <source>原因不明。</source>
        <translation>Reason unknown.</translation>
    </message>
    <message>
        <source>找不到模板文件Data.xls，或无法读取它，请重新安装本程序。</source>
        <translation>The template Data.xls is missing or cannot be read. Please reinstall the program.</translation>
    </message>
    <message>
        <source>“%1”有%2行（含标题行），超过了EXCEL(.xls)工作表最多%3行的限制，无法保存！未写入任何文件。请另存为 .xlsx 或 .csv 格式。</source>
        <translation>“%1” has %2 rows (header included), more than the %3 rows an Excel (.xls) worksheet holds, and cannot be saved. No file was written. Save it as .xlsx or .csv instead.</translation>
    </message>
    <message>
        <source>保存已取消，未写入任何文件。</source>
        <translation>Save cancelled; no file was written.</translation>
    </message>
    <message>
        <source>无法保存为该文件类型，请选用 .xls、.xlsx 或 .csv 结尾的文件名。</source>
        <translation>Cannot save as this type of file: choose a name ending in .xls, .xlsx or .csv.</translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>KTM-520型振弦读数仪-Varnok电子科技有限公司_V2.0</source>
        <translation>KTM-520 Vibrating Wire Readout - Varnok Electronic Technology Co., Ltd. - V2.0</translation>
    </message>
    <message>
        <source>串口：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>校验位：</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>停止位：</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>读取数据分区</source>
        <translation>Read Partitions</translation>
    </message>
    <message>
        <source>查阅分区文件</source>
        <translation>List Files</translation>
    </message>
    <message>
        <source>拷贝分区</source>
        <translation>Copy Partition</translation>
    </message>
    <message>
        <source>拷贝文件</source>
        <translation>Copy File</translation>
    </message>
    <message>
        <source>保存预览文件&lt;==</source>
        <translation>Save Preview &lt;==</translation>
    </message>
    <message>
        <source>删除分区</source>
        <translation>Delete Partition</translation>
    </message>
    <message>
        <source>删除分区数据</source>
        <translation>Delete Partition Data</translation>
    </message>
    <message>
        <source>新建文件名</source>
        <translation>New File</translation>
    </message>
    <message>
        <source>查阅分区元件编号</source>
        <translation>View Component Codes</translation>
    </message>
    <message>
        <source>写入分区元件编号</source>
        <translation>Write Component Codes</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>历史数据</source>
        <translation>History</translation>
    </message>
    <message>
        <source>停止接收</source>
        <translation>Stop Receiving</translation>
    </message>
    <message>
        <source>放弃正在接收的数据（Esc）</source>
        <translation>Abandon the data being received (Esc)</translation>
    </message>
    <message>
        <source>设备：%1</source>
        <translation>Device: %1</translation>
    </message>
    <message>
        <source>说明：%1</source>
        <translation>Description: %1</translation>
    </message>
    <message>
        <source>已连接 %1（%2）</source>
        <translation>Connected to %1 (%2)</translation>
    </message>
    <message>
        <source>已断开</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>串口已断开</source>
        <translation>Serial port lost</translation>
    </message>
    <message>
        <source>正在接收数据：%1 字节，%2 字节/秒</source>
        <translation>Receiving: %1 bytes, %2 bytes/s</translation>
    </message>
    <message>
        <source>接收完成：%1 字节，用时 %2 秒</source>
        <translation>Received: %1 bytes in %2 s</translation>
    </message>
    <message>
        <source>%1；%2</source>
        <extracomment>%1 the transfer, %2 what the archive did with it</extracomment>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>用所选串口和参数连接仪器</source>
        <translation>Connect to the instrument with the chosen port and settings</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close the serial port</translation>
    </message>
    <message>
        <source>向仪器询问有哪些数据分区，重建左边的树</source>
        <translation>Ask the instrument for its data partitions and rebuild the tree on the left</translation>
    </message>
    <message>
        <source>列出所选分区中的文件</source>
        <translation>List the files of the selected partition</translation>
    </message>
    <message>
        <source>把所选分区的全部文件拷贝到预览中，并存入档案</source>
        <translation>Copy every file of the selected partition into the preview and keep it in the archive</translation>
    </message>
    <message>
        <source>把所选文件拷贝到预览中，并存入档案</source>
        <translation>Copy the selected file into the preview and keep it in the archive</translation>
    </message>
    <message>
        <source>把预览保存为 .xls、.xlsx 或 .csv 文件</source>
        <translation>Save the preview as an .xls, .xlsx or .csv file</translation>
    </message>
    <message>
        <source>删除所选分区（先询问）</source>
        <translation>Delete the selected partition (asks first)</translation>
    </message>
    <message>
        <source>删除所选分区中的数据（先询问）</source>
        <translation>Delete the data of the selected partition (asks first)</translation>
    </message>
    <message>
        <source>在所选分区中建立新文件</source>
        <translation>Create a new file in the selected partition</translation>
    </message>
    <message>
        <source>显示所选分区的元件编号</source>
        <translation>Show the component codes of the selected partition</translation>
    </message>
    <message>
        <source>打开元件编号编辑窗口，导入或输入后写入仪器</source>
        <translation>Open the component code editor: import or type a list, then write it into the instrument</translation>
    </message>
    <message>
        <source>接收的数据不完整：仪器的回答中途停顿后又继续发送，预览中的数据不完整，未存档！请重新拷贝。</source>
        <translation>The data received is incomplete: the instrument paused in mid-reply and then went on. The preview is incomplete and was not archived. Please copy again.</translation>
    </message>
    <message>
        <source>接收的数据不完整：仪器的回答中途停顿后又继续发送，显示的列表可能不完整！请重试。</source>
        <translation>The data received is incomplete: the instrument paused in mid-reply and then went on. The list shown may be incomplete. Please try again.</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>奇</source>
        <translation>Odd</translation>
    </message>
    <message>
        <source>偶</source>
        <translation>Even</translation>
    </message>
    <message>
        <source>标记</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>正在保存文件，保存完成后将关闭窗口</source>
        <translation>Saving the file; the window closes when the save has ended</translation>
    </message>
    <message>
        <source>正在存档…</source>
        <translation>Archiving…</translation>
    </message>
    <message>
        <source>正在等待档案数据库：另一个程序正在写入（已等待 %1 秒）。按 Esc 停止等待，本次拷贝将暂存。</source>
        <translation>Waiting for the archive: another program is writing to it (%1 s so far). Press Esc to stop waiting; this copy will be kept for later.</translation>
    </message>
    <message>
        <source>单击可更改连接的是哪台仪器</source>
        <translation>Click to change which readout is connected</translation>
    </message>
    <message>
        <source>更改仪器(&amp;I)…</source>
        <translation>Change &amp;readout…</translation>
    </message>
    <message>
        <source>更改连接的是哪台仪器：档案按仪器保存拷贝的数据</source>
        <translation>Change which readout is connected: the archive keeps copies by readout</translation>
    </message>
    <message>
        <source>仪器：—</source>
        <translation>Readout: —</translation>
    </message>
    <message>
        <source>仪器：%1</source>
        <translation>Readout: %1</translation>
    </message>
    <message>
        <source>仪器：未命名</source>
        <translation>Readout: unnamed</translation>
    </message>
    <message>
        <source>设备：%1
单击可更改连接的是哪台仪器</source>
        <translation>Device: %1
Click to change which readout is connected</translation>
    </message>
    <message>
        <source>连接的仪器：%1</source>
        <translation>Connected readout: %1</translation>
    </message>
    <message>
        <source>分区 %1 的拷贝</source>
        <extracomment>what was copied, for the verdict panel</extracomment>
        <translation>Copy of partition %1</translation>
    </message>
    <message>
        <source>同步到办公室数据库</source>
        <translation>Sync with the office database</translation>
    </message>
    <message>
        <source>正在与办公室数据库同步…%1</source>
        <translation>Syncing with the office database…%1</translation>
    </message>
    <message>
        <source>办公室数据库设置…</source>
        <translation>Office database settings…</translation>
    </message>
    <message>
        <source>办公室的 PostgreSQL 数据库：连接、密码、关注的工程</source>
        <translation>The office&apos;s PostgreSQL database: connection, password, followed sites</translation>
    </message>
    <message>
        <source>正在停止同步，停止后将关闭窗口</source>
        <translation>Stopping the sync; the window closes once it has stopped</translation>
    </message>
    <message>
        <source>办公室数据库的设置未能保存。</source>
        <translation>The office database&apos;s settings could not be saved.</translation>
    </message>
    <message>
        <source>已保存办公室数据库设置</source>
        <translation>Office database settings saved</translation>
    </message>
    <message>
        <source>正在同步到办公室数据库…</source>
        <translation>Syncing with the office database…</translation>
    </message>
</context>
<context>
    <name>Form2</name>
    <message>
        <source>文件名输入</source>
        <translation>New File Name</translation>
    </message>
    <message>
        <source>请在以下文本框中输入文件名称：</source>
        <translation>Enter the name of the new file:</translation>
    </message>
    <message>
        <source>文件名要小于20个字符，规则请遵循文件系统命名规则，如不含有：&lt;,&gt;,/,\,|,:,&quot;&quot;,*,? 等字符</source>
        <translation>At most 20 characters, following the file system&apos;s naming rules: none of the characters &lt; &gt; / \ | : &quot; * ?</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Form3</name>
    <message>
        <source>导入</source>
        <translation>Component Codes</translation>
    </message>
    <message>
        <source>打开文件名</source>
        <translation>No file opened</translation>
    </message>
    <message>
        <source>文件导入</source>
        <translation>Import File</translation>
    </message>
    <message>
        <source>手工添加</source>
        <translation>Add by Hand</translation>
    </message>
    <message>
        <source>选择工作簿</source>
        <translation>Worksheet</translation>
    </message>
    <message>
        <source>编号：</source>
        <translation>Code:</translation>
    </message>
    <message>
        <source>名称：</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>元件列表</source>
        <translation>Component list</translation>
    </message>
    <message>
        <source>确认写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>你的电脑没有安装MS-OFFICE和WPS软件，无法打开EXCEL格式！</source>
        <translation>Neither MS Office nor WPS is installed on this PC; Excel workbooks cannot be opened.</translation>
    </message>
</context>
<context>
    <name>GaugeRegisterTable</name>
    <message>
        <source>第 %1 行：没有“%2”列</source>
        <extracomment>%1 the row, %2 the column&apos;s name</extracomment>
        <translation>Row %1: no “%2” column</translation>
    </message>
    <message>
        <source>没有测点名</source>
        <translation>no gauge name</translation>
    </message>
    <message>
        <source>测点“%1”不是仪器能保存的元件名（1 到 10 个可显示的 ASCII 字符，不含空格）</source>
        <extracomment>%1 the name as the row gives it</extracomment>
        <translation>gauge “%1” is not a component name the readout can hold (1 to 10 printable ASCII characters, no blanks)</translation>
    </message>
    <message>
        <source>安装日期“%1”不是日期（如 2026-01-05）</source>
        <translation>installed “%1” is not a date (such as 2026-01-05)</translation>
    </message>
    <message>
        <source>测读间隔“%1”不是天数（不小于 0 的整数）</source>
        <translation>interval “%1” is not a number of days (a whole number, 0 or more)</translation>
    </message>
    <message>
        <source>第 %1 行：</source>
        <translation>Row %1: </translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>Help</name>
    <message>
        <source>使用说明</source>
        <translation>User Guide</translation>
    </message>
    <message>
        <source>键盘快捷键</source>
        <translation>Keyboard Shortcuts</translation>
    </message>
    <message>
        <source>打开日志文件夹</source>
        <translation>Open Log Folder</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>停止接收</source>
        <translation>Stop Receiving</translation>
    </message>
    <message>
        <source>在控件之间移动；Enter 按下当前按钮</source>
        <translation>Move between the controls; Enter presses the focused button</translation>
    </message>
    <message>
        <source>&lt;h2&gt;KTM-520 数据管理 使用说明&lt;/h2&gt;&lt;h3&gt;连接仪器&lt;/h3&gt;&lt;p&gt;用串口线连接仪器并打开仪器电源。在“串口”中选择仪器所在的串口（提示框显示对应的设备），选择与仪器相同的波特率、校验位和停止位，按“连接”。按钮变为“已连接”后即可操作；“断开”关闭串口。程序记住上次使用的串口和参数。&lt;/p&gt;&lt;h3&gt;浏览与拷贝&lt;/h3&gt;&lt;p&gt;“读取数据分区”向仪器询问有哪些分区，并重建左边的树。单击分区列出其中的文件（“查阅分区文件”也一样）；单击文件把它拷贝到右边的预览中。“拷贝文件”和“拷贝分区”拷贝选中的文件或整个分区。接收时状态栏显示已接收的字节和速度，“停止接收”（Esc）放弃本次接收。每次完整的拷贝都存入档案，可在“历史数据”中查看趋势。&lt;/p&gt;&lt;h3&gt;保存&lt;/h3&gt;&lt;p&gt;“保存预览文件&amp;lt;==”把预览保存为 .xls、.xlsx 或 .csv，每个文件一个工作表。&lt;/p&gt;&lt;h3&gt;删除与新建&lt;/h3&gt;&lt;p&gt;“删除分区”和“删除分区数据”在删除之前会再次询问（默认为“否”）。“新建文件名”在选中的分区中建立文件。&lt;/p&gt;&lt;h3&gt;元件编号&lt;/h3&gt;&lt;p&gt;“查阅分区元件编号”显示分区的元件编号表；“写入分区元件编号”打开编辑窗口，可从工作簿导入或手工输入，再逐行写入仪器。&lt;/p&gt;&lt;h3&gt;提示信息的含义&lt;/h3&gt;&lt;ul&gt;&lt;li&gt;&lt;b&gt;没有连接设备！请先连接设备，再操作！&lt;/b&gt;：先按“连接”。&lt;/li&gt;&lt;li&gt;&lt;b&gt;等待上次命令执行完成，稍后再试！&lt;/b&gt;：仪器还在应答上一个命令，请稍候。&lt;/li&gt;&lt;li&gt;&lt;b&gt;没有读取到数据！请检查连线或仪器的电源开关是否关闭！&lt;/b&gt;：仪器没有应答：检查串口线、仪器电源和串口参数。&lt;/li&gt;&lt;li&gt;&lt;b&gt;端口打开错误！&lt;/b&gt;：串口被其他程序占用、不存在或参数不对；在 Linux 上还需要 dialout 组的权限。&lt;/li&gt;&lt;li&gt;&lt;b&gt;串口已断开&lt;/b&gt;：串口设备被拔出或仪器断开，重新连接即可。&lt;/li&gt;&lt;li&gt;&lt;b&gt;接收的数据超过 64 MB&lt;/b&gt;：一次拷贝的数据太多，请按文件拷贝。&lt;/li&gt;&lt;/ul&gt;&lt;h3&gt;日志&lt;/h3&gt;&lt;p&gt;程序把连接、命令、应答的大小和用时、提示和错误写入日志（不含记录本身）。遇到问题时，用“帮助 → 打开日志文件夹”找到日志文件，发送给技术支持。&lt;/p&gt;</source>
        <translation>&lt;h2&gt;KTM-520 Data Manager: user guide&lt;/h2&gt;&lt;h3&gt;Connecting the instrument&lt;/h3&gt;&lt;p&gt;Connect the instrument with the serial cable and switch it on. Under “Port” choose the port the instrument is on (its tool tip shows the device), choose the same baud rate, parity and stop bits as the instrument, and press “Connect”. Once the button reads “Connected” the commands can be used; “Disconnect” closes the port. The program remembers the port and settings used last.&lt;/p&gt;&lt;h3&gt;Browsing and copying&lt;/h3&gt;&lt;p&gt;“Read Partitions” asks the instrument which partitions it has and rebuilds the tree on the left. A click on a partition lists its files (as “List Files” does); a click on a file copies it into the preview on the right. “Copy File” and “Copy Partition” copy the selected file or the whole partition. While a reply arrives the status bar shows the bytes received and the rate; “Stop Receiving” (Esc) abandons it. Every complete copy is kept in the archive; its trends are under “History”.&lt;/p&gt;&lt;h3&gt;Saving&lt;/h3&gt;&lt;p&gt;“Save Preview” saves the preview as .xls, .xlsx or .csv, one worksheet per file.&lt;/p&gt;&lt;h3&gt;Deleting and new files&lt;/h3&gt;&lt;p&gt;“Delete Partition” and “Delete Partition Data” ask before they delete anything (the default answer is No). “New File” creates a file in the selected partition.&lt;/p&gt;&lt;h3&gt;Component codes&lt;/h3&gt;&lt;p&gt;“View Component Codes” shows the partition&apos;s component list; “Write Component Codes” opens the editor, where a list is imported from a workbook or typed, then written into the instrument row by row.&lt;/p&gt;&lt;h3&gt;What the messages mean&lt;/h3&gt;&lt;ul&gt;&lt;li&gt;&lt;b&gt;No device connected&lt;/b&gt;: press “Connect” first.&lt;/li&gt;&lt;li&gt;&lt;b&gt;Wait for the last command to finish&lt;/b&gt;: the instrument is still answering the previous command; wait a moment.&lt;/li&gt;&lt;li&gt;&lt;b&gt;No data was read&lt;/b&gt;: the instrument did not answer: check the serial cable, the instrument&apos;s power and the port settings.&lt;/li&gt;&lt;li&gt;&lt;b&gt;Cannot open the port&lt;/b&gt;: the port is used by another program, does not exist or its settings are wrong; on Linux it also needs membership of the dialout group.&lt;/li&gt;&lt;li&gt;&lt;b&gt;Port disconnected&lt;/b&gt;: the serial device was unplugged or the instrument went away; connect again.&lt;/li&gt;&lt;li&gt;&lt;b&gt;Received data exceeds 64 MB&lt;/b&gt;: too much data for one copy; copy file by file.&lt;/li&gt;&lt;/ul&gt;&lt;h3&gt;The log&lt;/h3&gt;&lt;p&gt;The program writes connections, commands, reply sizes and times, messages and errors to a log (never the records themselves). When something goes wrong, find the log with “Help → Open Log Folder” and send it to support.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&lt;h3&gt;KTM-520 数据管理&lt;/h3&gt;&lt;p&gt;版本 %1（Qt %2）&lt;/p&gt;&lt;p&gt;振弦读数仪 KTM-520 的数据管理程序：浏览和拷贝仪器的数据，保存工作簿，存档并显示趋势。&lt;/p&gt;&lt;p&gt;本程序以 GNU 通用公共许可证第 3 版或更高版本（GPL-3.0-or-later）发布。&lt;/p&gt;&lt;p&gt;使用的程序库及其许可证：&lt;/p&gt;&lt;ul&gt;&lt;li&gt;Qt：LGPL-3.0&lt;/li&gt;&lt;li&gt;QCustomPlot：GPL-3.0-or-later&lt;/li&gt;&lt;li&gt;libzip：BSD-3-Clause&lt;/li&gt;&lt;li&gt;pugixml：MIT&lt;/li&gt;&lt;li&gt;SQLite：公有领域（public domain）&lt;/li&gt;&lt;li&gt;zlib：zlib 许可证&lt;/li&gt;&lt;/ul&gt;</source>
        <translation>&lt;h3&gt;KTM-520 Data Manager&lt;/h3&gt;&lt;p&gt;Version %1 (Qt %2)&lt;/p&gt;&lt;p&gt;Data manager for the KTM-520 vibrating-wire readout: browse and copy the instrument&apos;s data, save workbooks, archive readings and show their trends.&lt;/p&gt;&lt;p&gt;This program is released under the GNU General Public License, version 3 or later (GPL-3.0-or-later).&lt;/p&gt;&lt;p&gt;Libraries used and their licences:&lt;/p&gt;&lt;ul&gt;&lt;li&gt;Qt: LGPL-3.0&lt;/li&gt;&lt;li&gt;QCustomPlot: GPL-3.0-or-later&lt;/li&gt;&lt;li&gt;libzip: BSD-3-Clause&lt;/li&gt;&lt;li&gt;pugixml: MIT&lt;/li&gt;&lt;li&gt;SQLite: public domain&lt;/li&gt;&lt;li&gt;zlib: zlib licence&lt;/li&gt;&lt;/ul&gt;</translation>
    </message>
    <message>
        <source>&lt;h3&gt;历史数据&lt;/h3&gt;&lt;p&gt;“历史数据”列出档案中的元件、记录数和时间范围；“标定”一列显示有标定的元件的工程单位，没有标定的元件显示“无 (Hz)”。选择一个或多个元件（按住 Ctrl 多选）显示趋势：每种单位一根纵轴，温度在右边，图例中每条线都注明单位。勾选“换算为工程单位”时，没有标定的元件仍显示读数 (Hz)，下方的说明会列出这些元件。滚轮缩放，拖动平移，双击恢复显示全部；几个读数间隔以上没有记录的时段不连线。“导出数据…”把所选记录导出为 .xlsx 或 .csv，导出时显示进度，可以取消。&lt;/p&gt;&lt;h3&gt;标定表&lt;/h3&gt;&lt;p&gt;“标定表…”中每行一个元件。列：元件编号、仪器类型、单位、读数类型（频率 或 模数 = f²/1000）、公式（线性 或 多项式）、G、方向（R1-R0 或 R0-R1）、A、B、C、现场零点（是 或 否）、R0、T0、K。读数类型、公式、方向和现场零点从下拉列表中选择。“导入…”读取工作簿（.xls、.xlsx 的第一个工作表）或 CSV 文件，第一行为列名，列的顺序不限；CSV 可以是 UTF-8（带或不带 BOM）或 GBK（中文表格软件保存的“CSV (逗号分隔)”）。导入按元件编号合并：表中已有的元件替换其行，其余的添加在后面；无法读取的文件（例如引号没有结束）不改变标定表。出错的行按表格中的行号列出，并指出每个无法识别的单元格。&lt;/p&gt;</source>
        <translation>&lt;h3&gt;History&lt;/h3&gt;&lt;p&gt;“History” lists the archive’s components with their record counts and time spans; the “Calibration” column shows the engineering unit of a component with a calibration, and “none (Hz)” for one without. Choose one or more components (hold Ctrl for several) to plot their trends: one value axis for each unit, the temperature on the right, every legend entry with its unit. With “Engineering units” ticked, a component without a calibration is still shown as readings (Hz), and the line under the plot names it. The wheel zooms, a drag pans, a double-click shows everything again; no line is drawn across a stretch without records longer than a few reading intervals. “Export Data…” writes the chosen records as .xlsx or .csv, with its progress shown and a cancel.&lt;/p&gt;&lt;h3&gt;Calibration table&lt;/h3&gt;&lt;p&gt;“Calibrations…” holds a row per component. Columns: Code, Gauge, Unit, Reading (Frequency, or Digits = f²/1000), Form (Linear or Polynomial), G, Direction (R1-R0 or R0-R1), A, B, C, Field zero (Yes or No), R0, T0, K; files the program writes name them and their words in Chinese, and either language is read. Reading, Form, Direction and Field zero are chosen from a list. “Import…” reads a workbook (the first worksheet of an .xls or .xlsx) or a CSV file whose first row names the columns, in any order, in Chinese or English; a CSV file may be UTF-8 (with or without a BOM) or GBK (what a Chinese spreadsheet saves as “CSV (comma-separated)”). An import merges by code: a component already in the table replaces its row, the others are added at the end; a file that cannot be read (an unclosed quote, say) leaves the table unchanged. Rows in error are named by their row numbers as the grid shows them, with every cell that cannot be read.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&lt;h3&gt;保存时&lt;/h3&gt;&lt;p&gt;保存进行时，命令按钮不可用，直到保存结束，连接断开也一样。保存时关闭窗口，程序在保存完成后再关闭窗口，并在状态栏说明。输入的文件名没有扩展名时，保存为同名的 .xls；同名文件已存在时先询问是否替换。仪器正在应答时不能保存预览，请等接收完成；建议的文件名是预览中显示的文件或分区。&lt;/p&gt;</source>
        <translation>&lt;h3&gt;While saving&lt;/h3&gt;&lt;p&gt;While a save runs, the command buttons stay unavailable until it has ended, also when the link is lost. Closing the window during a save closes it once the save has ended, and the status line says so. A file name typed without an extension is saved as the .xls of that name; if such a file exists, you are asked before it is replaced. The preview cannot be saved while the instrument is answering: wait until the transfer has ended; the name proposed is that of the file or partition the preview shows.&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>History</name>
    <message>
        <source>工程值</source>
        <translation>Engineering value</translation>
    </message>
    <message>
        <source>读数 (Hz)</source>
        <translation>Reading (Hz)</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>最近 7 天</source>
        <translation>Last 7 days</translation>
    </message>
    <message>
        <source>最近 30 天</source>
        <translation>Last 30 days</translation>
    </message>
    <message>
        <source>最近一年</source>
        <translation>Last year</translation>
    </message>
</context>
<context>
    <name>HistoryView</name>
    <message>
        <source>时间范围：</source>
        <translation>Time range:</translation>
    </message>
    <message>
        <source>时间范围</source>
        <translation>Time range</translation>
    </message>
    <message>
        <source>换算为工程单位</source>
        <translation>Engineering units</translation>
    </message>
    <message>
        <source>按标定表把读数换算为工程值；没有标定的元件仍显示读数 (Hz)</source>
        <translation>Convert the readings to engineering values with the calibration table; components without a calibration still show the reading (Hz)</translation>
    </message>
    <message>
        <source>标定表…</source>
        <translation>Calibrations…</translation>
    </message>
    <message>
        <source>导出数据…</source>
        <translation>Export Data…</translation>
    </message>
    <message>
        <source>导出图片…</source>
        <translation>Export Image…</translation>
    </message>
    <message>
        <source>查看、录入或导入各元件的标定系数</source>
        <translation>View, enter or import the components&apos; calibration factors</translation>
    </message>
    <message>
        <source>把所选元件在所选时间范围内的记录导出为 .xlsx 或 .csv，含读数、温度和工程值</source>
        <translation>Export the records of the chosen components in the chosen time range as .xlsx or .csv, with readings, temperatures and engineering values</translation>
    </message>
    <message>
        <source>把当前趋势图保存为 PNG 图片</source>
        <translation>Save the trend plot shown as a PNG image</translation>
    </message>
    <message>
        <source>记录数</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>最早</source>
        <translation>First</translation>
    </message>
    <message>
        <source>最新</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>；%1 个工程值缺少温度，未作温度修正</source>
        <translation>; values without temperature correction (no temperature): %1</translation>
    </message>
    <message>
        <source>标定表未保存：%1</source>
        <translation>The calibration table was not saved: %1</translation>
    </message>
    <message>
        <source>EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv</source>
        <translation>Excel workbook|*.xlsx|CSV (comma-separated)|*.csv</translation>
    </message>
    <message>
        <source>历史数据.xlsx</source>
        <translation>history.xlsx</translation>
    </message>
    <message>
        <source>导出失败：%1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>成功导出文件，请查阅！</source>
        <translation>Export complete. Please check the file.</translation>
    </message>
    <message>
        <source>PNG 图片|*.png</source>
        <translation>PNG image|*.png</translation>
    </message>
    <message>
        <source>趋势图.png</source>
        <translation>trend.png</translation>
    </message>
    <message>
        <source>成功导出图片，请查阅！</source>
        <translation>Image saved. Please check it.</translation>
    </message>
    <message>
        <source>图片未能保存：%1</source>
        <translation>The image could not be saved: %1</translation>
    </message>
    <message>
        <source>标定</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>导出数据</source>
        <translation>Export Data</translation>
    </message>
    <message>
        <source>正在导出 %1 …</source>
        <translation>Exporting %1 …</translation>
    </message>
    <message>
        <source>无 (Hz)</source>
        <translation>none (Hz)</translation>
    </message>
    <message>
        <source>没有标定：趋势和导出中只有读数 (Hz)</source>
        <translation>No calibration: the trend and the export hold readings (Hz) only</translation>
    </message>
    <message>
        <source>有</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>有标定</source>
        <translation>Calibrated</translation>
    </message>
    <message>
        <source>有标定：%1</source>
        <translation>Calibrated: %1</translation>
    </message>
    <message>
        <source>；%1 没有标定，仍显示读数 (Hz)</source>
        <translation>; no calibration for %1: shown as readings (Hz)</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>导出已取消，没有写入文件。</source>
        <translation>Export cancelled; no file was written.</translation>
    </message>
    <message>
        <source>检查档案</source>
        <translation>Check Archive</translation>
    </message>
    <message>
        <source>全面检查档案数据库，并按记录的文本修复能修复的问题</source>
        <translation>Check the archive database thoroughly and repair from the records&apos; texts what they allow</translation>
    </message>
    <message>
        <source>测点登记…</source>
        <translation>Gauge Register…</translation>
    </message>
    <message>
        <source>查看、录入、导入或导出测点登记表（类型、单位、工程、位置、安装日期等）</source>
        <translation>View, enter, import or export the gauge register (type, unit, site, location, installation date, ...)</translation>
    </message>
    <message>
        <source>分配到测点…</source>
        <translation>Assign to Gauge…</translation>
    </message>
    <message>
        <source>把“未分配”下所选元件自某时起的读数分配给一个测点</source>
        <translation>Assign the readings of the slot chosen under &quot;Unassigned&quot; to a gauge from a time on</translation>
    </message>
    <message>
        <source>工程 / 测点</source>
        <translation>Site / gauge</translation>
    </message>
    <message>
        <source>读数仪</source>
        <translation>Readout</translation>
    </message>
    <message>
        <source>有标定的测点显示其工程单位；没有标定的测点以读数 (Hz) 显示</source>
        <translation>A gauge with a calibration shows its engineering unit; one without is shown as readings (Hz)</translation>
    </message>
    <message>
        <source>档案中的测点</source>
        <translation>Gauges in the archive</translation>
    </message>
    <message>
        <source>未分配</source>
        <translation>Unassigned</translation>
    </message>
    <message>
        <source>（未归属工程）</source>
        <translation>(no site)</translation>
    </message>
    <message>
        <source>没有任何测点分配的记录，按读数仪和元件编号列出；可用“分配到测点…”指定其测点</source>
        <translation>Readings that no gauge is assigned, by readout and code; &quot;Assign to Gauge…&quot; gives them their gauge</translation>
    </message>
    <message>
        <source>读数来自：%1</source>
        <translation>Readings from: %1</translation>
    </message>
    <message>
        <source>选择左侧的测点以显示趋势（可按住 Ctrl 多选）。</source>
        <translation>Choose gauges on the left to show their trends (Ctrl for several).</translation>
    </message>
    <message>
        <source>；只显示前 %1 个测点</source>
        <translation>; only the first %1 gauges are shown</translation>
    </message>
    <message>
        <source>%1 个测点，%2 条记录</source>
        <translation>%1 gauge(s), %2 record(s)</translation>
    </message>
    <message>
        <source>；读数来自 %1</source>
        <translation>; readings from %1</translation>
    </message>
    <message>
        <source>未能分配到测点 %1：%2</source>
        <translation>Could not assign to gauge %1: %2</translation>
    </message>
    <message>
        <source>请先在“未分配”下选择一个元件。</source>
        <translation>Choose a slot under &quot;Unassigned&quot; first.</translation>
    </message>
    <message>
        <source>分配到测点</source>
        <translation>Assign to Gauge</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>起始时间</source>
        <translation>From</translation>
    </message>
    <message>
        <source>元件：%1</source>
        <translation>Slot: %1</translation>
    </message>
    <message>
        <source>测点：</source>
        <translation>Gauge:</translation>
    </message>
    <message>
        <source>自（读数仪时间）：</source>
        <translation>From (readout&apos;s clock):</translation>
    </message>
    <message>
        <source>分配</source>
        <translation>Assign</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>没有填写测点，未分配。</source>
        <translation>No gauge was given; nothing was assigned.</translation>
    </message>
    <message>
        <source>请先在左侧选择要导出的测点。</source>
        <translation>Choose the gauges to export on the left first.</translation>
    </message>
    <message>
        <source>触发值…</source>
        <translation>Trigger levels…</translation>
    </message>
    <message>
        <source>查看或设定所选测点的触发值（预警、报警、控制），可同时用于同类型或同工程的测点</source>
        <translation>View or set the chosen gauge&apos;s trigger levels (warning, alarm, action), also for every gauge of its type or site</translation>
    </message>
    <message>
        <source>质量规则…</source>
        <translation>Quality rules…</translation>
    </message>
    <message>
        <source>按测点类型设定读数质量规则：频率范围、温度范围、温度跳变和台阶</source>
        <translation>Set the reading quality rules by gauge type: frequency band, temperature range, temperature jumps and steps</translation>
    </message>
    <message>
        <source>读数、事件和逾期</source>
        <translation>Readings, events and overdue gauges</translation>
    </message>
    <message>
        <source>测点读数</source>
        <translation>Gauge readings</translation>
    </message>
    <message>
        <source>屏蔽…</source>
        <translation>Mask…</translation>
    </message>
    <message>
        <source>所选读数不再参与触发值判断、变化速率和趋势图；读数本身保留</source>
        <translation>The selected readings are left out of trigger levels, rates and the trend; the readings themselves are kept</translation>
    </message>
    <message>
        <source>取消屏蔽</source>
        <translation>Unmask</translation>
    </message>
    <message>
        <source>读数</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>事件</source>
        <translation>Events</translation>
    </message>
    <message>
        <source>只显示未确认的</source>
        <translation>Unacknowledged only</translation>
    </message>
    <message>
        <source>确认…</source>
        <translation>Acknowledge…</translation>
    </message>
    <message>
        <source>确认所选事件，并写下说明</source>
        <translation>Acknowledge the selected events with a note</translation>
    </message>
    <message>
        <source>逾期未测</source>
        <translation>Overdue</translation>
    </message>
    <message>
        <source>工程：</source>
        <translation>Site:</translation>
    </message>
    <message>
        <source>事件和逾期的工程</source>
        <translation>Site of the events and overdue gauges</translation>
    </message>
    <message>
        <source>全部工程</source>
        <translation>All sites</translation>
    </message>
    <message>
        <source>读数：%1</source>
        <translation>Readings: %1</translation>
    </message>
    <message>
        <source>事件（%1）</source>
        <translation>Events (%1)</translation>
    </message>
    <message>
        <source>逾期未测（%1）</source>
        <translation>Overdue (%1)</translation>
    </message>
    <message>
        <source>请先在左侧选择一个测点。</source>
        <translation>Choose one gauge on the left first.</translation>
    </message>
    <message>
        <source>请先在读数列表中选择要屏蔽的读数。</source>
        <translation>Select the readings to mask in the list of readings first.</translation>
    </message>
    <message>
        <source>屏蔽读数须写明原因，未屏蔽。</source>
        <translation>A mask needs a reason: nothing was masked.</translation>
    </message>
    <message>
        <source>所选读数都已屏蔽。</source>
        <translation>The selected readings are masked already.</translation>
    </message>
    <message>
        <source>读数未屏蔽：%1</source>
        <translation>The readings were not masked: %1</translation>
    </message>
    <message>
        <source>请先在读数列表中选择已屏蔽的读数。</source>
        <translation>Select masked readings in the list of readings first.</translation>
    </message>
    <message>
        <source>屏蔽未取消：%1</source>
        <translation>The masks were not lifted: %1</translation>
    </message>
    <message>
        <source>屏蔽读数</source>
        <translation>Mask readings</translation>
    </message>
    <message>
        <source>屏蔽 %1 条读数的原因：</source>
        <translation>Why the %1 readings are masked:</translation>
    </message>
    <message>
        <source>请先在事件列表中选择要确认的事件。</source>
        <translation>Select the events to acknowledge in the list of events first.</translation>
    </message>
    <message>
        <source>事件未确认：%1</source>
        <translation>The event was not acknowledged: %1</translation>
    </message>
    <message>
        <source>确认事件</source>
        <translation>Acknowledge events</translation>
    </message>
    <message>
        <source>确认 %1 个事件的说明：</source>
        <translation>Note for the %1 events acknowledged:</translation>
    </message>
    <message>
        <source>显示屏蔽的读数</source>
        <translation>Show masked readings</translation>
    </message>
    <message>
        <source>屏蔽的读数不参与触发值判断，也不连入趋势线；勾选后以灰点显示</source>
        <translation>Masked readings are not judged against trigger levels and are left out of the trend line; when checked they are shown as grey dots</translation>
    </message>
    <message>
        <source>生成报告…</source>
        <translation>Make report…</translation>
    </message>
    <message>
        <source>为一个工程或所选测点生成一段时间的监测报告（PDF、AGS4 或长表 CSV）</source>
        <translation>Make a monitoring report of a site or of the chosen gauges over a period (PDF, AGS4 or long CSV)</translation>
    </message>
    <message>
        <source>同步到办公室数据库</source>
        <translation>Sync with the office database</translation>
    </message>
    <message>
        <source>上传本机档案中办公室数据库还没有的读数和登记，并取回其他电脑上传的内容</source>
        <translation>Send the readings and register entries the office database does not have yet, and bring what other PCs sent</translation>
    </message>
</context>
<context>
    <name>Judgement</name>
    <message>
        <source>级别名称须有 3 个</source>
        <translation>There must be 3 rank names</translation>
    </message>
    <message>
        <source>级别名称不能为空</source>
        <translation>A rank name cannot be empty</translation>
    </message>
    <message>
        <source>第 %1 个触发值的级别不在 1 到 3 之间</source>
        <extracomment>%1 the level&apos;s number in the list</extracomment>
        <translation>The rank of level %1 is not between 1 and 3</translation>
    </message>
    <message>
        <source>上限的第 %1 级给了两次</source>
        <translation>Upper rank %1 is given twice</translation>
    </message>
    <message>
        <source>下限的第 %1 级给了两次</source>
        <translation>Lower rank %1 is given twice</translation>
    </message>
    <message>
        <source>第 %1 个触发值的阈值不是有效数字</source>
        <translation>The threshold of level %1 is not a valid number</translation>
    </message>
    <message>
        <source>第 %1 个触发值的回差不是有效数字</source>
        <translation>The dead band of level %1 is not a valid number</translation>
    </message>
    <message>
        <source>第 %1 个触发值的回差不能为负</source>
        <translation>The dead band of level %1 cannot be negative</translation>
    </message>
    <message>
        <source>第 %1 个触发值的时间窗须大于 0 天</source>
        <translation>The window of level %1 must be more than 0 days</translation>
    </message>
    <message>
        <source>第 %1 个触发值的连续次数至少为 1</source>
        <translation>Level %1 must be confirmed by at least 1 reading</translation>
    </message>
    <message>
        <source>频率范围须是两个有效数字，下限小于上限</source>
        <translation>The frequency band must be two valid numbers, the lower below the upper</translation>
    </message>
    <message>
        <source>温度范围须是两个有效数字，下限小于上限</source>
        <translation>The temperature range must be two valid numbers, the lower below the upper</translation>
    </message>
    <message>
        <source>温度跳变限值须大于 0</source>
        <translation>The temperature jump limit must be above 0</translation>
    </message>
    <message>
        <source>突变倍数不能为负（0：不检查）</source>
        <translation>The step factor cannot be negative (0: not checked)</translation>
    </message>
    <message>
        <source>离散度读数个数须在 6 到 1000 之间</source>
        <translation>The scatter window must be between 6 and 1000 readings</translation>
    </message>
</context>
<context>
    <name>LevelsDialog</name>
    <message>
        <source>触发值：%1</source>
        <translation>Trigger levels: %1</translation>
    </message>
    <message>
        <source>工程 %1</source>
        <translation>site %1</translation>
    </message>
    <message>
        <source>单位 %1</source>
        <translation>unit %1</translation>
    </message>
    <message>
        <source>测点 %1</source>
        <translation>Gauge %1</translation>
    </message>
    <message>
        <source>测点 %1（%2）</source>
        <translation>Gauge %1 (%2)</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>等级名称</source>
        <translation>Rank names</translation>
    </message>
    <message>
        <source>等级 %1 的名称</source>
        <translation>Name of rank %1</translation>
    </message>
    <message>
        <source>等级 %1：</source>
        <translation>Rank %1:</translation>
    </message>
    <message>
        <source>触发值</source>
        <translation>Trigger levels</translation>
    </message>
    <message>
        <source>级别</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>On</translation>
    </message>
    <message>
        <source>比较量</source>
        <translation>Quantity</translation>
    </message>
    <message>
        <source>阈值</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>窗口（天）</source>
        <translation>Window (days)</translation>
    </message>
    <message>
        <source>连续次数</source>
        <translation>Confirmations</translation>
    </message>
    <message>
        <source>回差</source>
        <translation>Dead band</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>累计变化</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>变化速率</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>数值：读数的工程值；累计变化：与基准读数之差；变化速率：窗口天数内每天的变化</source>
        <translation>Value: the reading&apos;s engineering value; change: the difference from the baseline reading; rate: the change per day over the window</translation>
    </message>
    <message>
        <source>连续这么多次读数超过阈值才算达到</source>
        <translation>This many consecutive readings beyond the threshold reach the level</translation>
    </message>
    <message>
        <source>达到后，读数回到阈值以内超过回差才解除</source>
        <translation>Once reached, the level clears when a reading is back inside the threshold by more than the dead band</translation>
    </message>
    <message>
        <source>上限 %1</source>
        <translation>High %1</translation>
    </message>
    <message>
        <source>下限 %1</source>
        <translation>Low %1</translation>
    </message>
    <message>
        <source>启用%1</source>
        <translation>%1 on</translation>
    </message>
    <message>
        <source>%1 比较量</source>
        <translation>%1 quantity</translation>
    </message>
    <message>
        <source>%1 阈值</source>
        <translation>%1 threshold</translation>
    </message>
    <message>
        <source>%1 窗口（天）</source>
        <translation>%1 window (days)</translation>
    </message>
    <message>
        <source>%1 连续次数</source>
        <translation>%1 confirmations</translation>
    </message>
    <message>
        <source>%1 回差</source>
        <translation>%1 dead band</translation>
    </message>
    <message>
        <source>基准与生效时间</source>
        <translation>Baseline and start</translation>
    </message>
    <message>
        <source>基准为首次读数</source>
        <translation>Baseline: the first reading</translation>
    </message>
    <message>
        <source>基准为此时以后的首次读数：</source>
        <translation>Baseline: the first reading from:</translation>
    </message>
    <message>
        <source>基准时间</source>
        <translation>Baseline time</translation>
    </message>
    <message>
        <source>适用于全部读数</source>
        <translation>For every reading</translation>
    </message>
    <message>
        <source>自此时起适用：</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>生效时间</source>
        <translation>Applies from</translation>
    </message>
    <message>
        <source>保存到：</source>
        <translation>Save for:</translation>
    </message>
    <message>
        <source>保存到</source>
        <translation>Save for</translation>
    </message>
    <message>
        <source>本测点</source>
        <translation>This gauge</translation>
    </message>
    <message>
        <source>同类型（%1）的全部测点（%2 个）</source>
        <translation>Every gauge of its type (%1): %2 gauges</translation>
    </message>
    <message>
        <source>同类型的全部测点（未登记类型）</source>
        <translation>Every gauge of its type (no type registered)</translation>
    </message>
    <message>
        <source>同工程（%1）的全部测点（%2 个）</source>
        <translation>Every gauge of its site (%1): %2 gauges</translation>
    </message>
    <message>
        <source>同工程的全部测点（未归属工程）</source>
        <translation>Every gauge of its site (no site registered)</translation>
    </message>
    <message>
        <source>自</source>
        <translation>From</translation>
    </message>
    <message>
        <source>基准</source>
        <translation>Baseline</translation>
    </message>
    <message>
        <source>录入时间</source>
        <translation>Entered</translation>
    </message>
    <message>
        <source>录入人</source>
        <translation>By</translation>
    </message>
    <message>
        <source>触发值版本</source>
        <translation>Trigger level versions</translation>
    </message>
    <message>
        <source>版本：</source>
        <translation>Versions:</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>保存为新版本（以前的版本保留），并按新触发值重新判断读数</source>
        <translation>Save as a new version (earlier versions are kept) and judge the readings again by it</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>High</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>Low</translation>
    </message>
    <message>
        <source> %1/天</source>
        <translation> %1/day</translation>
    </message>
    <message>
        <source>无法保存：%1</source>
        <translation>Cannot be saved: %1</translation>
    </message>
    <message>
        <source>没有启用任何触发值：保存后，自生效时间起不再按触发值判断。</source>
        <translation>No level is on: once saved, no trigger levels are judged from its start on.</translation>
    </message>
    <message>
        <source>最初</source>
        <translation>since ever</translation>
    </message>
    <message>
        <source>首次读数</source>
        <translation>first reading</translation>
    </message>
    <message>
        <source>触发值未保存：%1</source>
        <translation>The trigger levels were not saved: %1</translation>
    </message>
</context>
<context>
    <name>LevelsForm</name>
    <message>
        <source>无触发值</source>
        <translation>no trigger levels</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>LinkTexts</name>
    <message>
        <source>端口打开错误！或许参数设置不正确？请重试</source>
        <translation>Could not open the port. Are the settings right? Please try again.</translation>
    </message>
    <message>
        <source>（没有访问该串口的权限。在 Linux 上请把当前用户加入 dialout 组，重新登录后再试。）</source>
        <translation>(No permission to use this serial port. On Linux, add the user to the dialout group, log in again and retry.)</translation>
    </message>
    <message>
        <source>（列表中 %1 所指的设备 %2 已不存在，请重新打开串口列表选择。）</source>
        <translation>(The device %2 that the list showed as %1 is gone. Open the port list again and choose.)</translation>
    </message>
    <message>
        <source>串口未打开：%1</source>
        <translation>Port not open: %1</translation>
    </message>
    <message>
        <source>串口 %1 已断开（%2）。请检查连线和仪器后重新连接。</source>
        <translation>Serial port %1 was lost (%2). Check the cable and the instrument, then connect again.</translation>
    </message>
    <message>
        <source>没有读取到数据！请检查连线或仪器的电源开关是否关闭！</source>
        <translation>No data received. Check the cable and whether the instrument is switched on.</translation>
    </message>
    <message>
        <source>资源暂时不可用</source>
        <translation>Resource temporarily unavailable</translation>
    </message>
    <message>
        <source>没有那个文件或目录</source>
        <translation>No such file or directory</translation>
    </message>
    <message>
        <source>没有那个设备</source>
        <translation>No such device</translation>
    </message>
    <message>
        <source>没有那个设备或地址</source>
        <translation>No such device or address</translation>
    </message>
    <message>
        <source>权限不够</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>不允许的操作</source>
        <translation>Operation not permitted</translation>
    </message>
    <message>
        <source>设备或资源忙</source>
        <translation>Device or resource busy</translation>
    </message>
    <message>
        <source>输入/输出错误</source>
        <translation>Input/output error</translation>
    </message>
    <message>
        <source>对设备不适当的 ioctl 操作</source>
        <translation>Inappropriate ioctl for device</translation>
    </message>
    <message>
        <source>错误的文件描述符</source>
        <translation>Bad file descriptor</translation>
    </message>
    <message>
        <source>无效的参数</source>
        <translation>Invalid argument</translation>
    </message>
    <message>
        <source>被中断的系统调用</source>
        <translation>Interrupted system call</translation>
    </message>
    <message>
        <source>管道已断开</source>
        <translation>Broken pipe</translation>
    </message>
    <message>
        <source>连接超时</source>
        <translation>Connection timed out</translation>
    </message>
    <message>
        <source>打开的文件过多</source>
        <translation>Too many open files</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>（%1 没有对应的设备：设备已拔出或不存在，请重新打开串口列表选择。）</source>
        <translation>(No device stands behind %1: it was unplugged or is not there. Open the port list again and choose the port.)</translation>
    </message>
    <message>
        <source>已停止接收：已接收的 %1 字节已丢弃</source>
        <translation>Receiving stopped: the %1 bytes received were discarded</translation>
    </message>
    <message>
        <source>已断开，传输中断：已接收的 %1 字节已丢弃</source>
        <translation>Disconnected, transfer interrupted: the %1 bytes received were discarded</translation>
    </message>
    <message>
        <source>串口已断开，传输中断：已接收的 %1 字节已丢弃</source>
        <translation>Serial port lost, transfer interrupted: the %1 bytes received were discarded</translation>
    </message>
    <message>
        <source>正在丢弃上次未完成的数据：%1 字节</source>
        <translation>Discarding leftover data of an earlier transfer: %1 bytes</translation>
    </message>
    <message>
        <source>已丢弃上次未完成的数据：%1 字节</source>
        <translation>Discarded leftover data of an earlier transfer: %1 bytes</translation>
    </message>
</context>
<context>
    <name>LinuxPortTable</name>
    <message>
        <source>发布的串口链接</source>
        <translation>published port link</translation>
    </message>
</context>
<context>
    <name>NewFileName</name>
    <message>
        <source>文件名的长度需至少有1个字符，最大长度不能超过20个字符，且必须为可现实字符！</source>
        <translation>The file name must be 1 to 20 characters that can be shown.</translation>
    </message>
    <message>
        <source>文件名中含有不可显示字符（含空格），请修正！</source>
        <translation>The file name contains characters that cannot be shown (spaces included). Please correct it.</translation>
    </message>
    <message>
        <source>文件名中不能含有以下字符：&lt; &gt; / \ | : &quot; * ?，请修正！</source>
        <translation>The file name must not contain any of the characters &lt; &gt; / \ | : &quot; * ? Please correct it.</translation>
    </message>
</context>
<context>
    <name>Office</name>
    <message>
        <source>连接字符串和服务名只能填写其中一项。</source>
        <translation>Give either a connection string or a service name, not both.</translation>
    </message>
    <message>
        <source>服务名“%1”不能含有空格、引号、等号、方括号或反斜杠。</source>
        <translation>The service name “%1” must not contain spaces, quotes, equals signs, square brackets or backslashes.</translation>
    </message>
    <message>
        <source>连接字符串无法解读。</source>
        <translation>The connection string cannot be read.</translation>
    </message>
    <message>
        <source>连接字符串无法解读：%1</source>
        <translation>The connection string cannot be read: %1</translation>
    </message>
    <message>
        <source>连接字符串中含有密码：设置中不保存密码，请把密码放在 ~/.pgpass（或 PGPASSFILE 指定的文件）中，或保存到系统的密钥存储。</source>
        <translation>The connection string contains a password: passwords are never kept in the settings. Put it in ~/.pgpass (or the file PGPASSFILE names), or save it in the system&apos;s key store.</translation>
    </message>
    <message>
        <source>尚未设置办公室数据库。</source>
        <translation>No office database is set up.</translation>
    </message>
    <message>
        <source>此版本的程序不能使用系统的密钥存储。</source>
        <translation>This build of the program cannot use the system&apos;s key store.</translation>
    </message>
    <message>
        <source>办公室数据库的连接设置无法使用：%1</source>
        <translation>The office database&apos;s connection settings cannot be used: %1</translation>
    </message>
    <message>
        <source>尚未设置办公室数据库：请先在“办公室数据库”设置中填写连接。</source>
        <translation>No office database is set up: fill in the connection in the “Office database” settings first.</translation>
    </message>
    <message>
        <source>此版本的程序不支持办公室数据库。</source>
        <translation>This build of the program has no office database support.</translation>
    </message>
    <message>
        <source>无法连接办公室数据库服务器（%1）：读数已保存在本机，稍后可再同步。</source>
        <translation>Cannot reach the office database server (%1): the readings are kept on this PC; sync again later.</translation>
    </message>
    <message>
        <source>无法连接办公室数据库服务器：读数已保存在本机，稍后可再同步。</source>
        <translation>Cannot reach the office database server: the readings are kept on this PC; sync again later.</translation>
    </message>
    <message>
        <source>办公室数据库拒绝了用户名或密码（%1）。</source>
        <translation>The office database refused the user name or password (%1).</translation>
    </message>
    <message>
        <source>办公室数据库拒绝了用户名或密码。</source>
        <translation>The office database refused the user name or password.</translation>
    </message>
    <message>
        <source>办公室数据库服务器不支持加密连接（TLS），而连接设置要求加密（sslmode=%1）。</source>
        <translation>The office database server does not offer encrypted connections (TLS), and the connection settings require encryption (sslmode=%1).</translation>
    </message>
    <message>
        <source>办公室数据库服务器不支持加密连接（TLS），而连接设置要求加密。</source>
        <translation>The office database server does not offer encrypted connections (TLS), and the connection settings require encryption.</translation>
    </message>
    <message>
        <source>办公室数据库服务器的证书未通过检查（%1）：请确认连接中的服务器名称与证书相符，且根证书（sslrootcert）正确。</source>
        <translation>The office database server&apos;s certificate did not pass the check (%1): make sure the server name in the connection matches the certificate and the root certificate (sslrootcert) is the right one.</translation>
    </message>
    <message>
        <source>办公室数据库服务器的证书未通过检查：请确认连接中的服务器名称与证书相符，且根证书（sslrootcert）正确。</source>
        <translation>The office database server&apos;s certificate did not pass the check: make sure the server name in the connection matches the certificate and the root certificate (sslrootcert) is the right one.</translation>
    </message>
    <message>
        <source>办公室数据库服务器上没有连接设置中的数据库（%1）。</source>
        <translation>The office database server has no database of the name in the connection settings (%1).</translation>
    </message>
    <message>
        <source>办公室数据库服务器上没有连接设置中的数据库。</source>
        <translation>The office database server has no database of the name in the connection settings.</translation>
    </message>
    <message>
        <source>办公室数据库中还没有本程序的数据表，而此用户无权建立（%1）：请先用有建表权限的用户同步一次。</source>
        <translation>The office database has none of this program&apos;s tables yet, and this user may not make them (%1): sync once first as a user who may create tables.</translation>
    </message>
    <message>
        <source>办公室数据库中还没有本程序的数据表，而此用户无权建立：请先用有建表权限的用户同步一次。</source>
        <translation>The office database has none of this program&apos;s tables yet, and this user may not make them: sync once first as a user who may create tables.</translation>
    </message>
    <message>
        <source>办公室数据库由更新版本的程序建立（%1）：请先升级本程序再同步。</source>
        <translation>The office database was made by a newer version of the program (%1): update this program before syncing.</translation>
    </message>
    <message>
        <source>办公室数据库由更新版本的程序建立：请先升级本程序再同步。</source>
        <translation>The office database was made by a newer version of the program: update this program before syncing.</translation>
    </message>
    <message>
        <source>此用户只能读取办公室数据库，不能上传（%1）。</source>
        <translation>This user may only read the office database, not send to it (%1).</translation>
    </message>
    <message>
        <source>此用户只能读取办公室数据库，不能上传。</source>
        <translation>This user may only read the office database, not send to it.</translation>
    </message>
    <message>
        <source>办公室数据库拒绝了操作：此用户权限不足（%1）。</source>
        <translation>The office database refused the operation: this user lacks the privilege (%1).</translation>
    </message>
    <message>
        <source>办公室数据库拒绝了操作：此用户权限不足。</source>
        <translation>The office database refused the operation: this user lacks the privilege.</translation>
    </message>
    <message>
        <source>与办公室数据库的连接中断了（%1）：未完成的部分已撤销，本机数据完好，稍后可再同步。</source>
        <translation>The connection to the office database broke off (%1): the unfinished part was undone, the data on this PC is intact; sync again later.</translation>
    </message>
    <message>
        <source>与办公室数据库的连接中断了：未完成的部分已撤销，本机数据完好，稍后可再同步。</source>
        <translation>The connection to the office database broke off: the unfinished part was undone, the data on this PC is intact; sync again later.</translation>
    </message>
    <message>
        <source>已停止：未完成的部分已撤销，本机数据完好。</source>
        <translation>Stopped: the unfinished part was undone, the data on this PC is intact.</translation>
    </message>
    <message>
        <source>办公室数据库出错：%1</source>
        <translation>The office database reported an error: %1</translation>
    </message>
    <message>
        <source>办公室数据库出错。</source>
        <translation>The office database reported an error.</translation>
    </message>
    <message>
        <source>本机数据库读写失败：%1</source>
        <translation>The local archive could not be read or written: %1</translation>
    </message>
    <message>
        <source>本机数据库读写失败。</source>
        <translation>The local archive could not be read or written.</translation>
    </message>
    <message>
        <source>此电脑上没有可用的系统密钥存储（如 GNOME 密钥环或 KWallet）：%1</source>
        <translation>This PC has no system key store to use (such as GNOME Keyring or KWallet): %1</translation>
    </message>
    <message>
        <source>系统的密钥存储拒绝了保存密码：%1</source>
        <translation>The system&apos;s key store refused to save the password: %1</translation>
    </message>
    <message>
        <source>系统的密钥存储未能保存密码（%1）：此电脑上可能没有运行中的密钥存储服务。</source>
        <translation>The system&apos;s key store could not save the password (%1): this PC may have no key store service running.</translation>
    </message>
    <message>
        <source>数据库结构版本 %1，本程序最高只支持版本 %2</source>
        <translation>schema version %1; this program knows versions up to %2</translation>
    </message>
    <message>
        <source>办公室数据库的版本记录缺失或无效。</source>
        <translation>The office database&apos;s record of its version is missing or not valid.</translation>
    </message>
    <message>
        <source>此服务器是只读副本，其上的办公室数据库结构是旧版本 %1：请先连接主服务器同步一次。</source>
        <translation>This server is a read-only replica and the office database on it has the older schema version %1: sync once with the primary server first.</translation>
    </message>
    <message>
        <source>办公室数据库的结构是旧版本 %1，只有其所有者才能升级它。</source>
        <translation>The office database has the older schema version %1, and only its owner may bring it up to date.</translation>
    </message>
    <message>
        <source>另一版本</source>
        <translation>another version</translation>
    </message>
    <message>
        <source>时间不明</source>
        <translation>time unknown</translation>
    </message>
    <message>
        <source>未知用户</source>
        <translation>unknown user</translation>
    </message>
    <message>
        <source>（空）</source>
        <translation>(empty)</translation>
    </message>
    <message>
        <source>最早</source>
        <translation>the earliest</translation>
    </message>
    <message>
        <source>至今</source>
        <translation>now</translation>
    </message>
    <message>
        <source>观测间隔 %1 天</source>
        <translation>reading interval %1 days</translation>
    </message>
    <message>
        <source>内容相同</source>
        <translation>the same content</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>不分配测点</source>
        <translation>no gauge assigned</translation>
    </message>
    <message>
        <source>%1（%2 至 %3）</source>
        <translation>%1 (%2 to %3)</translation>
    </message>
    <message>
        <source>自 %1 起撤销率定</source>
        <translation>calibration withdrawn from %1</translation>
    </message>
    <message>
        <source>自 %1 起：%2</source>
        <translation>from %1: %2</translation>
    </message>
    <message>
        <source>自 %1 起不设警戒值</source>
        <translation>no trigger levels from %1</translation>
    </message>
    <message>
        <source>自 %1 起 %2 个警戒值</source>
        <translation>%2 trigger levels from %1</translation>
    </message>
    <message>
        <source>只读用户：未上传任何读数；已下载 %1 条读数</source>
        <translation>Read-only user: no readings sent; %1 readings received</translation>
    </message>
    <message>
        <source>已同步：上传 %1 条读数（新 %2 条），下载 %3 条读数</source>
        <translation>Synced: %1 readings sent (%2 new), %3 readings received</translation>
    </message>
    <message>
        <source>；另有 %1 条待同步</source>
        <translation>; %1 more waiting</translation>
    </message>
    <message>
        <source>；%1 处修改冲突</source>
        <translation>; %1 conflicting edits</translation>
    </message>
    <message>
        <source>测点 %1 的登记信息</source>
        <translation>the register row of gauge %1</translation>
    </message>
    <message>
        <source>通道 %1 的测点分配</source>
        <translation>the gauge assignment of slot %1</translation>
    </message>
    <message>
        <source>%1 的率定</source>
        <translation>the calibration of %1</translation>
    </message>
    <message>
        <source>测点 %1 的警戒值</source>
        <translation>the trigger levels of gauge %1</translation>
    </message>
    <message>
        <source>%1在两台电脑上同时被修改。采用了较晚的修改（%2，%3）：%4。另一修改（%5，%6）：%7，已保留在办公室数据库中。</source>
        <translation>%1 was changed on two PCs at the same time. The later change applies (%2, %3): %4. The other change (%5, %6): %7, is kept in the office database.</translation>
    </message>
    <message>
        <source>%1 条读数待同步到办公室数据库</source>
        <translation>%1 readings waiting to be synced to the office database</translation>
    </message>
    <message>
        <source>「%1」</source>
        <translation>“%1”</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>type </translation>
    </message>
    <message>
        <source>单位</source>
        <translation>unit </translation>
    </message>
    <message>
        <source>工程</source>
        <translation>site </translation>
    </message>
    <message>
        <source>位置</source>
        <translation>location </translation>
    </message>
    <message>
        <source>安装日期</source>
        <translation>installation date </translation>
    </message>
    <message>
        <source>备注</source>
        <translation>notes </translation>
    </message>
</context>
<context>
    <name>OfficeDialog</name>
    <message>
        <source>办公室数据库设置</source>
        <translation>Office database settings</translation>
    </message>
    <message>
        <source>各台电脑的读数汇总到办公室的 PostgreSQL 数据库；本机档案照常离线工作，同步时上传办公室还没有的内容，并取回其他电脑上传的内容。</source>
        <translation>Every PC&apos;s readings come together in the office&apos;s PostgreSQL database; the local archive works offline as always, and a sync sends what the office does not have yet and brings what other PCs sent.</translation>
    </message>
    <message>
        <source>连接字符串：</source>
        <translation>Connection string:</translation>
    </message>
    <message>
        <source>libpq 的连接字符串或 URI（postgresql://…），不含密码</source>
        <translation>A libpq connection string or URI (postgresql://…), without a password</translation>
    </message>
    <message>
        <source>连接字符串</source>
        <translation>Connection string</translation>
    </message>
    <message>
        <source>服务名：</source>
        <translation>Service name:</translation>
    </message>
    <message>
        <source>pg_service.conf 中的服务名（PGSERVICEFILE、~/.pg_service.conf 或系统的服务文件）</source>
        <translation>A service of pg_service.conf (PGSERVICEFILE, ~/.pg_service.conf or the system&apos;s service file)</translation>
    </message>
    <message>
        <source>服务名</source>
        <translation>Service name</translation>
    </message>
    <message>
        <source>加密方式：</source>
        <translation>Encryption:</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>密码保存在系统的密钥存储中，不写入设置；留空则不更改已保存的密码。</source>
        <translation>The password is kept in the system&apos;s key store, never in the settings; left empty, the one kept stays.</translation>
    </message>
    <message>
        <source>此程序不能使用系统的密钥存储：密码请写入 libpq 的密码文件 ~/.pgpass（Windows 上为 %APPDATA%\postgresql\pgpass.conf）。此处输入的密码只用于测试连接。</source>
        <translation>This program cannot use the system&apos;s key store: put the password in libpq&apos;s password file ~/.pgpass (on Windows %APPDATA%\postgresql\pgpass.conf). A password typed here only tests the connection.</translation>
    </message>
    <message>
        <source>关注的工程（同步时取回其他电脑上传的这些工程的读数；都不勾选则为本机读过的测点所在的工程）：</source>
        <translation>Followed sites (a sync brings other PCs&apos; readings of these sites; none ticked: the sites of the gauges this PC has read):</translation>
    </message>
    <message>
        <source>关注的工程</source>
        <translation>Followed sites</translation>
    </message>
    <message>
        <source>每次下载存档后自动同步</source>
        <translation>Sync after each download is archived</translation>
    </message>
    <message>
        <source>测试连接</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>建议使用 sslmode=verify-full：加密并核对服务器证书与主机名</source>
        <translation>sslmode=verify-full is advised: encrypted, with the server&apos;s certificate and host name checked</translation>
    </message>
    <message>
        <source>已连接：用户 %1，数据库 %2，PostgreSQL %3。</source>
        <extracomment>%1 the user, %2 the database, %3 the server&apos;s version</extracomment>
        <translation>Connected: user %1, database %2, PostgreSQL %3.</translation>
    </message>
    <message>
        <source>连接已加密（TLS，sslmode=%1）。</source>
        <translation>The connection is encrypted (TLS, sslmode=%1).</translation>
    </message>
    <message>
        <source>连接未加密（sslmode=%1）。</source>
        <translation>The connection is not encrypted (sslmode=%1).</translation>
    </message>
    <message>
        <source>正在连接…</source>
        <translation>Connecting…</translation>
    </message>
</context>
<context>
    <name>OfficeSync</name>
    <message>
        <source>%1；%2</source>
        <extracomment>%1 the sync&apos;s result, %2 how many readings still wait</extracomment>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>同步时发现 %1 处冲突：两台电脑修改了同一项。两者都保存在办公室数据库中，以较晚的修改为准。</source>
        <translation>The sync found %1 conflict(s): two PCs changed the same item. Both are kept in the office database; the later change applies.</translation>
    </message>
</context>
<context>
    <name>OverdueModel</name>
    <message>
        <source>从未测读</source>
        <translation>never read</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>工程</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>测读间隔（天）</source>
        <translation>Interval (days)</translation>
    </message>
    <message>
        <source>最后读数</source>
        <translation>Last reading</translation>
    </message>
    <message>
        <source>已过天数</source>
        <translation>Days since</translation>
    </message>
</context>
<context>
    <name>PartitionTree</name>
    <message>
        <source>数据分区</source>
        <translation>Data Partitions</translation>
    </message>
</context>
<context>
    <name>PreviewMarks</name>
    <message>
        <source>状态：%1</source>
        <extracomment>%1 the rank reached (&quot;报警&quot;)</extracomment>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>质量标记：%1</source>
        <translation>Quality flags: %1</translation>
    </message>
</context>
<context>
    <name>QtSaveProgress</name>
    <message>
        <source>正在保存 %1 …</source>
        <translation>Saving %1…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>保存预览文件</source>
        <translation>Save Preview</translation>
    </message>
</context>
<context>
    <name>QtSerialLink</name>
    <message>
        <source>串口号 %1 超出范围（应为 1 到 256）</source>
        <translation>Port number %1 is out of range (1 to 256)</translation>
    </message>
    <message>
        <source>串口参数“%1”无法使用</source>
        <translation>The line settings “%1” cannot be used</translation>
    </message>
    <message>
        <source>设备 %1 已不存在</source>
        <translation>Device %1 no longer exists</translation>
    </message>
    <message>
        <source>COM%1 没有对应的设备</source>
        <translation>COM%1 stands for no device</translation>
    </message>
    <message>
        <source>无法打开 %1（%2）</source>
        <translation>Cannot open %1 (%2)</translation>
    </message>
    <message>
        <source>无法设置 %1 的通信参数（%2）</source>
        <translation>Cannot set the line settings of %1 (%2)</translation>
    </message>
</context>
<context>
    <name>QualityRulesDialog</name>
    <message>
        <source>质量规则</source>
        <translation>Quality rules</translation>
    </message>
    <message>
        <source>每种测点类型的读数质量规则；“其他类型”用于没有自己规则的类型。台阶倍数为 0 时不检查台阶。保存后按新规则重新判断各测点的读数。</source>
        <translation>The reading quality rules of each gauge type; &quot;other types&quot; are for types without rules of their own. A step factor of 0 checks no steps. Once saved, the readings are judged again by the new rules.</translation>
    </message>
    <message>
        <source>质量规则表</source>
        <translation>Quality rules table</translation>
    </message>
    <message>
        <source>添加行</source>
        <translation>Add row</translation>
    </message>
    <message>
        <source>删除行</source>
        <translation>Delete row</translation>
    </message>
    <message>
        <source>恢复默认</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>把表格换成程序内置的规则（保存后才生效）</source>
        <translation>Put the built-in rules in the table (they apply once saved)</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>新类型</source>
        <translation>new type</translation>
    </message>
    <message>
        <source>质量规则有无法识别的行，未保存：
%1</source>
        <translation>The quality rules have rows that cannot be read; nothing was saved:
%1</translation>
    </message>
    <message>
        <source>质量规则未保存：%1</source>
        <translation>The quality rules were not saved: %1</translation>
    </message>
</context>
<context>
    <name>QualityRulesRows</name>
    <message>
        <source>其他类型</source>
        <translation>other types</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>频率下限 (Hz)</source>
        <translation>Lowest frequency (Hz)</translation>
    </message>
    <message>
        <source>频率上限 (Hz)</source>
        <translation>Highest frequency (Hz)</translation>
    </message>
    <message>
        <source>温度下限 (°C)</source>
        <translation>Lowest temperature (°C)</translation>
    </message>
    <message>
        <source>温度上限 (°C)</source>
        <translation>Highest temperature (°C)</translation>
    </message>
    <message>
        <source>最大温度跳变 (°C)</source>
        <translation>Largest temperature jump (°C)</translation>
    </message>
    <message>
        <source>台阶倍数</source>
        <translation>Step factor</translation>
    </message>
    <message>
        <source>离散窗口（次）</source>
        <translation>Scatter window (readings)</translation>
    </message>
    <message>
        <source>第 %1 行</source>
        <translation>Row %1</translation>
    </message>
    <message>
        <source>%1：“%2”不是数值（%3）</source>
        <translation>%1: “%2” is not a number (%3)</translation>
    </message>
    <message>
        <source>%1：“%2”不是整数（%3）</source>
        <translation>%1: “%2” is not a whole number (%3)</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1：类型“%2”重复</source>
        <translation>%1: the type “%2” is given twice</translation>
    </message>
</context>
<context>
    <name>QuietSetting</name>
    <message>
        <source>设置(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>接收静默时间(&amp;Q)…</source>
        <translation>Reply &amp;quiet time…</translation>
    </message>
    <message>
        <source>接收静默时间</source>
        <translation>Reply quiet time</translation>
    </message>
    <message>
        <source>线路静默多少毫秒后，仪器的回答才算结束（默认 200）。
仪器回答中途停顿较久、拷贝常被提示不完整时，请加大此值。</source>
        <translation>How many milliseconds the line must be quiet before the instrument&apos;s reply counts as ended (default 200).
Raise it when the instrument pauses long in mid-reply and copies are often reported incomplete.</translation>
    </message>
</context>
<context>
    <name>ReadingsModel</name>
    <message>
        <source>已屏蔽</source>
        <translation>masked</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>读数 (Hz)</source>
        <translation>Reading (Hz)</translation>
    </message>
    <message>
        <source>温度 (°C)</source>
        <translation>Temperature (°C)</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>数值 (%1)</source>
        <translation>Value (%1)</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>质量标记</source>
        <translation>Quality flags</translation>
    </message>
    <message>
        <source>屏蔽</source>
        <translation>Mask</translation>
    </message>
    <message>
        <source>已屏蔽：%1</source>
        <translation>masked: %1</translation>
    </message>
</context>
<context>
    <name>ReadoutChoice</name>
    <message>
        <source>请选择一台仪器。</source>
        <translation>Please choose a readout.</translation>
    </message>
    <message>
        <source>已有名为“%1”的仪器，请换一个名称。</source>
        <translation>A readout named “%1” exists already; please choose another name.</translation>
    </message>
    <message>
        <source>请输入仪器的名称。</source>
        <translation>Please enter the readout’s name.</translation>
    </message>
    <message>
        <source>已有名为“%1”的仪器，请换一个名称，或选择该仪器。</source>
        <translation>A readout named “%1” exists already; please choose another name, or choose that readout.</translation>
    </message>
    <message>
        <source>未知的时区：%1</source>
        <translation>Unknown time zone: %1</translation>
    </message>
</context>
<context>
    <name>ReadoutDialog</name>
    <message>
        <source>选择仪器</source>
        <translation>Choose the readout</translation>
    </message>
    <message>
        <source>档案还不知道连接的是哪台读数仪（%1）。
请选择它，或给它起个名称：档案按仪器保存拷贝的数据。</source>
        <translation>The archive does not know yet which readout is connected (%1).
Please choose it, or give it a name: the archive keeps copies by readout.</translation>
    </message>
    <message>
        <source>连接的读数仪（%1）是哪台仪器？</source>
        <translation>Which readout is connected (%1)?</translation>
    </message>
    <message>
        <source>已有的仪器</source>
        <translation>A known readout</translation>
    </message>
    <message>
        <source>仪器</source>
        <translation>Readout</translation>
    </message>
    <message>
        <source>%1（时区 %2）</source>
        <translation>%1 (time zone %2)</translation>
    </message>
    <message>
        <source>仪器：</source>
        <translation>Readout:</translation>
    </message>
    <message>
        <source>改名为</source>
        <translation>Rename to</translation>
    </message>
    <message>
        <source>不改名请留空</source>
        <translation>Leave empty to keep the name</translation>
    </message>
    <message>
        <source>改名为：</source>
        <translation>Rename to:</translation>
    </message>
    <message>
        <source>新的仪器</source>
        <translation>A new readout</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>名称：</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>仪器时钟的时区</source>
        <translation>Time zone of the readout’s clock</translation>
    </message>
    <message>
        <source>仪器时钟的时区：</source>
        <translation>Time zone of the readout’s clock:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Recorder</name>
    <message>
        <source>未能存档：%1</source>
        <translation>Not archived: %1</translation>
    </message>
    <message>
        <source>已存档：新增 %1 条记录，共 %2 条</source>
        <translation>Archived: %1 new, %2 in this copy</translation>
    </message>
    <message>
        <source>无法打开档案数据库</source>
        <translation>Cannot open the archive database</translation>
    </message>
    <message>
        <source>档案数据库已损坏</source>
        <translation>The archive database is damaged</translation>
    </message>
    <message>
        <source>档案数据库来自更新版本的程序</source>
        <translation>The archive database comes from a newer version of the program</translation>
    </message>
    <message>
        <source>写入档案数据库失败，本次记录均未保存</source>
        <translation>Writing the archive database failed; none of these records were kept</translation>
    </message>
    <message>
        <source>读取档案数据库失败</source>
        <translation>Reading the archive database failed</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1，已原样移至 %2，并新建了档案数据库。</source>
        <translation>%1. It was moved unchanged to %2, and a new archive database was started.</translation>
    </message>
    <message>
        <source>%1 份拷贝等待存档</source>
        <translation>%1 copies waiting to be archived</translation>
    </message>
    <message>
        <source>%1，已原样移至 %2。</source>
        <translation>%1; moved unchanged to %2.</translation>
    </message>
    <message>
        <source>已存入先前暂存的 %1 份拷贝：新增 %2 条记录</source>
        <translation>Archived %1 copies kept earlier: %2 new records</translation>
    </message>
    <message>
        <source>%1；%2</source>
        <extracomment>%1 what was stored, %2 what the clock guard found
----------
%1 what was stored, %2 what judging the new readings found
----------
%1 what was stored, %2 how many copies still wait</extracomment>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>已停止存档：本次拷贝已暂存，下次打开档案时存入（%1）</source>
        <translation>Archiving stopped: this copy is kept and will be archived the next time the archive is opened (%1)</translation>
    </message>
    <message>
        <source>未能存档：%1；本次拷贝已暂存，下次打开档案时存入（%2）</source>
        <translation>Not archived: %1; this copy is kept and will be archived the next time the archive is opened (%2)</translation>
    </message>
    <message>
        <source>%1；暂存也未成功（%2）</source>
        <translation>%1; keeping the copy for later failed too (%2)</translation>
    </message>
    <message>
        <source>正在打开档案数据库…</source>
        <translation>Opening the archive…</translation>
    </message>
    <message>
        <source>存档已停止，本次记录均未保存</source>
        <translation>Archiving was stopped; none of these records were stored</translation>
    </message>
    <message>
        <source>未指定仪器，本次记录未存档。</source>
        <translation>No readout was given for this copy; its records were not archived.</translation>
    </message>
    <message>
        <source>最新读数比电脑时钟快 %1 小时</source>
        <translation>the newest reading is %1 hours ahead of the PC&apos;s clock</translation>
    </message>
    <message>
        <source>早于测点安装日期的读数：%1</source>
        <translation>readings dated before the gauge&apos;s installation: %1</translation>
    </message>
    <message>
        <source>仪器时钟可能不准（%1）</source>
        <extracomment>%1 what was found, e.g. that the newest reading is ahead of the PC&apos;s clock</extracomment>
        <translation>the readout&apos;s clock may be wrong (%1)</translation>
    </message>
</context>
<context>
    <name>RegisterDialog</name>
    <message>
        <source>……另有 %1 项</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>渗压计</source>
        <translation>piezometer</translation>
    </message>
    <message>
        <source>应变计</source>
        <translation>strain gauge</translation>
    </message>
    <message>
        <source>裂缝计</source>
        <translation>crack meter</translation>
    </message>
    <message>
        <source>测力计</source>
        <translation>load cell</translation>
    </message>
    <message>
        <source>位移计</source>
        <translation>displacement meter</translation>
    </message>
    <message>
        <source>温度计</source>
        <translation>thermometer</translation>
    </message>
    <message>
        <source>测点登记</source>
        <translation>Gauge Register</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>工程</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>安装日期</source>
        <translation>Installed</translation>
    </message>
    <message>
        <source>测读间隔（天）</source>
        <translation>Interval (days)</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>测点登记表</source>
        <translation>Gauge register</translation>
    </message>
    <message>
        <source>导入…</source>
        <translation>Import…</translation>
    </message>
    <message>
        <source>导出…</source>
        <translation>Export…</translation>
    </message>
    <message>
        <source>添加行</source>
        <translation>Add Row</translation>
    </message>
    <message>
        <source>删除行</source>
        <translation>Delete Row</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>从工作簿（.xls、.xlsx）或 CSV 文件导入测点登记表，第一行为列名（中文或英文）；已有的测点替换其行，其余的添加在后面</source>
        <translation>Import the gauge register from a workbook (.xls, .xlsx) or a CSV file whose first row names the columns (in Chinese or English); a gauge already listed has its row replaced, others are added at the end</translation>
    </message>
    <message>
        <source>把表中的测点导出为 .xlsx 或 .csv</source>
        <translation>Export the gauges of the table as .xlsx or .csv</translation>
    </message>
    <message>
        <source>测点登记表有无法识别的行，未保存：
%1</source>
        <translation>The gauge register has rows that cannot be read; nothing was saved:
%1</translation>
    </message>
    <message>
        <source>测点登记表未保存：%1</source>
        <translation>The gauge register was not saved: %1</translation>
    </message>
    <message>
        <source>工作簿或 CSV|*.xls *.xlsx *.csv|EXCEL 工作簿|*.xls *.xlsx|CSV（逗号分隔）|*.csv</source>
        <translation>Workbook or CSV|*.xls *.xlsx *.csv|Excel workbook|*.xls *.xlsx|CSV (comma-separated)|*.csv</translation>
    </message>
    <message>
        <source>无法读取测点登记表：%1</source>
        <translation>Cannot read the gauge register: %1</translation>
    </message>
    <message>
        <source>文件中没有可以导入的行，测点登记表未改变：
%1</source>
        <translation>The file holds no row that can be imported; the gauge register is unchanged:
%1</translation>
    </message>
    <message>
        <source>已导入 %1 行，其中 %2 行替换了表中已有的测点。</source>
        <translation>Imported %1 row(s), %2 of them replacing gauges already listed.</translation>
    </message>
    <message>
        <source>以下各行未能识别，已略过：
%1</source>
        <translation>These rows could not be read and were skipped:
%1</translation>
    </message>
    <message>
        <source>EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv</source>
        <translation>Excel workbook|*.xlsx|CSV (comma-separated)|*.csv</translation>
    </message>
    <message>
        <source>测点登记表.xlsx</source>
        <translation>gauge-register.xlsx</translation>
    </message>
    <message>
        <source>导出失败：%1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>成功导出文件，请查阅！</source>
        <translation>Export complete. Please check the file.</translation>
    </message>
    <message>
        <source>导入触发值…</source>
        <translation>Import levels…</translation>
    </message>
    <message>
        <source>导出触发值…</source>
        <translation>Export levels…</translation>
    </message>
    <message>
        <source>从工作簿或 CSV 文件导入各测点的触发值（每行一个触发值），立即作为新版本保存到档案；测点须已在档案的登记表中</source>
        <translation>Import the gauges&apos; trigger levels from a workbook or CSV file (a level per row), saved into the archive at once as new versions; the gauges must be in the archive&apos;s register</translation>
    </message>
    <message>
        <source>把各测点现行的触发值导出为 .xlsx 或 .csv，每行一个触发值</source>
        <translation>Export the trigger levels in force as .xlsx or .csv, a level per row</translation>
    </message>
    <message>
        <source>无法读取触发值：%1</source>
        <translation>The trigger levels cannot be read: %1</translation>
    </message>
    <message>
        <source>档案中还没有任何测点的触发值。</source>
        <translation>The archive holds no trigger levels yet.</translation>
    </message>
    <message>
        <source>触发值表.xlsx</source>
        <translation>trigger levels.xlsx</translation>
    </message>
    <message>
        <source>无法读取触发值表：%1</source>
        <translation>The trigger level table cannot be read: %1</translation>
    </message>
    <message>
        <source>以下测点不在档案的测点登记表中（请先保存登记表）：%1</source>
        <translation>These gauges are not in the archive&apos;s register (save the register first): %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>文件中没有可以导入的触发值，档案未改变：
%1</source>
        <translation>The file holds no trigger levels to import; the archive is unchanged:
%1</translation>
    </message>
    <message>
        <source>触发值未导入：%1</source>
        <translation>The trigger levels were not imported: %1</translation>
    </message>
    <message>
        <source>已导入 %1 个测点的触发值。</source>
        <translation>Imported the trigger levels of %1 gauges.</translation>
    </message>
    <message>
        <source>以下各项未导入：
%1</source>
        <translation>Not imported:
%1</translation>
    </message>
</context>
<context>
    <name>Report</name>
    <message>
        <source>无法读取档案：%1</source>
        <translation>The archive cannot be read: %1</translation>
    </message>
    <message>
        <source>报告期间无效：结束早于开始。</source>
        <translation>The report period is not valid: it ends before it begins.</translation>
    </message>
    <message>
        <source>监测报告</source>
        <translation>Monitoring report</translation>
    </message>
    <message>
        <source>档案中没有工程“%1”。</source>
        <translation>The archive has no site &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>档案中没有测点“%1”。</source>
        <translation>The archive has no gauge &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>测点“%1”不属于工程“%2”。</source>
        <translation>Gauge &quot;%1&quot; is not part of site &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>赫兹（振弦频率）</source>
        <translation>hertz (vibrating wire frequency)</translation>
    </message>
    <message>
        <source>摄氏度</source>
        <translation>degree Celsius</translation>
    </message>
    <message>
        <source>米</source>
        <translation>metre</translation>
    </message>
    <message>
        <source>年-月-日</source>
        <translation>year-month-day</translation>
    </message>
    <message>
        <source>年-月-日T时:分:秒（UTC）</source>
        <translation>year-month-dayThour:minute:second (UTC)</translation>
    </message>
    <message>
        <source>状态：%1</source>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>质量标记：%1</source>
        <translation>Quality flags: %1</translation>
    </message>
    <message>
        <source>已屏蔽：%1</source>
        <translation>Masked: %1</translation>
    </message>
    <message>
        <source>已屏蔽</source>
        <translation>Masked</translation>
    </message>
    <message>
        <source>%1：%2 至 %3（UTC）</source>
        <translation>%1: %2 to %3 (UTC)</translation>
    </message>
    <message>
        <source>KTM-520 数据管理程序 %1；时间均为 UTC</source>
        <translation>KTM-520 data manager %1; all times are UTC</translation>
    </message>
    <message>
        <source>振弦频率（读数）</source>
        <translation>Vibrating wire frequency (as read)</translation>
    </message>
    <message>
        <source>测点温度</source>
        <translation>Temperature at the gauge</translation>
    </message>
    <message>
        <source>工程值（按当时的标定版本换算）</source>
        <translation>Engineering value (by the calibration version of its time)</translation>
    </message>
    <message>
        <source>工程</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>读数仪</source>
        <translation>Readout</translation>
    </message>
    <message>
        <source>UTC 时间</source>
        <translation>UTC time</translation>
    </message>
    <message>
        <source>读数仪时间</source>
        <translation>Readout time</translation>
    </message>
    <message>
        <source>频率</source>
        <translation>Frequency</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>质量标记</source>
        <translation>Quality flags</translation>
    </message>
    <message>
        <source>屏蔽</source>
        <translation>Masked</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <extracomment>The report&apos;s period: %1 from, %2 to</extracomment>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>所选测点</source>
        <translation>Chosen gauges</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>第 %1 页，共 %2 页</source>
        <extracomment>The footer: %1 this page, %2 the pages of the report</extracomment>
        <translation>Page %1 of %2</translation>
    </message>
    <message>
        <source>工程说明</source>
        <translation>Site notes</translation>
    </message>
    <message>
        <source>报告期间</source>
        <translation>Period</translation>
    </message>
    <message>
        <source>测点数</source>
        <translation>Gauges</translation>
    </message>
    <message>
        <source>所用读数仪</source>
        <translation>Readouts used</translation>
    </message>
    <message>
        <source>期间下载次数</source>
        <translation>Downloads in the period</translation>
    </message>
    <message>
        <source>编制时间</source>
        <translation>Made at</translation>
    </message>
    <message>
        <source>编制人</source>
        <translation>Made by</translation>
    </message>
    <message>
        <source>程序版本</source>
        <translation>Program version</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Remarks</translation>
    </message>
    <message>
        <source>时间说明</source>
        <extracomment>%1 the PC&apos;s offset from UTC, &quot;UTC+08:00&quot;</extracomment>
        <translation>Times</translation>
    </message>
    <message>
        <source>本报告中的时间均为本机时间（%1）。</source>
        <translation>Times in this report are this PC&apos;s clock (%1).</translation>
    </message>
    <message>
        <source>最新值</source>
        <translation>Latest</translation>
    </message>
    <message>
        <source>最新读数时间</source>
        <translation>Latest at</translation>
    </message>
    <message>
        <source>期间变化</source>
        <translation>Change in period</translation>
    </message>
    <message>
        <source>累计变化（自基准值）</source>
        <translation>Change since baseline</translation>
    </message>
    <message>
        <source>速率（每天）</source>
        <translation>Rate per day</translation>
    </message>
    <message>
        <source>触发规则</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>最后读数</source>
        <translation>Last reading</translation>
    </message>
    <message>
        <source>超期天数</source>
        <translation>Days overdue</translation>
    </message>
    <message>
        <source>期间屏蔽</source>
        <translation>Masked in period</translation>
    </message>
    <message>
        <source>测点汇总</source>
        <translation>Summary of gauges</translation>
    </message>
    <message>
        <source>测点汇总（续）</source>
        <translation>Summary of gauges (continued)</translation>
    </message>
    <message>
        <source>读数</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>首个读数</source>
        <translation>First reading</translation>
    </message>
    <message>
        <source>最新读数</source>
        <translation>Latest reading</translation>
    </message>
    <message>
        <source>最小值</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>最大值</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>所用率定版本</source>
        <translation>Calibration versions used</translation>
    </message>
    <message>
        <source>%1 起</source>
        <translation>from %1</translation>
    </message>
    <message>
        <source>最初</source>
        <translation>the start</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>未分类</source>
        <translation>No type</translation>
    </message>
    <message>
        <source>时间（本机时间）</source>
        <extracomment>The time axis of a report&apos;s plot: the PC&apos;s clock</extracomment>
        <translation>Time (this PC&apos;s clock)</translation>
    </message>
    <message>
        <source>期间内没有读数</source>
        <translation>No readings in the period</translation>
    </message>
    <message>
        <source>%1 基准值 %2</source>
        <extracomment>A plot&apos;s legend: %1 the gauge, %2 the value its changes are measured from</extracomment>
        <translation>%1 baseline %2</translation>
    </message>
    <message>
        <source>%1 速率触发值：%2</source>
        <extracomment>A plot&apos;s legend: %1 the gauge, %2 its rate levels in words</extracomment>
        <translation>%1 rate levels: %2</translation>
    </message>
    <message>
        <source>事件与确认</source>
        <translation>Events and acknowledgements</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>状态变化</source>
        <translation>Change of status</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Acknowledgement</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>Not acknowledged</translation>
    </message>
    <message>
        <source>%1，%2：%3</source>
        <extracomment>An acknowledgement: %1 who, %2 when, %3 the note</extracomment>
        <translation>%1, %2: %3</translation>
    </message>
    <message>
        <source>屏蔽的读数</source>
        <translation>Masked readings</translation>
    </message>
    <message>
        <source>读数时间</source>
        <translation>Reading at</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>屏蔽人</source>
        <translation>Masked by</translation>
    </message>
    <message>
        <source>屏蔽时间</source>
        <translation>Masked at</translation>
    </message>
    <message>
        <source>超期未读测点</source>
        <translation>Overdue gauges</translation>
    </message>
    <message>
        <source>间隔（天）</source>
        <translation>Interval (days)</translation>
    </message>
    <message>
        <source>已过天数</source>
        <translation>Days since</translation>
    </message>
    <message>
        <source>从未读数</source>
        <translation>Never read</translation>
    </message>
    <message>
        <source>生效自</source>
        <translation>Applies from</translation>
    </message>
    <message>
        <source>来源</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>录入时间</source>
        <translation>Entered at</translation>
    </message>
    <message>
        <source>录入人</source>
        <translation>Entered by</translation>
    </message>
    <message>
        <source>已撤销</source>
        <translation>Withdrawn</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>生成 PDF 报告需要图形界面环境。</source>
        <translation>Writing the PDF report needs a graphical environment.</translation>
    </message>
    <message>
        <source>无法生成 PDF 文件。</source>
        <translation>The PDF file could not be made.</translation>
    </message>
    <message>
        <source>始终</source>
        <extracomment>A calibration version by the day it applies from; 始终: one that applies from the first reading on</extracomment>
        <translation>always</translation>
    </message>
</context>
<context>
    <name>ReportChoice</name>
    <message>
        <source>请选择工程。</source>
        <translation>Please choose a site.</translation>
    </message>
    <message>
        <source>历史数据中没有选中的测点：请先在左侧列表中选择测点。</source>
        <translation>No gauges are chosen in the history: please choose gauges in the list on the left first.</translation>
    </message>
    <message>
        <source>请选择月份。</source>
        <translation>Please choose a month.</translation>
    </message>
    <message>
        <source>结束日期早于开始日期。</source>
        <translation>The end date is before the start date.</translation>
    </message>
    <message>
        <source>请填写开始和结束日期。</source>
        <translation>Please fill in the start and end dates.</translation>
    </message>
    <message>
        <source>PDF 报告|*.pdf|AGS4|*.ags|长表 CSV|*.csv</source>
        <translation>PDF report|*.pdf|AGS4|*.ags|Long CSV|*.csv</translation>
    </message>
</context>
<context>
    <name>ReportDialog</name>
    <message>
        <source>生成报告</source>
        <translation>Make report</translation>
    </message>
    <message>
        <source>报告的测点</source>
        <translation>Gauges of the report</translation>
    </message>
    <message>
        <source>工程：%1</source>
        <translation>Site: %1</translation>
    </message>
    <message>
        <source>选中的测点（%1 个）</source>
        <translation>Chosen gauges (%1)</translation>
    </message>
    <message>
        <source>全部测点</source>
        <translation>All gauges</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>测点：</source>
        <translation>Gauges:</translation>
    </message>
    <message>
        <source>最近 7 天</source>
        <translation>Last 7 days</translation>
    </message>
    <message>
        <source>最近 30 天</source>
        <translation>Last 30 days</translation>
    </message>
    <message>
        <source>按月</source>
        <translation>By month</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>时间段</source>
        <translation>Period</translation>
    </message>
    <message>
        <source>时间段：</source>
        <translation>Period:</translation>
    </message>
    <message>
        <source>月份</source>
        <translation>Month</translation>
    </message>
    <message>
        <source>月份：</source>
        <translation>Month:</translation>
    </message>
    <message>
        <source>开始日期</source>
        <translation>Start date</translation>
    </message>
    <message>
        <source>结束日期</source>
        <translation>End date</translation>
    </message>
    <message>
        <source>至</source>
        <translation>to</translation>
    </message>
    <message>
        <source>自定义：</source>
        <translation>Custom:</translation>
    </message>
    <message>
        <source>报告语言</source>
        <translation>Report language</translation>
    </message>
    <message>
        <source>报告自身的语言，与窗口的语言无关</source>
        <translation>The report&apos;s own language, whatever language the window speaks</translation>
    </message>
    <message>
        <source>报告语言：</source>
        <translation>Report language:</translation>
    </message>
    <message>
        <source>每个测点一张趋势图</source>
        <translation>A trend plot per gauge</translation>
    </message>
    <message>
        <source>同类型的测点合为一张趋势图</source>
        <translation>Gauges of one type in one trend plot</translation>
    </message>
    <message>
        <source>趋势图</source>
        <translation>Trend plots</translation>
    </message>
    <message>
        <source>同类型的测点每张图最多 %1 个，更多的接续到下一张</source>
        <translation>At most %1 gauges of one type a plot; more continue on the next</translation>
    </message>
    <message>
        <source>趋势图：</source>
        <translation>Trend plots:</translation>
    </message>
    <message>
        <source>标题</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>标题：</source>
        <translation>Title:</translation>
    </message>
    <message>
        <source>编制人</source>
        <translation>Made by</translation>
    </message>
    <message>
        <source>读数并编制报告的人，写在报告的封面上</source>
        <translation>Who read the gauges and made the report, written on its cover</translation>
    </message>
    <message>
        <source>编制人：</source>
        <translation>Made by:</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Remarks</translation>
    </message>
    <message>
        <source>备注：</source>
        <translation>Remarks:</translation>
    </message>
    <message>
        <source>生成…</source>
        <translation>Make…</translation>
    </message>
    <message>
        <source>选择文件（PDF 报告、AGS4 或长表 CSV）并写入报告</source>
        <translation>Choose the file (PDF report, AGS4 or long CSV) and write the report</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>正在生成 %1 …</source>
        <translation>Making %1 …</translation>
    </message>
    <message>
        <source>选中的测点</source>
        <translation>chosen gauges</translation>
    </message>
    <message>
        <source>监测报告_%1_%2</source>
        <translation>Monitoring report_%1_%2</translation>
    </message>
    <message>
        <source>报告只能写为 .pdf、.ags 或 .csv 文件：%1</source>
        <translation>A report can only be written as a .pdf, .ags or .csv file: %1</translation>
    </message>
    <message>
        <source>报告已写入 %1（%2 页）</source>
        <translation>The report was written to %1 (%2 pages)</translation>
    </message>
    <message>
        <source>报告已写入 %1</source>
        <translation>The report was written to %1</translation>
    </message>
    <message>
        <source>报告已取消，没有写入文件。</source>
        <translation>The report was cancelled; no file was written.</translation>
    </message>
    <message>
        <source>报告未能生成：%1</source>
        <translation>The report could not be made: %1</translation>
    </message>
    <message>
        <source>原因不明</source>
        <translation>reason not known</translation>
    </message>
</context>
<context>
    <name>SaveCommand</name>
    <message>
        <source>EXCEL 97-2003 工作簿|*.xls|EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv</source>
        <translation>Excel 97-2003 workbook|*.xls|Excel workbook|*.xlsx|CSV (comma-separated)|*.csv</translation>
    </message>
    <message>
        <source>请先预览文件后，再保存！</source>
        <translation>Preview a file first, then save it.</translation>
    </message>
    <message>
        <source>请填写正确的文件名称！</source>
        <translation>Please enter a valid file name.</translation>
    </message>
    <message>
        <source>你的电脑没有安装MS-OFFICE和WPS软件，无法保存EXCEL格式！</source>
        <translation>Neither MS Office nor WPS is installed on this PC; Excel workbooks cannot be saved.</translation>
    </message>
    <message>
        <source>%1 已存在。
要替换它吗？</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
</context>
<context>
    <name>SaveGrid</name>
    <message>
        <source>成功保存文件，请查阅！</source>
        <translation>File saved. Please check it.</translation>
    </message>
    <message>
        <source>保存文件失败，请检查诸如是否已打开同名文件等原因，请稍后重试！</source>
        <translation>Saving the file failed. Check, for example, whether a file of the same name is open, and try again later.</translation>
    </message>
</context>
<context>
    <name>StorageCommands</name>
    <message>
        <source>请选择分区，再操作！</source>
        <translation>Select a partition first.</translation>
    </message>
    <message>
        <source>请先选择您要拷贝的分区，再操作！</source>
        <translation>Select the partition you want to copy first.</translation>
    </message>
    <message>
        <source>确定要删除分区 %1 的数据吗？</source>
        <translation>Delete the data of partition %1?</translation>
    </message>
    <message>
        <source>确定要删除分区 %1 吗？</source>
        <translation>Delete partition %1?</translation>
    </message>
</context>
<context>
    <name>StorageReplies</name>
    <message>
        <source>已成功删除分区！</source>
        <translation>Partition deleted.</translation>
    </message>
    <message>
        <source>删除分区失败，请稍后重试！</source>
        <translation>Deleting the partition failed. Please try again later.</translation>
    </message>
    <message>
        <source>已成功删除分区数据！</source>
        <translation>Partition data deleted.</translation>
    </message>
    <message>
        <source>删除分区数据失败，请稍后重试！</source>
        <translation>Deleting the partition data failed. Please try again later.</translation>
    </message>
    <message>
        <source>文件创建成功！</source>
        <translation>File created.</translation>
    </message>
    <message>
        <source>文件创建失败，请稍后重试！</source>
        <translation>Creating the file failed. Please try again later.</translation>
    </message>
    <message>
        <source>读取错误！请先选择您要查阅的文件，再操作！</source>
        <translation>Read error. Select the file you want to view first.</translation>
    </message>
    <message>
        <source>读取错误！请先选择您要查阅的数据区，再操作！</source>
        <translation>Read error. Select the partition you want to view first.</translation>
    </message>
    <message>
        <source>收到的文件列表超过 %1 行，不是仪器的文件列表，分区树保持不变！</source>
        <translation>The file list received has more than %1 lines and is not the instrument&apos;s file list; the partition tree is unchanged.</translation>
    </message>
    <message>
        <source>拷贝的数据中缺少文件“%1”（分区的文件列表中有此文件），数据不完整，未显示也未存档！请重新拷贝。</source>
        <translation>The copy lacks the file “%1” (the partition&apos;s file list has it): the data is incomplete and was neither shown nor archived. Please copy again.</translation>
    </message>
</context>
<context>
    <name>TrendPlot</name>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>温度 (℃)</source>
        <translation>Temperature (°C)</translation>
    </message>
    <message>
        <source>没有数据</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>读数</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>读数 (Hz)</source>
        <translation>Reading (Hz)</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <extracomment>%1 what the value is (with its unit), %2 the value</extracomment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>温度：%1</source>
        <translation>Temperature: %1</translation>
    </message>
    <message>
        <source>%1 温度 (℃)</source>
        <translation>%1 temperature (°C)</translation>
    </message>
    <message>
        <source>来自：%1</source>
        <extracomment>%1 the readout and the code the record was read under, &quot;读数仪1 A001&quot;</extracomment>
        <translation>From: %1</translation>
    </message>
    <message>
        <source>%1 基准值 %2</source>
        <extracomment>%1 the gauge, %2 the value its changes are measured from</extracomment>
        <translation>%1 baseline %2</translation>
    </message>
    <message>
        <source>%1 速率触发值：%2</source>
        <extracomment>%1 the gauge, %2 its rate levels in words</extracomment>
        <translation>%1 rate levels: %2</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>已屏蔽：不参与触发值判断</source>
        <translation>Masked: not judged against trigger levels</translation>
    </message>
    <message>
        <source>状态：%1</source>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>质量标记：%1</source>
        <translation>Quality flags: %1</translation>
    </message>
</context>
<context>
    <name>VerdictPanel</name>
    <message>
        <source>%1 个测点超过报警值</source>
        <translation>%1 gauge(s) beyond the alarm level</translation>
    </message>
    <message>
        <source>（其中 %1 个超过控制值）</source>
        <translation> (%1 of them beyond the control level)</translation>
    </message>
    <message>
        <source>%1 个测点达到预警值</source>
        <translation>%1 gauge(s) at the warning level</translation>
    </message>
    <message>
        <source>%1 个测点恢复正常</source>
        <translation>%1 gauge(s) back to normal</translation>
    </message>
    <message>
        <source>%1 条读数有质量标记（%2 个测点）</source>
        <translation>%1 reading(s) with quality flags (%2 gauge(s))</translation>
    </message>
    <message>
        <source>没有测点状态改变，读数没有质量标记</source>
        <translation>No gauge changed its status and no reading was flagged</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>质量标记</source>
        <translation>Flagged</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>本次拷贝的测点状态</source>
        <translation>Gauges of this copy</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>测点</source>
        <translation>Gauge</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>触发规则</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>状态改变和有质量标记的测点</source>
        <translation>Gauges whose status changed or whose readings were flagged</translation>
    </message>
    <message>
        <source>查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>在“历史数据”中显示所选测点的趋势</source>
        <translation>Show the chosen gauge&apos;s trend under &quot;History&quot;</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1，存档于 %2</source>
        <extracomment>%1 what was copied (&quot;分区 A&quot;), %2 when it was archived</extracomment>
        <translation>%1, archived at %2</translation>
    </message>
    <message>
        <source>读数有质量标记</source>
        <translation>Readings flagged</translation>
    </message>
    <message>
        <source>恢复正常</source>
        <translation>Back to normal</translation>
    </message>
    <message>
        <source>；读数有质量标记</source>
        <translation>; readings flagged</translation>
    </message>
    <message>
        <source>工程：%1</source>
        <translation>Site: %1</translation>
    </message>
</context>
<context>
    <name>WindowLanguage</name>
    <message>
        <source>语言(&amp;L)</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>下次启动程序时，界面将使用%1。</source>
        <extracomment>%1 the language chosen, in its own words (&quot;中文&quot;, &quot;English&quot;)</extracomment>
        <translation>The program will speak %1 from its next start.</translation>
    </message>
</context>
<context>
    <name>archive::LevelTable</name>
    <message>
        <source>第 %1 行：没有%2列</source>
        <extracomment>%1 the row, %2 the columns&apos; names</extracomment>
        <translation>Row %1: no column %2</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>没有测点名</source>
        <translation>no gauge name</translation>
    </message>
    <message>
        <source>测点“%1”不是仪器能保存的元件名（1 到 10 个可显示的 ASCII 字符，不含空格）</source>
        <extracomment>%1 the name as the row gives it</extracomment>
        <translation>gauge “%1” is not a component name the readout can hold (1 to 10 printable ASCII characters, no blanks)</translation>
    </message>
    <message>
        <source>方向“%1”应为 上限 或 下限</source>
        <translation>side “%1” should be high or low</translation>
    </message>
    <message>
        <source>等级“%1”应为 1、2 或 3</source>
        <translation>rank “%1” should be 1, 2 or 3</translation>
    </message>
    <message>
        <source>比较量“%1”应为 数值、累计变化 或 变化速率</source>
        <translation>quantity “%1” should be value, change or rate</translation>
    </message>
    <message>
        <source>阈值“%1”不是数</source>
        <translation>threshold “%1” is not a number</translation>
    </message>
    <message>
        <source>窗口“%1”应为大于 0 的天数</source>
        <translation>window “%1” should be a number of days above 0</translation>
    </message>
    <message>
        <source>连续次数“%1”应为不小于 1 的整数</source>
        <translation>confirmations “%1” should be a whole number of at least 1</translation>
    </message>
    <message>
        <source>回差“%1”应为不小于 0 的数</source>
        <translation>dead band “%1” should be a number of at least 0</translation>
    </message>
    <message>
        <source>基准时间“%1”不是日期或时间（如 2026-12-01 或 2026-12-01 08:30）</source>
        <translation>baseline “%1” is not a date or time (such as 2026-12-01 or 2026-12-01 08:30)</translation>
    </message>
    <message>
        <source>生效时间“%1”不是日期或时间（如 2026-12-01 或 2026-12-01 08:30）</source>
        <translation>“from” time “%1” is not a date or time (such as 2026-12-01 or 2026-12-01 08:30)</translation>
    </message>
    <message>
        <source>基准时间与第 %1 行不同</source>
        <translation>the baseline differs from row %1</translation>
    </message>
    <message>
        <source>生效时间与第 %1 行不同</source>
        <translation>the “from” time differs from row %1</translation>
    </message>
    <message>
        <source>测点的一行不含任何等级（结束其触发值），它须是该测点唯一的一行</source>
        <translation>a row without a level (which ends the gauge&apos;s levels) must be the gauge&apos;s only row</translation>
    </message>
    <message>
        <source>%1 %2 级已在第 %3 行给出</source>
        <translation>%1 rank %2 was already given in row %3</translation>
    </message>
    <message>
        <source>等级 %1 的名称“%2”与第 %3 行的“%4”不同</source>
        <translation>the name “%2” of rank %1 differs from “%4” in row %3</translation>
    </message>
    <message>
        <source>第 %1 行：</source>
        <translation>Row %1: </translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>测点 %1：%2</source>
        <extracomment>%1 the gauge, %2 what is wrong with its levels</extracomment>
        <translation>Gauge %1: %2</translation>
    </message>
</context>
<context>
    <name>cli::ArchiveCommands</name>
    <message>
        <source>、</source>
        <extracomment>between the items of a list</extracomment>
        <translation>, </translation>
    </message>
    <message>
        <source>另有 %1 份拷贝暂存、等待存档，其记录尚未计入档案（下次存档时存入）。</source>
        <translation>%1 more copy(ies) are kept for later and wait to be archived; their records are not in the archive yet (the next store takes them in).</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>default</translation>
    </message>
    <message>
        <source>档案中没有工程“%1”。</source>
        <translation>The archive has no site &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>档案中没有元件 %1。</source>
        <translation>The archive holds no component %1.</translation>
    </message>
    <message>
        <source>已导出 %1 个测点的 %2 条记录。</source>
        <translation>Exported %2 records of %1 gauges.</translation>
    </message>
    <message>
        <source>已导出 %1 个元件的 %2 条记录。</source>
        <translation>Exported: %1 component(s), %2 record(s).</translation>
    </message>
    <message>
        <source>测点登记表中没有测点 %1。</source>
        <translation>The gauge register has no gauge %1.</translation>
    </message>
    <message>
        <source>工程“%1”中没有测点 %2。</source>
        <translation>Site &quot;%1&quot; has no gauge %2.</translation>
    </message>
    <message>
        <source>时区“%1”无效，应为 IANA 时区名，如 Asia/Shanghai。</source>
        <translation>Time zone &quot;%1&quot; is not valid; give an IANA time zone such as Asia/Shanghai.</translation>
    </message>
    <message>
        <source>档案中已有仪器“%1”。</source>
        <translation>The archive already has a readout &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>已添加仪器“%1”（时区 %2）。</source>
        <translation>Readout &quot;%1&quot; added (time zone %2).</translation>
    </message>
    <message>
        <source>档案中没有仪器“%1”。</source>
        <translation>The archive has no readout &quot;%1&quot;. </translation>
    </message>
    <message>
        <source>已把仪器“%1”改名为“%2”。</source>
        <translation>Readout &quot;%1&quot; renamed to &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>已取消默认仪器。</source>
        <translation>The default readout is forgotten.</translation>
    </message>
    <message>
        <source>未设定默认仪器。</source>
        <translation>No default readout is set.</translation>
    </message>
    <message>
        <source>默认仪器现为“%1”。</source>
        <translation>The default readout is now &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>测点登记表中没有测点“%1”：请先用 archive register import 登记它。</source>
        <translation>The gauge register has no gauge &quot;%1&quot;: register it first with archive register import.</translation>
    </message>
    <message>
        <source>仪器“%1”的 %2 自 %3 起为测点 %4。</source>
        <translation>Slot %2 of readout &quot;%1&quot; holds gauge %4 from %3 on.</translation>
    </message>
    <message>
        <source>测点登记表“%1”中有无法读取的行，未作任何改动：</source>
        <translation>The gauge register &quot;%1&quot; has rows that cannot be read; nothing was changed:</translation>
    </message>
    <message>
        <source>测点登记表“%1”中没有测点。</source>
        <translation>The gauge register &quot;%1&quot; holds no gauge.</translation>
    </message>
    <message>
        <source>已登记 %1 个测点。</source>
        <translation>%1 gauges registered.</translation>
    </message>
    <message>
        <source>已导出 %1 个测点。</source>
        <translation>%1 gauges exported.</translation>
    </message>
    <message>
        <source>仪器“%1”没有元件 %2：档案中既无其记录，其元件编号列表中也没有。</source>
        <translation>Readout &quot;%1&quot; has no component %2: the archive holds no record of it and its component list does not name it.</translation>
    </message>
    <message>
        <source>没有测点状态的变化。</source>
        <translation>No changes of status.</translation>
    </message>
    <message>
        <source>逾期未测（%1 个测点）：</source>
        <extracomment>the heading of the list of gauges not read within their interval</extracomment>
        <translation>Overdue (%1 gauges):</translation>
    </message>
    <message>
        <source>每 %1 天</source>
        <extracomment>%1 a number of days</extracomment>
        <translation>every %1 days</translation>
    </message>
    <message>
        <source>从未测读</source>
        <translation>never read</translation>
    </message>
    <message>
        <source>已 %1 天</source>
        <extracomment>%1 days since the last reading</extracomment>
        <translation>%1 days</translation>
    </message>
    <message>
        <source>没有逾期未测的测点。</source>
        <translation>No gauge is overdue.</translation>
    </message>
    <message>
        <source>触发值表“%1”中有无法读取的行，未作任何改动：</source>
        <translation>The trigger level table “%1” has rows that cannot be read; nothing was changed:</translation>
    </message>
    <message>
        <source>触发值表“%1”中没有触发值。</source>
        <translation>The trigger level table “%1” holds no levels.</translation>
    </message>
    <message>
        <source>测点登记表中没有测点 %1：请先用 archive register import 登记，未作任何改动。</source>
        <translation>The gauge register has no gauge %1: register it with archive register import first; nothing was changed.</translation>
    </message>
    <message>
        <source>已读入 %1 个测点的触发值。</source>
        <translation>Read the levels of %1 gauges.</translation>
    </message>
    <message>
        <source>已导出 %1 个测点的触发值。</source>
        <translation>Exported the levels of %1 gauges.</translation>
    </message>
</context>
<context>
    <name>cli::ArchiveReport</name>
    <message>
        <source>档案“%1”不存在，报告未写入。</source>
        <translation>The archive “%1” does not exist; no report was written.</translation>
    </message>
    <message>
        <source>测点登记表中没有测点，报告未写入。</source>
        <translation>The gauge register holds no gauges; no report was written.</translation>
    </message>
    <message>
        <source>工程“%1”中没有测点，报告未写入。</source>
        <translation>Site “%1” has no gauges; no report was written.</translation>
    </message>
    <message>
        <source>报告的期间为空：结束时间早于开始时间。</source>
        <translation>The report&apos;s period is empty: it ends before it begins.</translation>
    </message>
    <message>
        <source>已中止：报告未写入，原有的文件保持不变。</source>
        <translation>Stopped: the report was not written; an earlier file is kept as it was.</translation>
    </message>
    <message>
        <source>正在收集数据</source>
        <translation>Gathering the data</translation>
    </message>
    <message>
        <source>正在写入报告</source>
        <translation>Writing the report</translation>
    </message>
    <message>
        <source>已写好报告 %1：%2 个测点，%3 页。</source>
        <extracomment>%1 the file, %2 gauges, %3 pages</extracomment>
        <translation>Wrote the report %1: %2 gauges, %3 pages.</translation>
    </message>
    <message>
        <source>已写好报告 %1：%2 个测点。</source>
        <extracomment>%1 the file, %2 gauges</extracomment>
        <translation>Wrote the report %1: %2 gauges.</translation>
    </message>
</context>
<context>
    <name>cli::ArchiveSync</name>
    <message>
        <source>正在连接办公室数据库</source>
        <translation>Connecting to the office database</translation>
    </message>
    <message>
        <source>正在上传测点登记</source>
        <translation>Sending the gauge register</translation>
    </message>
    <message>
        <source>正在上传读数</source>
        <translation>Sending readings</translation>
    </message>
    <message>
        <source>正在上传标定、触发值、屏蔽和确认</source>
        <translation>Sending calibrations, trigger levels, masks and acknowledgements</translation>
    </message>
    <message>
        <source>正在取回办公室的数据</source>
        <translation>Bringing the office&apos;s data</translation>
    </message>
    <message>
        <source>请在窗口的“设置 → 办公室数据库设置…”中填写连接，</source>
        <translation>Fill in the connection in the window (Settings → Office database settings…), </translation>
    </message>
    <message>
        <source>设置文件“%1”中没有连接；请在其中写入 office/connection（连接字符串）或 office/service（服务名），</source>
        <translation>The settings file “%1” names no connection: write office/connection (a connection string) or office/service (a service name) in it, </translation>
    </message>
    <message>
        <source>尚未设置办公室数据库，未同步。</source>
        <translation>No office database is set up; nothing was synced. </translation>
    </message>
    <message>
        <source>或用 --office 给出连接字符串，如 --office &quot;host=office.example dbname=ktm520 user=alice sslmode=verify-full&quot;；密码放在 ~/.pgpass 中。</source>
        <translation>or give a connection string with --office, e.g. --office &quot;host=office.example dbname=ktm520 user=alice sslmode=verify-full&quot;; keep the password in ~/.pgpass.</translation>
    </message>
    <message>
        <source>办公室数据库设置文件“%1”不存在。</source>
        <translation>The office database settings file “%1” does not exist.</translation>
    </message>
    <message>
        <source>档案“%1”不存在，未同步。</source>
        <translation>The archive “%1” does not exist; nothing was synced.</translation>
    </message>
    <message>
        <source>命令行的密码取自 ~/.pgpass（或 PGPASSFILE 指定的文件）或 PGPASSWORD，不读取窗口保存在系统密钥存储中的密码。</source>
        <translation>The command line takes the password from ~/.pgpass (or the file PGPASSFILE names) or PGPASSWORD; it does not read the one the window keeps in the system&apos;s key store.</translation>
    </message>
    <message>
        <source>冲突 %1 处（均已保存在办公室数据库中，以较晚的修改为准）：</source>
        <translation>%1 conflict(s) (both edits kept in the office database; the later applies):</translation>
    </message>
    <message>
        <source>此用户只能读取办公室数据库，未上传任何内容：%1。</source>
        <translation>This user may only read the office database; nothing was sent: %1.</translation>
    </message>
</context>
<context>
    <name>cli::ArchiveTexts</name>
    <message>
        <source>已确认</source>
        <translation>acknowledged</translation>
    </message>
    <message>
        <source>状态变化：%1</source>
        <extracomment>%1 a gauge&apos;s change of status: gauge, time, value, from -&gt; to, rule</extracomment>
        <translation>Change of status: %1</translation>
    </message>
    <message>
        <source>新读数中有 %1 条带质量标记（测点 %2）。</source>
        <extracomment>%1 how many readings, %2 the gauges</extracomment>
        <translation>%1 new readings are flagged (gauges %2).</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
</context>
<context>
    <name>cli::ComponentInput</name>
    <message>
        <source>元件编号列表超过 %1 行，请分开写入！</source>
        <translation>The component list has more than %1 rows; write it in parts.</translation>
    </message>
    <message>
        <source>第%1行元件编号 %2 不属于分区 %3，请检查修正！</source>
        <translation>Row %1: component code %2 does not belong to partition %3. Please check and correct it.</translation>
    </message>
</context>
<context>
    <name>cli::Console</name>
    <message>
        <source>标准输出已关闭（读取结果的程序已退出），其余结果未能写出：%1</source>
        <translation>Standard output was closed (the program reading the results has ended); the rest of the results could not be written: %1</translation>
    </message>
    <message>
        <source>无法写出结果到标准输出：%1</source>
        <translation>The results could not be written to standard output: %1</translation>
    </message>
</context>
<context>
    <name>cli::Options</name>
    <message>
        <source>用法见 ktm520-cli --help</source>
        <translation>See ktm520-cli --help for usage.</translation>
    </message>
    <message>
        <source>未知的选项“%1”。</source>
        <translation>Unknown option “%1”.</translation>
    </message>
    <message>
        <source>选项 %1 需要一个值。</source>
        <translation>Option %1 needs a value.</translation>
    </message>
    <message>
        <source>--port 需要串口名（如 COM3）或设备路径。</source>
        <translation>--port needs a port name (such as COM3) or a device path.</translation>
    </message>
    <message>
        <source>波特率“%1”无效，应为正整数，如 9600。</source>
        <translation>Invalid baud rate “%1”: give a positive whole number such as 9600.</translation>
    </message>
    <message>
        <source>校验位“%1”无效，应为 None、Odd、Even、Mark 或 Space。</source>
        <translation>Invalid parity “%1”: give None, Odd, Even, Mark or Space.</translation>
    </message>
    <message>
        <source>停止位“%1”无效，应为 1、1.5 或 2。</source>
        <translation>Invalid stop bits “%1”: give 1, 1.5 or 2.</translation>
    </message>
    <message>
        <source>超时“%1”无效，应为 0 到 3600 之间的秒数。</source>
        <translation>Invalid timeout “%1”: give seconds between 0 and 3600.</translation>
    </message>
    <message>
        <source>--archive 需要档案数据库的文件名。</source>
        <translation>--archive needs the file name of the archive database.</translation>
    </message>
    <message>
        <source>时间“%1”无效，应为 2026-12-07 或 2026-12-07 10:31:05 的形式。</source>
        <translation>Invalid time “%1”: give it as 2026-12-07 or 2026-12-07 10:31:05.</translation>
    </message>
    <message>
        <source>语言“%1”无效，应为 zh_CN（中文）或 en（English）。</source>
        <translation>Invalid language “%1”: give zh_CN (中文) or en (English).</translation>
    </message>
    <message>
        <source>-o 需要输出文件名，或 - 表示标准输出。</source>
        <translation>-o needs an output file name, or - for standard output.</translation>
    </message>
    <message>
        <source>缺少命令。</source>
        <translation>No command given.</translation>
    </message>
    <message>
        <source>未知的命令“%1”。</source>
        <translation>Unknown command “%1”.</translation>
    </message>
    <message>
        <source>命令 %1 的参数个数不对。</source>
        <translation>Wrong number of operands for command %1.</translation>
    </message>
    <message>
        <source>分区“%1”无效，应为 A 到 J 中的一个字母。</source>
        <translation>Invalid partition “%1”: give one letter from A to J.</translation>
    </message>
    <message>
        <source>archive export 需要用 -o 指定输出文件（.xlsx 或 .csv）。</source>
        <translation>archive export needs an output file given with -o (.xlsx or .csv).</translation>
    </message>
    <message>
        <source>archive export 的输出文件须以 .xlsx 或 .csv 结尾。</source>
        <translation>The output file of archive export must end in .xlsx or .csv.</translation>
    </message>
    <message>
        <source>--from 晚于 --to。</source>
        <translation>--from is later than --to.</translation>
    </message>
    <message>
        <source>文件名不能为空。</source>
        <translation>The file name must not be empty.</translation>
    </message>
    <message>
        <source>copy 需要用 -o 指定输出文件（.csv 或 .xls），或 -o - 输出到标准输出。</source>
        <translation>copy needs an output file given with -o (.csv or .xls), or -o - for standard output.</translation>
    </message>
    <message>
        <source>缺少元件编号列表文件。</source>
        <translation>The component list file is missing.</translation>
    </message>
    <message>
        <source>删除不可恢复：请加上 --yes 确认要删除分区 %1 的数据。</source>
        <translation>Deleting cannot be undone: add --yes to confirm deleting the data of partition %1.</translation>
    </message>
    <message>
        <source>删除不可恢复：请加上 --yes 确认要删除分区 %1。</source>
        <translation>Deleting cannot be undone: add --yes to confirm deleting partition %1.</translation>
    </message>
    <message>
        <source>输出文件“%1”须以 .csv、.xls 或 .xlsx 结尾，或用 - 表示输出 CSV 到标准输出。</source>
        <translation>The output file “%1” must end in .csv, .xls or .xlsx, or be - for CSV on standard output.</translation>
    </message>
    <message>
        <source>--json 与 -o 不能同时使用。</source>
        <translation>--json and -o cannot be used together.</translation>
    </message>
    <message>
        <source>用法 Usage: ktm520-cli [选项] 命令 [参数]

KTM-520 振弦读数仪的命令行工具，与数据管理程序窗口使用同一套通信和保存功能，
适合无人值守的下载（如每晚定时下载）。
Command line for the KTM-520 vibrating-wire readout, on the same core as the window;
made for unattended downloads.

</source>
        <translation>Usage: ktm520-cli [options] command [operands]

Command line for the KTM-520 vibrating-wire readout, on the same core as the window&apos;s
connection and saving; made for unattended downloads (a nightly download, for example).

</translation>
    </message>
    <message>
        <source>进度（字节数、速率、用时；元件写入时为进度条和百分比）仅在标准错误是终端时显示。
Progress (bytes, rate, elapsed; a bar for component writes) shows only when standard
error is a terminal.
输出文件只有在传输完整结束并完整写入后才会出现（先写临时文件，再改名）。
An output file appears only when the transfer ended and it was written whole.

</source>
        <translation>Progress (bytes, rate, elapsed; a bar and a percentage for a component write) shows only
when standard error is a terminal.
An output file appears only when the transfer ended normally and the file was written whole
(a temporary file first, then renamed).

</translation>
    </message>
    <message>
        <source>无法写入日志 %1：%2</source>
        <translation>Cannot write the log %1: %2</translation>
    </message>
    <message>
        <source>静默时间“%1”无效，应为 1 到 60000 之间的毫秒数。</source>
        <translation>Quiet time “%1” is not valid: give milliseconds from 1 to 60000.</translation>
    </message>
    <message>
        <source>等待时间“%1”无效，应为 0 到 60000 之间的毫秒数。</source>
        <translation>Settle time “%1” is not valid: give milliseconds from 0 to 60000.</translation>
    </message>
    <message>
        <source>退出码 Exit codes:
  0  成功 success
  2  用法错误（命令行或输入列表无效，未发送任何命令） usage error, nothing sent
  3  连接失败（串口不存在、被占用或没有权限） connection failed (port missing/busy/denied)
  4  仪器回答 ERR（或拒绝了某一行、回答不明确） the instrument answered ERR (or refused a row)
  5  在超时时间内没有应答 no reply in time
  6  保存失败（原有文件保持不变），或结果无法写到标准输出 save failed (an existing file is
     kept), or results could not be written to standard output
  7  传输中断（如传输中串口断开，或回答中途停顿后又继续），或被 SIGINT/SIGTERM 中止
     （中止的那一步未写入、未存档任何内容） interrupted (device lost, a reply went on after
     a pause) or stopped by a signal (the step it stopped wrote and archived nothing)
  8  档案数据库无法打开或未能存入记录（copy 的输出文件已写好） the archive failed
     (copy&apos;s output file was written)
</source>
        <translation>Exit codes:
  0  success
  2  usage error (the command line or the input list is unusable; nothing was sent)
  3  connection failed (the port is missing, busy or may not be opened)
  4  the instrument answered ERR (or refused a row, or answered unclearly)
  5  no reply within the timeout
  6  save failed (an existing file is kept), or results could not be written to standard
     output (a full disk, a closed output or pipe)
  7  transfer interrupted (the port lost in mid-transfer, or a reply that went on after a
     pause), or stopped by SIGINT or SIGTERM; the step it stopped wrote and archived nothing
  8  the archive could not be opened or could not keep the records (copy&apos;s output file was
     written)
</translation>
    </message>
    <message>
        <source>命令 Commands:
  ports                    列出串口（与窗口的串口列表相同）。
                           List the serial ports as the window lists them.
  partitions               读取仪器的数据分区。Read the instrument&apos;s partitions.
  files X                  列出分区 X 的文件。List the files of partition X.
  copy X [FILE] -o OUT     拷贝分区 X 的文件 FILE；不给 FILE 则拷贝整个分区。
                           OUT 以 .xls 结尾：按窗口“保存预览文件”的方式经模板 Data.xls 写成工作簿；
                           以 .xlsx 结尾：写成 .xlsx 工作簿（每个工作表可达 1,048,576 行）；
                           以 .csv 结尾：写成 CSV；为 -：CSV 输出到标准输出。
                           Copy file FILE of partition X, or the whole partition without FILE,
                           to OUT: .xls (through the template, as the window saves), .xlsx,
                           .csv, or - for CSV on standard output.
  components X [-o OUT]    列出分区 X 的元件编号；给 -o 时保存为 .csv、.xls 或 .xlsx。
                           List partition X&apos;s component codes; with -o save them (.csv/.xls/.xlsx).
  write-components X LIST  把元件编号列表写入仪器，逐行输出结果。LIST 可以是工作簿（.xls/.xlsx，
                           第一个工作表，B2 起如 A001=QRVA000001），也可以是每行一条
                           A001=名称 的文本文件，或 - 从标准输入读取。编号须属于分区 X。
                           Write a component list, row by row, with each row&apos;s status on
                           standard output. LIST: a workbook (first worksheet, entries from B2),
                           a text file of A001=NAME lines, or - for such lines on standard input.
                           Every code must belong to partition X.
  new-file X NAME          在分区 X 新建文件 NAME（按窗口“新建文件名”的规则检查）。
                           Create file NAME in partition X (checked as the window checks it).
  delete X [--data] --yes  删除分区 X；加 --data 只删除数据、保留文件名。不加 --yes 则拒绝执行，
                           不发送任何命令。
                           Delete partition X (--data: its records only). Refused without --yes.
  archive list             列出档案中的元件：分区、编号、记录数、最早和最新时间。
                           List the archive&apos;s components with their counts and time spans.
  archive export [X [CODE...]] -o OUT [--from T] [--to T]
                           把档案中的记录（分区 X、所给元件；不给则全部）导出为 .xlsx 或 .csv，
                           含读数、温度，以及按标定表换算的工程值和单位。T 如 2026-12-07 或
                           &quot;2026-12-07 10:31:05&quot;（仪器时间）。
                           Export archived records (partition X, the given codes; all without)
                           to .xlsx or .csv with raw and converted values and their units.
</source>
        <translation>Commands:
  ports                    List the serial ports as the window lists them.
  partitions               Read the instrument&apos;s partitions.
  files X                  List the files of partition X.
  copy X [FILE] -o OUT     Copy file FILE of partition X, or the whole partition without FILE.
                           OUT ending .xls: a workbook through the template Data.xls, as the
                           window&apos;s &quot;Save Preview&quot; writes it; .xlsx: an .xlsx workbook (up to
                           1,048,576 rows a worksheet); .csv: CSV; -: CSV on standard output.
  components X [-o OUT]    List partition X&apos;s component codes; with -o save them (.csv, .xls
                           or .xlsx).
  write-components X LIST  Write a component list into the instrument row by row, each row&apos;s
                           status on standard output. LIST: a workbook (.xls/.xlsx, first
                           worksheet, entries such as A001=QRVA000001 from B2), a text file of
                           A001=NAME lines, or - for such lines on standard input. Every code
                           must belong to partition X.
  new-file X NAME          Create file NAME in partition X (checked as the window&apos;s &quot;New File&quot;
                           checks it).
  delete X [--data] --yes  Delete partition X (--data: its records only, the file names stay).
                           Refused without --yes; nothing is sent then.
  archive list             List the archive&apos;s components: partition, code, records, first and
                           last time.
  archive export [X [CODE...]] -o OUT [--from T] [--to T]
                           Export archived records (partition X, the given codes; all without)
                           to .xlsx or .csv, with readings, temperatures, and the engineering
                           values and units of the calibration table. T is 2026-12-07 or
                           &quot;2026-12-07 10:31:05&quot; (instrument time).
</translation>
    </message>
    <message>
        <source>%1 和 %2</source>
        <translation>%1 and %2</translation>
    </message>
    <message>
        <source>%1、%2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1 只能用于 %2。</source>
        <translation>%1 is for %2 only.</translation>
    </message>
    <message>
        <source>--instrument 需要仪器的名称。</source>
        <translation>--instrument needs the name of a readout.</translation>
    </message>
    <message>
        <source>--zone 需要时区，如 Asia/Shanghai。</source>
        <translation>--zone needs a time zone such as Asia/Shanghai.</translation>
    </message>
    <message>
        <source>--site 需要工程（监测项目）的名称。</source>
        <translation>--site needs the name of a site.</translation>
    </message>
    <message>
        <source>--gauge 需要测点的名称。</source>
        <translation>--gauge needs the name of a gauge.</translation>
    </message>
    <message>
        <source>仪器名称不能为空。</source>
        <translation>A readout&apos;s name cannot be empty.</translation>
    </message>
    <message>
        <source>测点登记表文件“%1”须以 .xlsx、.xls 或 .csv 结尾。</source>
        <translation>The gauge register file &quot;%1&quot; must end in .xlsx, .xls or .csv.</translation>
    </message>
    <message>
        <source>测点登记表文件“%1”须以 .xlsx 或 .csv 结尾。</source>
        <translation>The gauge register file &quot;%1&quot; must end in .xlsx or .csv.</translation>
    </message>
    <message>
        <source>archive assign 需要仪器名称、元件编号和测点名称。</source>
        <translation>archive assign needs a readout&apos;s name, a component code and a gauge&apos;s name.</translation>
    </message>
    <message>
        <source>archive assign 需要用 --from 指定起始时间（仪器时钟的时间，如 2026-12-07 或 &quot;2026-12-07 10:31:05&quot;）。</source>
        <translation>archive assign needs --from with the time it applies from (in the readout&apos;s clock, such as 2026-12-07 or &quot;2026-12-07 10:31:05&quot;).</translation>
    </message>
    <message>
        <source>--site 和 --gauge 按测点选择记录，不能同时给出分区或元件编号。</source>
        <translation>--site and --gauge choose records by gauge; they cannot be given with a partition or component codes.</translation>
    </message>
    <message>
        <source>  archive check            全面检查档案：数据库完整性、重复的记录、与文本不符的数值；
                           能按记录的文本修复的即修复（一次完成或不作改动）。
                           Check the archive thoroughly and repair from the records&apos; texts
                           what they allow (all of it or nothing).
</source>
        <translation>  archive check            Check the archive thoroughly (database integrity, records stored
                           twice, numbers that do not match their texts) and repair from the
                           records&apos; texts what they allow (all of it or nothing).
</translation>
    </message>
    <message>
        <source>  9  未指定仪器或仪器未知：copy 不知道记录属于哪台仪器，未发送任何命令
     no readout (or an unknown one) for copy&apos;s records; nothing was sent
</source>
        <translation>  9  no readout (or an unknown one) for copy&apos;s records; nothing was sent
</translation>
    </message>
    <message>
        <source>触发值表文件“%1”须以 .xlsx、.xls 或 .csv 结尾。</source>
        <translation>The trigger level table file “%1” must end in .xlsx, .xls or .csv.</translation>
    </message>
    <message>
        <source>触发值表文件“%1”须以 .xlsx 或 .csv 结尾。</source>
        <translation>The trigger level table file “%1” must end in .xlsx or .csv.</translation>
    </message>
    <message>
        <source>archive 之后应为 list、export、check、instruments、gauges、assign、register、events、overdue 或 levels。</source>
        <translation>archive must be followed by list, export, check, instruments, gauges, assign, register, events, overdue or levels.</translation>
    </message>
    <message>
        <source>--json 与 -o - 不能同时使用：CSV 已占用标准输出。</source>
        <translation>--json and -o - cannot be used together: the CSV takes standard output.</translation>
    </message>
    <message>
        <source>  archive instruments      列出档案中的仪器（读数仪）：名称、时区、记住的串口设备、记录数。
                           List the archive&apos;s readouts: name, time zone, devices, records.
  archive instruments add NAME [--zone Z]
                           添加仪器 NAME；Z 为其时钟的时区（如 Asia/Shanghai），默认为本机时区。
                           Add readout NAME; Z is its clock&apos;s time zone (default: the PC&apos;s).
  archive instruments rename OLD NEW
                           把仪器 OLD 改名为 NEW（其记录和测点不变）。Rename a readout.
  archive instruments default [NAME | -]
                           设定命令行的默认仪器（- 取消；不给则显示当前的默认仪器）。
                           Set the command line&apos;s default readout (- forgets it; none: show it).
  archive gauges [--site S] 列出测点：名称、类型、单位、工程、记录数、最早和最新时间、仪器。
                           List the gauges: name, type, unit, site, records, span, readouts.
  archive assign INSTRUMENT CODE GAUGE --from T
                           指定仪器 INSTRUMENT 的元件编号 CODE 自 T（该仪器时钟的时间，如
                           &quot;2026-12-07 10:31:05&quot;）起为测点 GAUGE。
                           Slot CODE of the readout holds gauge GAUGE from T (the readout&apos;s clock).
  archive register import FILE
                           从 .xlsx、.xls 或 .csv 读入测点登记表（中文或英文表头），按测点名称添加或
                           更新；有无法读取的行则不作任何改动。
                           Read the gauge register (.xlsx/.xls/.csv, Chinese or English headers);
                           all rows or none.
  archive register export FILE
                           把测点登记表写成 .xlsx 或 .csv。Write the gauge register.
  archive export 还可用 --site S 和 --gauge G（可多次）按工程和测点选择记录。
                           archive export also selects by --site S and --gauge G (repeatable).
</source>
        <translation>  archive instruments      List the archive&apos;s readouts: name, time zone, the devices remembered
                           for it, records.
  archive instruments add NAME [--zone Z]
                           Add readout NAME; Z is its clock&apos;s time zone (such as Asia/Shanghai),
                           default the PC&apos;s.
  archive instruments rename OLD NEW
                           Rename readout OLD to NEW (its records and gauges stay).
  archive instruments default [NAME | -]
                           Set the command line&apos;s default readout (- forgets it; without NAME
                           show it).
  archive gauges [--site S] List the gauges: name, type, unit, site, records, first and last
                           time, readouts.
  archive assign INSTRUMENT CODE GAUGE --from T
                           Slot CODE of readout INSTRUMENT holds gauge GAUGE from T on (the
                           readout&apos;s clock, such as &quot;2026-12-07 10:31:05&quot;).
  archive register import FILE
                           Read the gauge register from .xlsx, .xls or .csv (Chinese or English
                           headers), adding or updating gauges by name; a row that cannot be
                           read changes nothing.
  archive register export FILE
                           Write the gauge register as .xlsx or .csv.
  archive export also chooses records by --site S and --gauge G (repeatable).
</translation>
    </message>
    <message>
        <source>  archive events [--since T] [--site S]
                           列出测点状态的变化（触发值的越限与恢复）：测点、工程、时间、数值、由何状态
                           到何状态、规则、是否已确认。T 为本机时钟的时间。
                           The gauges&apos; changes of status (levels reached and cleared), from T
                           on (the PC&apos;s clock).
  archive overdue [--site S]
                           列出逾期未测的测点：测点、工程、测读间隔、最近一次读数、已过天数。
                           The gauges not read within their interval, most overdue first.
  archive levels import FILE
                           从 .xlsx、.xls 或 .csv 读入触发值表（每行一个等级：测点、方向、等级、
                           等级名称、比较量、阈值、窗口、连续次数、回差、基准时间、生效时间），
                           作为各测点的新触发值版本；有无法读取的行则不作任何改动。
                           Read the trigger level table (a row per level) as new level versions
                           of its gauges; all rows or none.
  archive levels export FILE
                           把各测点现行的触发值写成 .xlsx 或 .csv。Write the levels in force.
  copy 存档后在标准错误列出新读数引起的状态变化和有质量标记的读数数目；加 --json 时
                           在标准输出给出结果（含 verdict）。--json 也用于 archive events 和
                           archive overdue；--since 只用于 archive events。
                           After archiving, copy lists on standard error the changes of status
                           its new readings made and how many were flagged; with --json its
                           result (with the verdict) goes to standard output. --json also for
                           archive events and archive overdue.

</source>
        <translation>  archive events [--since T] [--site S]
                           List the gauges&apos; changes of status (levels reached and cleared):
                           gauge, site, time, value, from and to, rule, acknowledged; from T on
                           (the PC&apos;s clock).
  archive overdue [--site S]
                           List the gauges not read within their interval: gauge, site,
                           interval, last reading, days since; most overdue first.
  archive levels import FILE
                           Read the trigger level table from .xlsx, .xls or .csv (a row per
                           level: gauge, side, rank, rank name, quantity, threshold, window,
                           confirmations, dead band, baseline, from) as new level versions of
                           its gauges; a row that cannot be read changes nothing.
  archive levels export FILE
                           Write the levels in force as .xlsx or .csv.
  After archiving, copy lists on standard error the changes of status its new readings made
                           and how many of them were flagged; with --json its result (with the
                           verdict) goes to standard output. --json also for archive events and
                           archive overdue; --since only for archive events.

</translation>
    </message>
    <message>
        <source>  10 copy 已拷贝、保存并存档，但有测点达到更高的触发等级，或有新读数带质量标记
     copied, saved and archived; a gauge reached a higher trigger level or a new
     reading was flagged
</source>
        <translation>  10 copy copied, saved and archived; a gauge reached a higher trigger level or a new
     reading was flagged
</translation>
    </message>
    <message>
        <source>--last 的天数“%1”无效，应为 7 或 30。</source>
        <translation>Days of --last “%1” are not valid: 7 or 30.</translation>
    </message>
    <message>
        <source>月份“%1”无效，应为 2026-12 的形式。</source>
        <translation>Month “%1” is not valid: write it as 2026-12.</translation>
    </message>
    <message>
        <source>--month 不能与 --from、--to 或 --last 同时使用。</source>
        <translation>--month cannot be used with --from, --to or --last.</translation>
    </message>
    <message>
        <source>--last 不能与 --from 同时使用：用 --from 和 --to 指定起止时间。</source>
        <translation>--last cannot be used with --from: give the period&apos;s ends with --from and --to.</translation>
    </message>
    <message>
        <source>report 需要用 -o 指定输出文件（.pdf、.ags 或 .csv）。</source>
        <translation>report needs its output file with -o (.pdf, .ags or .csv).</translation>
    </message>
    <message>
        <source>report 的输出文件“%1”须以 .pdf、.ags 或 .csv 结尾。</source>
        <translation>The output file “%1” of report must end in .pdf, .ags or .csv.</translation>
    </message>
    <message>
        <source>  report [--site S] [--gauge G]... [期间] -o OUT [--title T] [--reader NAME] [--remarks TEXT]
         [--by-type]
                           监测报告：各测点的最新值、期间变化和累计变化、速率、状态、趋势图，期间的状态
                           变化与确认、质量标记、屏蔽、逾期未测的测点和所用的标定版本。OUT 以 .pdf
                           结尾写成 PDF，.ags 写成 AGS4，.csv 写成每个读数一行的 CSV。报告的语言为
                           --lang 的语言。不给 --site 和 --gauge 时报告全部测点。
                           The monitoring report of site S (or gauges G; all without) as .pdf,
                           .ags (AGS4) or .csv (a row per reading), in the language of --lang.
                  期间 Period（只能用一种 one of）：
                    --last 7|30   截至 --to（默认现在）的最近 7 或 30 天；什么都不给时为 --last 7。
                                  The last 7 or 30 days up to --to (default now); the default.
                    --month YYYY-MM 该月（本机时区）。That month (the PC&apos;s time zone).
                    --from T [--to T] 从 T 到 T（默认到现在）；T 为本机时钟的 2026-12-07（到 --to 日
                                  的末尾）或 &quot;2026-12-07 10:31:05&quot;。From T to T (default now), the
                                  PC&apos;s clock; a date alone for --to means its whole day.
                  --title、--reader、--remarks：报告的标题、读数及制表人（默认为本机用户）、备注；
                  --by-type：同一类型的测点画在同一张趋势图中。Title, who made it (default
                  the PC&apos;s user), remarks; --by-type: one plot per gauge type.
                  报告只在完整写好后出现；失败或中止时原有文件保持不变。退出码：0 已写好，2 用法错误
                  或工程、测点未知，6 无法写入，7 被 SIGINT/SIGTERM 中止，8 档案无法读取。
                  The file appears only once written whole; a failure or a stop keeps an
                  earlier one. Exit 0 written, 2 usage or an unknown site or gauge, 6 not
                  written, 7 stopped, 8 the archive cannot be read.

</source>
        <translation>  report [--site S] [--gauge G]... [PERIOD] -o OUT [--title T] [--reader NAME] [--remarks TEXT]
         [--by-type]
                           The monitoring report: each gauge&apos;s latest value, change over the
                           period and since its baseline, rate, status and trend plot; the
                           period&apos;s events and acknowledgements, quality flags, masks, the
                           overdue gauges and the calibration versions used. Of site S (or
                           gauges G; all without), as .pdf, .ags (AGS4) or .csv (a row per
                           reading), in the language of --lang.
                  PERIOD (one of):
                    --last 7|30   The last 7 or 30 days up to --to (default now); without any
                                  period, --last 7.
                    --month YYYY-MM That month (the PC&apos;s time zone).
                    --from T [--to T] From T to T (default now), on the PC&apos;s clock: 2026-12-07
                                  (as --to, its whole day) or &quot;2026-12-07 10:31:05&quot;.
                  --title, --reader, --remarks: the report&apos;s title, who read and made it
                  (default the PC&apos;s user), remarks; --by-type: one plot per gauge type.
                  The file appears only once written whole; a failure or a stop keeps an
                  earlier one. Exit 0 written, 2 a usage error or an unknown site or gauge,
                  6 not written, 7 stopped by SIGINT/SIGTERM, 8 the archive cannot be read.

</translation>
    </message>
    <message>
        <source>选项 Options:
  --port NAME       串口名 COMn（与窗口列表相同）或设备路径（如 /dev/ttyUSB0）；
                    默认为列表中的第一个串口。Port COMn as listed, or a device path;
                    default: the first port listed.
  --baud N          波特率，默认 9600。Baud rate (default 9600).
  --parity P        校验位 None、Odd、Even、Mark（或 Space），默认 None。Parity (default None).
  --stop-bits S     停止位 1 或 2（或 1.5），默认 1。Stop bits (default 1).
  --timeout SEC     等待仪器开始应答的秒数，默认 5；元件编号写入时为每行的等待时间。
                    Seconds the instrument may take to begin a reply (default 5); for a
                    component write, the wait for each row.
  --quiet-ms MS     仪器的回答在线路静默这么多毫秒后才算结束，默认 200。回答中途停顿更久的
                    仪器需要加大此值；回答结束后 1 秒内又收到数据即说明回答被截断（退出码 7）。
                    A reply ends after the line has been quiet this long (default 200 ms). Input
                    within 1 s after a reply ended proves it was cut (exit 7): raise this value.
  --settle-ms MS    打开串口后等待多少毫秒再发送命令，默认 100。
                    Wait this long after opening the port before sending (default 100 ms).
  -o, --output OUT  copy、components、archive export 和 report 的输出文件。
                    Output of copy, components, archive export and report.
  --no-archive      copy 的记录不存入档案（默认每次完整的拷贝都存入档案，与窗口相同）。
                    Do not keep copy&apos;s records in the archive (kept by default, as the window does).
  --archive FILE    档案数据库文件，默认在用户数据文件夹中（与窗口共用）。
                    The archive database (default: the user&apos;s data folder, shared with the window).
  --log             把连接、命令、应答大小和用时、提示与错误写入支持日志（与窗口共用，
                    在用户数据文件夹的 Varnok/logs 中；不含记录本身）。
                    Write the support log shared with the window (Varnok/logs in the user&apos;s
                    data folder): connections, commands, reply sizes and times, messages
                    and errors, never the records.
  --json            以 JSON 输出列表（ports、partitions、files、components）。
                    Listings as JSON, for programs.
  --quiet, -q       不显示进度和成功提示；错误仍写到标准错误。
                    No progress and no success messages; errors still go to standard error.
  --lang CODE       界面语言：zh_CN（中文）或 en（English）；默认为窗口中选择的语言，否则为中文。
                    Language of the messages: zh_CN or en; default: the one chosen in the
                    window, else Chinese.
  --help, -h        显示本说明。Show this text.
  --version         显示版本。Show the version.

</source>
        <translation>Options:
  --port NAME       Port COMn as the window lists it, or a device path (such as
                    /dev/ttyUSB0); default: the first port listed.
  --baud N          Baud rate (default 9600).
  --parity P        Parity None, Odd, Even, Mark (or Space); default None.
  --stop-bits S     Stop bits 1 or 2 (or 1.5); default 1.
  --timeout SEC     Seconds the instrument may take to begin a reply (default 5); for a
                    component write, the wait for each row.
  --quiet-ms MS     A reply ends once the line has been quiet this long (default 200).
                    Input within 1 s after a reply ended proves that it was cut (exit 7):
                    for an instrument that pauses longer inside its replies, raise this.
  --settle-ms MS    Wait this long after opening the port before the first command
                    (default 100).
  -o, --output OUT  Output of copy, components, archive export and report.
  --no-archive      Keep copy&apos;s records out of the archive (by default every complete copy
                    is archived, as in the window).
  --archive FILE    The archive database (default: the user&apos;s data folder, shared with the
                    window).
  --log             Write the support log shared with the window (Varnok/logs in the user&apos;s
                    data folder): connections, commands, reply sizes and times, messages
                    and errors, never the records.
  --json            Listings (ports, partitions, files, components) as JSON, for programs.
  --quiet, -q       No progress and no success messages; errors still go to standard error.
  --lang CODE       Language of the messages: zh_CN (Chinese) or en (English); default: the
                    one chosen in the window, else Chinese.
  --help, -h        Show this text.
  --version         Show the version.

</translation>
    </message>
    <message>
        <source>仪器 Readouts:
  --instrument NAME copy 的记录存档时所属的仪器。不给时用上次以此名称从同一串口设备拷贝时记住的
                    仪器，再不然用默认仪器（archive instruments default）；都没有则拒绝存档
                    （退出码 9，不发送任何命令）。仪器须先用 archive instruments add 添加。
                    The readout copy&apos;s records are archived under; without it, the one
                    remembered for the port&apos;s device, else the default; with none the copy
                    is refused (exit 9, nothing sent). Add readouts with archive instruments add.
  --zone Z          archive instruments add 的时区。Time zone of a new readout.
  --site S          archive gauges、archive export、report：只取工程 S 的测点。Only site S&apos;s gauges.
  --gauge G         archive export、report：只取测点 G（可多次给出）。Only gauge G (repeatable).
  --from T          archive assign：指定自何时起（仪器时钟）。From when (the readout&apos;s clock).
  --json            也用于 archive list、archive instruments 和 archive gauges。
                    Also for archive list, archive instruments and archive gauges.
每次拷贝后读取该分区的元件编号列表（DIRPART），以便记录归入正确的测点；读取失败时照常存档
并在标准错误说明。A copy reads its partition&apos;s component list to file records by gauge.

</source>
        <translation>Readouts:
  --instrument NAME The readout copy&apos;s records are archived under. Without it, the one
                    remembered for the port&apos;s device from an earlier copy under this option,
                    else the default (archive instruments default); with none the copy is
                    refused (exit 9, nothing sent). Add readouts with archive instruments add.
  --zone Z          The time zone of archive instruments add.
  --site S          archive gauges, archive export, report: only the gauges of site S.
  --gauge G         archive export, report: only gauge G (may be given several times).
  --from T          archive assign: from when (the readout&apos;s clock).
  --json            Also for archive list, archive instruments and archive gauges.
After each copy the partition&apos;s component list (DIRPART) is read, so that records are filed by
gauge; when it cannot be read the records are archived all the same and standard error says so.

</translation>
    </message>
    <message>
        <source>--office 需要办公室数据库的连接字符串（如 &quot;host=office dbname=ktm520&quot;）或 URI，或 service=服务名。</source>
        <translation>--office needs the office database&apos;s connection string (e.g. &quot;host=office dbname=ktm520&quot;) or URI, or service=NAME.</translation>
    </message>
    <message>
        <source>--office-settings 需要办公室数据库设置文件的文件名。</source>
        <translation>--office-settings needs the office database settings file&apos;s name.</translation>
    </message>
    <message>
        <source>  sync [--office CONNINFO] [--office-settings FILE] [--no-pull]
                           与办公室数据库（PostgreSQL）同步：上传本机档案中办公室还没有的读数、测点登记、
                           标定、触发值、屏蔽和确认，再取回其他电脑上传的登记和所关注工程的读数。
                           连接取自窗口“办公室数据库设置”中的设置（与窗口共用），或 --office 给出的
                           libpq 连接字符串、URI 或 service=服务名（pg_service.conf）；--office-settings
                           指定另一个设置文件。密码由 libpq 从 ~/.pgpass（或 PGPASSFILE 指定的文件）或
                           PGPASSWORD 取得，不放在设置中；建议用 sslmode=verify-full（加密并核对服务器
                           证书）。--no-pull 只上传、不取回。中途中断（断网、
                           服务器停止、程序被终止）时已提交的部分保留，下次同步从那里继续，每条读数在
                           办公室只存一次。结果在标准输出，冲突逐条列出；进度在标准错误。
                           Sync with the office database (PostgreSQL): send what the archive has
                           that the office has not, then bring the register and the followed
                           sites&apos; readings of other PCs. The connection is the window&apos;s office
                           settings, or --office (a libpq connection string, URI or
                           service=NAME); --office-settings another settings file. Passwords
                           come from ~/.pgpass (PGPASSFILE) or PGPASSWORD; sslmode=verify-full
                           is advised. --no-pull only sends.
                           A sync broken off anywhere keeps what was committed; the next goes on.
                  退出码：0 已同步（只读用户未上传时在标准错误说明），7 被 SIGINT/SIGTERM 中止，
                  8 本机档案无法读写，11 无法连接服务器，12 其他失败（未设置、密码、TLS、权限）。
                  Exit 0 synced (a read-only user&apos;s sync says on standard error what it
                  did not send), 7 stopped, 8 the archive failed, 11 the server cannot be
                  reached, 12 any other failure (not set up, password, TLS, rights).

</source>
        <translation>  sync [--office CONNINFO] [--office-settings FILE] [--no-pull]
                           Sync with the office database (PostgreSQL): send the readings, gauge
                           register, calibrations, trigger levels, masks and acknowledgements
                           the office does not have yet, then bring the register and the
                           followed sites&apos; readings other PCs sent. The connection is the one
                           set in the window (Office database settings, shared with it), or
                           --office: a libpq connection string, URI or service=NAME
                           (pg_service.conf); --office-settings names another settings file.
                           libpq takes the password from ~/.pgpass (or PGPASSFILE) or
                           PGPASSWORD, never from the settings; sslmode=verify-full (encrypted,
                           the server&apos;s certificate checked) is advised. --no-pull only sends.
                           A sync broken off (network gone, server stopped, program killed)
                           keeps what was committed and the next one goes on from there; each
                           reading is stored in the office once. The result and each conflict
                           go to standard output, the progress to standard error.
                  Exit 0 synced (a read-only user&apos;s sync says on standard error what it
                  did not send), 7 stopped by SIGINT/SIGTERM, 8 the archive failed, 11 the
                  server cannot be reached, 12 any other failure (not set up, password,
                  TLS, rights).

</translation>
    </message>
    <message>
        <source>  11 sync：无法连接办公室数据库服务器（读数保存在本机，稍后再同步）
     sync: the office database&apos;s server cannot be reached (the readings wait here)
  12 sync：办公室数据库未设置、拒绝了用户名或密码、要求的加密无法建立、权限不足或出错
     sync: the office database is not set up, refused the login, TLS, rights, or failed
</source>
        <translation>  11 sync: the office database&apos;s server cannot be reached (the readings wait here)
  12 sync: the office database is not set up, refused the user or password, the TLS
     asked for could not be had, rights were lacking, or it failed
</translation>
    </message>
</context>
<context>
    <name>cli::Progress</name>
    <message>
        <source>正在接收数据：%1 字节，%2 字节/秒，用时 %3 秒</source>
        <translation>Receiving: %1 bytes, %2 bytes/s, %3 s</translation>
    </message>
    <message>
        <source>[%1%2] %3% %4/%5 行，用时 %6 秒</source>
        <extracomment>a progress bar, its percentage, rows written of all rows, seconds</extracomment>
        <translation>[%1%2] %3% %4/%5 rows, %6 s</translation>
    </message>
    <message>
        <source>接收完成：%1 字节，%2 字节/秒，用时 %3 秒</source>
        <translation>Received: %1 bytes, %2 bytes/s, %3 s</translation>
    </message>
    <message>
        <source>[%1%2] %3% %4 %5/%6，用时 %7 秒</source>
        <extracomment>a progress bar, its percentage, what is being done, steps done of all steps, seconds</extracomment>
        <translation>[%1%2] %3% %4 %5/%6, %7 s elapsed</translation>
    </message>
</context>
<context>
    <name>cli::ReadoutChoice</name>
    <message>
        <source>档案中还没有仪器，请先用 ktm520-cli archive instruments add 名称 [--zone 时区] 添加。</source>
        <translation>The archive has no readout yet: add one first with ktm520-cli archive instruments add NAME [--zone ZONE].</translation>
    </message>
    <message>
        <source>已有的仪器：%1。添加仪器：ktm520-cli archive instruments add 名称 [--zone 时区]。</source>
        <extracomment>between the names of a list</extracomment>
        <translation>Known readouts: %1. To add one: ktm520-cli archive instruments add NAME [--zone ZONE].</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>档案中没有仪器“%1”，未发送任何命令。</source>
        <translation>The archive has no readout &quot;%1&quot;; nothing was sent. </translation>
    </message>
    <message>
        <source>默认仪器“%1”不在档案中，未发送任何命令。</source>
        <translation>The default readout &quot;%1&quot; is not in the archive; nothing was sent. </translation>
    </message>
    <message>
        <source>未指定仪器：不知道这次拷贝的记录属于哪台仪器，未发送任何命令。请用 --instrument 名称 指定（此后从同一串口设备拷贝时会记住它），或用 ktm520-cli archive instruments default 名称 设定默认仪器。</source>
        <translation>No readout given: it is not known which readout this copy&apos;s records belong to; nothing was sent. Name it with --instrument NAME (it is then remembered for this port&apos;s device), or set a default with ktm520-cli archive instruments default NAME. </translation>
    </message>
</context>
<context>
    <name>cli::Session</name>
    <message>
        <source>读取数据分区失败！仪器的回答不是分区范围：%1</source>
        <translation>Reading the partitions failed: the instrument&apos;s answer is not a range of partitions: %1</translation>
    </message>
    <message>
        <source>仪器的回答不明确：%1</source>
        <translation>The instrument&apos;s answer is unclear: %1</translation>
    </message>
    <message>
        <source>接收的数据不完整（最后一行没有结束，传输可能被中断），已接收的 %1 字节已丢弃，未写入任何文件！</source>
        <translation>The data received is incomplete (its last line has no end; the transfer may have been cut off). The %1 bytes received were discarded and no file was written.</translation>
    </message>
    <message>
        <source>文件名“%1”中含有无法发送给仪器的字符！</source>
        <translation>The file name “%1” holds characters that cannot be sent to the instrument.</translation>
    </message>
    <message>
        <source>输出文件夹“%1”不存在。</source>
        <translation>The output folder “%1” does not exist.</translation>
    </message>
    <message>
        <source>已中止。</source>
        <translation>Stopped.</translation>
    </message>
    <message>
        <source>仪器的回答在停顿后又继续发送，接收的数据不完整，未写入也未输出任何内容！如仪器回答中途停顿较久，请用 --quiet-ms 加长静默时间后重试。</source>
        <translation>The instrument went on with its reply after a pause: the data received is incomplete, and nothing was written or printed. If the instrument pauses long in mid-reply, try again with a longer --quiet-ms.</translation>
    </message>
    <message>
        <source>存档已中止：本次拷贝的记录均未存档。</source>
        <translation>Archiving stopped: none of this copy&apos;s records were archived.</translation>
    </message>
    <message>
        <source>正在等待档案数据库：另一个程序正在写入（已等待 %1 秒）…</source>
        <translation>Waiting for the archive: another program is writing to it (%1 s so far)…</translation>
    </message>
    <message>
        <source>仪器回答 ERR</source>
        <translation>the instrument answered ERR</translation>
    </message>
    <message>
        <source>仪器没有应答</source>
        <translation>no reply</translation>
    </message>
    <message>
        <source>回答不完整</source>
        <translation>the reply was incomplete</translation>
    </message>
    <message>
        <source>未能读取分区 %1 的元件编号列表（%2）：记录照常存档，但不按测点归类。</source>
        <translation>Could not read the component list of partition %1 (%2): the records are archived all the same, but not filed by gauge.</translation>
    </message>
    <message>
        <source>未能记住串口设备 %1 对应的仪器：%2</source>
        <translation>Could not remember the readout of device %1: %2</translation>
    </message>
    <message>
        <source>未能存档：%1；无法确定本次记录所属的仪器，也未暂存。</source>
        <translation>Not archived: %1; the readout of these records could not be told, so the copy was not kept for later either.</translation>
    </message>
</context>
<context>
    <name>sheets</name>
    <message>
        <source>没有可用的表格程序：%1</source>
        <translation>No spreadsheet program available: %1</translation>
    </message>
    <message>
        <source>无法启动表格程序：%1</source>
        <translation>Cannot start the spreadsheet program: %1</translation>
    </message>
    <message>
        <source>工作表已不存在</source>
        <translation>The worksheet no longer exists</translation>
    </message>
    <message>
        <source>没有第 %1 个工作表</source>
        <translation>There is no worksheet %1</translation>
    </message>
    <message>
        <source>工作簿中没有名为“%1”的工作表</source>
        <translation>The workbook has no worksheet named “%1”</translation>
    </message>
    <message>
        <source>表格程序没有返回%1</source>
        <translation>The spreadsheet program did not return %1</translation>
    </message>
    <message>
        <source>单元格</source>
        <translation>the cells</translation>
    </message>
    <message>
        <source>表格程序没有返回工作表的数目</source>
        <translation>The spreadsheet program did not return the number of worksheets</translation>
    </message>
    <message>
        <source>工作表</source>
        <translation>the worksheet</translation>
    </message>
    <message>
        <source>工作表不属于这个工作簿</source>
        <translation>The worksheet does not belong to this workbook</translation>
    </message>
    <message>
        <source>工作表集合</source>
        <translation>the worksheets</translation>
    </message>
    <message>
        <source>工作簿集合</source>
        <translation>the workbooks</translation>
    </message>
    <message>
        <source>工作簿</source>
        <translation>the workbook</translation>
    </message>
</context>
</TS>
