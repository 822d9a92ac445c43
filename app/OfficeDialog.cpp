#include "app/OfficeDialog.h"

#include "app/BackgroundWork.h"
#include "office/PgConnection.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

OfficeDialog::OfficeDialog(const office::Settings& settings, const QStringList& sites, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("办公室数据库设置"));
    if (office::PasswordStore::available()) {
        keptPassword = &office::PasswordStore::read;
        keepPassword = &office::PasswordStore::write;
    } else {
        keptPassword = [](const office::Settings&) { return std::optional<QString>(); };
    }
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("各台电脑的读数汇总到办公室的 PostgreSQL 数据库；本机档案照常离线工作，同步时上传"
                                "办公室还没有的内容，并取回其他电脑上传的内容。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* where = new QFormLayout;
    connectionChoice = new QRadioButton(tr("连接字符串："), this);
    connectionEdit = new QLineEdit(this);
    connectionEdit->setPlaceholderText(QStringLiteral("host=office.example dbname=ktm520 user=alice sslmode=verify-full"));
    connectionEdit->setToolTip(tr("libpq 的连接字符串或 URI（postgresql://…），不含密码"));
    connectionEdit->setAccessibleName(tr("连接字符串"));
    where->addRow(connectionChoice, connectionEdit);
    serviceChoice = new QRadioButton(tr("服务名："), this);
    serviceEdit = new QLineEdit(this);
    serviceEdit->setToolTip(tr("pg_service.conf 中的服务名（PGSERVICEFILE、~/.pg_service.conf 或系统的服务文件）"));
    serviceEdit->setAccessibleName(tr("服务名"));
    where->addRow(serviceChoice, serviceEdit);
    sslLabel = new QLabel(this);
    where->addRow(tr("加密方式："), sslLabel);
    sslHint = new QLabel(this);
    sslHint->setWordWrap(true);
    sslHint->setStyleSheet(QStringLiteral("color: #a05a00;"));
    where->addRow(QString(), sslHint);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setAccessibleName(tr("密码"));
    where->addRow(tr("密码："), passwordEdit);
    passwordNote = new QLabel(this);
    passwordNote->setWordWrap(true);
    passwordNote->setText(keepPassword ? tr("密码保存在系统的密钥存储中，不写入设置；留空则不更改已保存的密码。")
                                       : tr("此程序不能使用系统的密钥存储：密码请写入 libpq 的密码文件 ~/.pgpass（Windows 上为 "
                                            "%APPDATA%\\postgresql\\pgpass.conf）。此处输入的密码只用于测试连接。"));
    where->addRow(QString(), passwordNote);
    layout->addLayout(where);

    auto* sitesLabel = new QLabel(tr("关注的工程（同步时取回其他电脑上传的这些工程的读数；都不勾选则为本机读过的测点所在的工程）："),
                                  this);
    sitesLabel->setWordWrap(true);
    layout->addWidget(sitesLabel);
    sitesList = new QListWidget(this);
    sitesList->setAccessibleName(tr("关注的工程"));
    for (const QString& site : sites) {
        auto* item = new QListWidgetItem(site, sitesList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    sitesList->setMaximumHeight(sitesList->fontMetrics().height() * 8);
    layout->addWidget(sitesList);
    syncAfterDownload = new QCheckBox(tr("每次下载存档后自动同步"), this);
    layout->addWidget(syncAfterDownload);

    auto* testRow = new QHBoxLayout;
    testButton = new QPushButton(tr("测试连接"), this);
    testButton->setAutoDefault(false);
    testRow->addWidget(testButton);
    testResult = new QLabel(this);
    testResult->setWordWrap(true);
    testRow->addWidget(testResult, 1);
    layout->addLayout(testRow);
    problemLabel = new QLabel(this);
    problemLabel->setWordWrap(true);
    problemLabel->setStyleSheet(QStringLiteral("color: #b00000;"));
    layout->addWidget(problemLabel);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    okButton->setText(tr("确定"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &OfficeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OfficeDialog::reject);
    connect(testButton, &QPushButton::clicked, this, &OfficeDialog::testConnection);
    for (QLineEdit* edit : {connectionEdit, serviceEdit})
        connect(edit, &QLineEdit::textChanged, this, &OfficeDialog::updateState);
    connect(connectionChoice, &QRadioButton::toggled, this, &OfficeDialog::updateState);
    connect(serviceChoice, &QRadioButton::toggled, this, &OfficeDialog::updateState);
    setSettings(settings);
    resize(620, sizeHint().height());
}

OfficeDialog::~OfficeDialog() = default;

office::Settings OfficeDialog::settings() const
{
    office::Settings s;
    if (serviceChoice->isChecked())
        s.service = serviceEdit->text().trimmed();
    else
        s.connection = connectionEdit->text().trimmed();
    for (int i = 0; i < sitesList->count(); ++i)
        if (sitesList->item(i)->checkState() == Qt::Checked)
            s.followedSites << sitesList->item(i)->text();
    s.syncAfterDownload = syncAfterDownload->isChecked();
    return s;
}

void OfficeDialog::setSettings(const office::Settings& s)
{
    connectionEdit->setText(s.connection);
    serviceEdit->setText(s.service);
    (s.connection.trimmed().isEmpty() && !s.service.trimmed().isEmpty() ? serviceChoice : connectionChoice)
        ->setChecked(true);
    // A followed site the archive does not know (yet) is kept, and shown.
    for (const QString& site : s.followedSites)
        if (sitesList->findItems(site, Qt::MatchExactly).isEmpty()) {
            auto* item = new QListWidgetItem(site, sitesList);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        }
    for (int i = 0; i < sitesList->count(); ++i)
        sitesList->item(i)->setCheckState(s.followedSites.contains(sitesList->item(i)->text()) ? Qt::Checked
                                                                                               : Qt::Unchecked);
    syncAfterDownload->setChecked(s.syncAfterDownload);
    updateState();
}

QString OfficeDialog::problem() const { return office::settingsProblem(settings()); }

QString OfficeDialog::password() const { return passwordEdit->text(); }

QString OfficeDialog::sslAdvice(const QString& mode)
{
    return office::recommendedSslMode(mode) ? QString()
                                            : tr("建议使用 sslmode=verify-full：加密并核对服务器证书与主机名");
}

void OfficeDialog::updateState()
{
    connectionEdit->setEnabled(connectionChoice->isChecked());
    serviceEdit->setEnabled(serviceChoice->isChecked());
    const office::Settings s = settings();
    const QString mode = office::sslModeOf(s);
    sslLabel->setText(QStringLiteral("sslmode=%1").arg(mode));
    sslHint->setText(sslAdvice(mode));
    sslHint->setVisible(!sslHint->text().isEmpty());
    const QString why = problem();
    problemLabel->setText(why);
    okButton->setEnabled(why.isEmpty());
    testButton->setEnabled(why.isEmpty() && s.configured());
    testResult->clear();
}

QString OfficeDialog::connectedText(const office::PgConnection& c)
{
    const QString version = QStringLiteral("%1.%2").arg(c.serverVersion() / 10000).arg(c.serverVersion() % 10000);
    //: %1 the user, %2 the database, %3 the server's version
    QString text = tr("已连接：用户 %1，数据库 %2，PostgreSQL %3。").arg(c.user(), c.database(), version);
    text += c.usesTls() ? tr("连接已加密（TLS，sslmode=%1）。").arg(c.sslMode())
                        : tr("连接未加密（sslmode=%1）。").arg(c.sslMode());
    return text;
}

bool OfficeDialog::testConnection()
{
    const office::Settings s = settings();
    if (const QString why = problem(); !why.isEmpty() || !s.configured()) {
        testResult->setText(why.isEmpty() ? office::failureText(office::Failure{office::FailureKind::NotConfigured, {}})
                                          : why);
        return false;
    }
    QString typed = password();
    if (typed.isEmpty() && keptPassword)
        typed = keptPassword(s).value_or(QString());
    const QString conninfo = office::conninfo(s);
    std::unique_ptr<office::PgConnection> connection;
    office::Failure failure;
    testResult->setText(tr("正在连接…"));
    testButton->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // Off the window's thread: a server that does not answer keeps the dialog alive until the
    // connection's timeout.
    runInBackground(nullptr, QString(), 0,
                    [&](BackgroundWork&) { connection = office::PgConnection::open(conninfo, &failure, typed); });
    QGuiApplication::restoreOverrideCursor();
    testButton->setEnabled(true);
    testResult->setText(connection ? connectedText(*connection) : office::failureText(failure));
    return connection != nullptr;
}

void OfficeDialog::accept()
{
    if (const QString why = problem(); !why.isEmpty()) {
        problemLabel->setText(why);
        return;
    }
    if (!password().isEmpty() && keepPassword) {
        QString why;
        if (!keepPassword(settings(), password(), &why)) {
            problemLabel->setText(why);
            return;
        }
    }
    QDialog::accept();
}
