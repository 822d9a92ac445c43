#include "app/VerdictPanel.h"

#include "plot/StatusColours.h"
#include "app/VerdictModel.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kGaugeRole = Qt::UserRole;
} // namespace

VerdictPanel::VerdictPanel(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("本次拷贝的测点状态"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    headline = new QLabel(this);
    QFont bold = headline->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    headline->setFont(bold);
    headline->setWordWrap(true);
    layout->addWidget(headline);
    context = new QLabel(this);
    layout->addWidget(context);
    list = new QTreeWidget(this);
    list->setColumnCount(5);
    list->setHeaderLabels({tr("状态"), tr("测点"), tr("数值"), tr("触发规则"), tr("时间")});
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setAccessibleName(tr("状态改变和有质量标记的测点"));
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(false);
    layout->addWidget(list, 1);
    auto* buttons = new QDialogButtonBox(this);
    viewButton = buttons->addButton(tr("查看"), QDialogButtonBox::ActionRole);
    viewButton->setToolTip(tr("在“历史数据”中显示所选测点的趋势"));
    closeButton = buttons->addButton(tr("关闭"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    resize(640, 320);

    connect(viewButton, &QPushButton::clicked, this, &VerdictPanel::chooseCurrent);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::hide);
    connect(list, &QTreeWidget::itemActivated, this, &VerdictPanel::chooseCurrent);
    connect(list, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { viewButton->setEnabled(item != nullptr); });
}

void VerdictPanel::show(const archive::Verdict& verdict, const QString& copy)
{
    headline->setText(verdictmodel::headline(verdict));
    //: %1 what was copied ("分区 A"), %2 when it was archived
    context->setText(tr("%1，存档于 %2").arg(copy, QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
    list->clear();
    for (const verdictmodel::Row& r : verdictmodel::rows(verdict)) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(StatusColumn, verdictmodel::statusText(r));
        item->setText(GaugeColumn, r.gauge);
        item->setText(ValueColumn, verdictmodel::valueText(r));
        QString rule = r.changed ? r.rule : tr("读数有质量标记");
        if (r.changed && r.status == 0)
            rule = tr("恢复正常");
        if (r.changed && r.flagged)
            rule += tr("；读数有质量标记");
        item->setText(RuleColumn, rule);
        item->setText(TimeColumn, verdictmodel::timeText(r));
        item->setTextAlignment(ValueColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(GaugeColumn, kGaugeRole, r.gauge);
        // A swatch of the status' colour, seen also on the selected row.
        QPixmap swatch(12, 12);
        swatch.fill(r.changed ? statuscolours::of(r.status) : statuscolours::flagged());
        item->setIcon(StatusColumn, QIcon(swatch));
        if (!r.site.isEmpty())
            item->setToolTip(GaugeColumn, tr("工程：%1").arg(r.site));
    }
    if (list->topLevelItemCount() > 0)
        list->setCurrentItem(list->topLevelItem(0));
    viewButton->setEnabled(list->currentItem() != nullptr);
    QDialog::show();
    raise();
    activateWindow();
}

void VerdictPanel::chooseCurrent()
{
    if (QTreeWidgetItem* item = list->currentItem())
        emit gaugeChosen(item->data(GaugeColumn, kGaugeRole).toString());
}
