#pragma once

#include "office/OfficeSettings.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace office {
class PgConnection;
}

// 办公室数据库设置: where the office's PostgreSQL database is (a libpq connection string or URI, or
// a service of pg_service.conf), the sslmode that connection will use (verify-full advised), the
// password (to the system's key store when there is one, never into the settings; else libpq's
// pgpass file keeps it), the sites whose readings of other PCs a sync brings here, and whether
// the window syncs after each download. 测试连接 connects and says who the server took it for and
// whether the connection is encrypted. What settingsProblem refuses cannot be saved.
class OfficeDialog : public QDialog {
    Q_OBJECT
public:
    // `sites`: the archive's sites, offered to follow.
    OfficeDialog(const office::Settings& settings, const QStringList& sites, QWidget* parent = nullptr);
    ~OfficeDialog() override;

    // The settings as the dialog shows them.
    office::Settings settings() const;
    void setSettings(const office::Settings& settings);
    // Why they cannot be saved ("" when they can).
    QString problem() const;
    // The password typed ("" when none: the one kept stays).
    QString password() const;

    // Connects with what the dialog shows (the password typed, else the one kept); says the
    // outcome in testResult. True when it connected.
    bool testConnection();
    // What a connection is, for the operator: the user, the database and server, and whether
    // the connection is encrypted.
    static QString connectedText(const office::PgConnection& connection);
    // The line under the sslmode: "" for verify-full, else the advice.
    static QString sslAdvice(const QString& mode);

    // Reads the password kept for the settings (the system's key store unless replaced).
    std::function<std::optional<QString>(const office::Settings&)> keptPassword;
    // Keeps a password for the settings: true, or false and why (the key store unless replaced;
    // null when the build has none).
    std::function<bool(const office::Settings&, const QString&, QString* why)> keepPassword;

    QRadioButton* connectionChoice = nullptr;
    QLineEdit* connectionEdit = nullptr;
    QRadioButton* serviceChoice = nullptr;
    QLineEdit* serviceEdit = nullptr;
    QLabel* sslLabel = nullptr;
    QLabel* sslHint = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QLabel* passwordNote = nullptr;
    QListWidget* sitesList = nullptr; // checkable: the followed sites
    QCheckBox* syncAfterDownload = nullptr;
    QPushButton* testButton = nullptr;
    QLabel* testResult = nullptr;
    QLabel* problemLabel = nullptr;
    QPushButton* okButton = nullptr;

public slots:
    // Keeps the password typed (where it can) and closes; refused while problem() says why.
    void accept() override;

private:
    void updateState();
};
