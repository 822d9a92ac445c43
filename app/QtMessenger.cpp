#include "app/QtMessenger.h"

#include "platform/SupportLog.h"

#include <QApplication>
#include <QMessageBox>

namespace {
const QString kTitle = QStringLiteral("Varnok");
}

void QtMessenger::information(const QString& text)
{
    qCInfo(logMessages).noquote() << "message:" << text;
    QMessageBox box(QMessageBox::Information, kTitle, text, QMessageBox::Ok, m_parent);
    box.exec();
}

void QtMessenger::plain(const QString& text)
{
    qCInfo(logMessages).noquote() << "message:" << text;
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtMessenger::confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Information, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    const bool yes = box.exec() == QMessageBox::Yes;
    qCInfo(logMessages).noquote() << "question:" << text << (yes ? "-> yes" : "-> no");
    return yes;
}
