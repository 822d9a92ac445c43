#pragma once

#include "archive/Judgement.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

// What judging a copy found, beside the window and not modal: a headline, the gauges whose status
// changed (in their status' colour: amber, orange, red, green for back to normal) and the gauges
// with flagged readings. A double-click or "查看" asks for the gauge's trend. One panel serves
// every copy: show() replaces what it lists and raises it.
class VerdictPanel : public QDialog {
    Q_OBJECT
public:
    enum Column {
        StatusColumn,
        GaugeColumn,
        ValueColumn,
        RuleColumn,
        TimeColumn
    };
    explicit VerdictPanel(QWidget* parent = nullptr);

    // Lists the verdict of a copy (`copy` names it: "分区 A"), shows and raises the panel.
    void show(const archive::Verdict& verdict, const QString& copy);

    QLabel* headline = nullptr;
    QLabel* context = nullptr;
    QTreeWidget* list = nullptr;
    QPushButton* viewButton = nullptr;
    QPushButton* closeButton = nullptr;

signals:
    // The operator wants to see this gauge's trend.
    void gaugeChosen(const QString& gauge);

private:
    void chooseCurrent();
};
