#include "editor/ComponentList.h"

#include "export/Automation.h"
#include "grids/ReadingLayout.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "platform/ComponentRules.h"

#include <QCoreApplication>
#include <cmath>

namespace ComponentList {

namespace {

QString translated(const char* source) { return QCoreApplication::translate("ComponentList", source); }

const char* const kCodeLength = QT_TRANSLATE_NOOP(
    "ComponentList", "元件编号的长度需不符合仪器要求，请输入如：*001的编号，最大值为*200，*为A-J区 ！");
const char* const kCodeWrong =
    QT_TRANSLATE_NOOP("ComponentList", "元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！");
const char* const kNameLength = QT_TRANSLATE_NOOP(
    "ComponentList", "元件名的长度需至少有1个字符，最大长度不能超过10个字符，且必须为可现实字符！");
const char* const kNameChars = QT_TRANSLATE_NOOP("ComponentList", "元件名中含有不可显示字符（含空格），请修正！");

// Blanks around a text, as the editor's text boxes trim them.
QString trimBlanks(const QString& text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

bool letterOk(const QString& code) { return ComponentRules::isPartitionLetter(code.at(0)); }

bool numberOk(const QString& code)
{
    const double n = Val(code.right(3));
    return n >= 1 && n <= 200;
}

// An emptied grid with the two headers; the columns share the grid's width.
void startGrid(PreviewGrid& grid, const QString& first, const QString& second)
{
    grid.clear();
    grids::setLayout(grid, {first, second},
                     {int(std::nearbyint(kGridWidthTwips / 4.0 - 100)),
                      int(std::nearbyint(kGridWidthTwips / 3.0 * 2 - 100))});
}

} // namespace

void reset(PreviewGrid& grid)
{
    PreviewGrid::Batch batch(grid);
    startGrid(grid, QStringLiteral("序号"), QStringLiteral("元件名"));
}

QString codeOf(const QString& entry) { return entry.left(4); }

QString nameOf(const QString& entry)
{
    const qsizetype eq = entry.indexOf(QLatin1Char('='));
    return eq < 0 ? entry : entry.mid(eq + 1);
}

QString addTyped(PreviewGrid& grid, int& manualCount, QString& code, QString& name)
{
    code = trimBlanks(code);
    name = trimBlanks(name);
    if (code.size() != 4)
        return translated(kCodeLength);
    if (!letterOk(code) || !numberOk(code))
        return translated(kCodeWrong);
    if (name.size() < 1 || name.size() > ComponentRules::kMaxNameLength)
        return translated(kNameLength);
    if (!ComponentRules::showable(name))
        return translated(kNameChars);

    auto duplicate = [&](int row) {
        return QCoreApplication::translate("ComponentList", "元件名和第%1行%2相同，请修正！")
            .arg(QString::number(row), codeOf(grid.text(row, 1)));
    };
    for (int r = 1; r < grid.rows(); ++r) {
        const QString entry = grid.text(r, 1);
        if (codeOf(entry) == code) {
            for (int j = 1; j < grid.rows(); ++j)
                if (nameOf(grid.text(j, 1)) == name)
                    return duplicate(j);
            grid.setText(r, 1, code + QLatin1Char('=') + name);
            return {};
        }
        if (nameOf(entry) == name)
            return duplicate(r);
    }
    ++manualCount;
    grid.setRows(grid.rows() + 1);
    grid.setText(manualCount, 0, QString::number(manualCount));
    grid.setText(manualCount, 1, code + QLatin1Char('=') + name);
    return {};
}

std::optional<Fault> check(const PreviewGrid& grid, std::vector<Entry>& approved)
{
    approved.clear();
    for (int i = 1; i < grid.rows(); ++i) {
        const QStringList parts = grid.text(i, 1).split(QLatin1Char('='));
        // The fault of row i: its text names the row.
        const auto fault = [i](const char* source, bool plain = false) {
            return Fault{i, QCoreApplication::translate("ComponentList", source).arg(i), plain};
        };
        const auto faultA = [&] {
            return fault(QT_TRANSLATE_NOOP("ComponentList", "表格中有元件编号不符合要求，如：第%1行，请检查修正！"), true);
        };
        if (parts.size() < 2)
            return faultA();
        const QString code = trimBlanks(parts[0]);
        const QString name = trimBlanks(parts[1]);
        if (code.size() != 4 || name.size() > ComponentRules::kMaxNameLength || name.isEmpty())
            return faultA();
        if (!letterOk(code))
            return fault(QT_TRANSLATE_NOOP("ComponentList",
                                           "第%1元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！"));
        if (!numberOk(code))
            return fault(QT_TRANSLATE_NOOP("ComponentList",
                                           "第%1行元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！"));
        if (!ComponentRules::showable(name))
            return fault(QT_TRANSLATE_NOOP("ComponentList", "第%1行元件名中含有不可显示字符（含空格），请修正！"));
        approved.push_back({code, name});
    }
    return std::nullopt;
}

QString emptyText() { return QCoreApplication::translate("ComponentList", "元件编号列表为空，没有可写入的内容！"); }

void fillFromSheet(PreviewGrid& grid, sheets::Worksheet& sheet)
{
    PreviewGrid::Batch batch(grid);
    startGrid(grid, sheet.cellText(1, 1), sheet.cellText(1, 2));
    int row = 0;
    for (int k = 2; k <= kLastSheetRow; ++k) {
        const QString text = sheet.cellText(k, 2);
        if (text.trimmed().isEmpty())
            continue;
        ++row;
        grid.setRows(row + 1);
        grid.setText(row, 0, QString::number(row));
        grid.setText(row, 1, text);
    }
}

} // namespace ComponentList
