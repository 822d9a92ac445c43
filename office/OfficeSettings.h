#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Where the office database is, as both front ends find it: its own settings (QSettings of
// organisation "Varnok", application "ktm520-office"), which the window's dialog and the command
// line share. No password is ever kept here: libpq finds it in ~/.pgpass (PGPASSFILE), or the
// system's key store keeps it (PasswordStore).
namespace office {

struct Settings {
    // A libpq connection string ("host=office.example dbname=ktm520 user=alice sslmode=verify-full")
    // or URI; or empty, and then `service` names a service of pg_service.conf (PGSERVICEFILE,
    // ~/.pg_service.conf, the system's).
    QString connection;
    QString service;
    // The sites whose readings of other PCs a sync brings here; empty: the sites of the gauges
    // this PC has read itself.
    QStringList followedSites;
    // Whether the window syncs by itself after each download that was archived (when it can).
    bool syncAfterDownload = false;

    bool configured() const { return !connection.trimmed().isEmpty() || !service.trimmed().isEmpty(); }
    bool operator==(const Settings&) const = default;
};

// The settings file; `path` (tests, the command line's --office-settings) instead of the user's.
Settings loadSettings(const QString& path = {});
bool saveSettings(const Settings& settings, const QString& path = {});

// Why the settings cannot be used as they stand, in the operator's words, or "": a connection
// string libpq cannot read, one that carries a password (passwords are never kept in settings),
// both a connection and a service, a service name with spaces.
QString settingsProblem(const Settings& settings);

// The libpq connection string of the settings ("service=NAME" for a service).
QString conninfo(const Settings& settings);

// What the connection will ask of TLS: the sslmode the connection string or the service sets, or
// libpq's default "prefer"; and whether it is the recommended "verify-full".
QString sslModeOf(const Settings& settings);
inline bool recommendedSslMode(const QString& mode) { return mode == QLatin1String("verify-full"); }

// The user and the host the connection names (from the string or the service), for the key
// store's entry and the dialog; empty when not named.
QString userOf(const Settings& settings);
QString hostOf(const Settings& settings);

// The password kept for a connection in the system's key store (QtKeychain), when the build has
// one and the store answers; never in the settings. Reads give nullopt when nothing is kept or
// there is no store; writes give false and `why` when the store refused.
namespace PasswordStore {
bool available();
std::optional<QString> read(const Settings& settings);
bool write(const Settings& settings, const QString& password, QString* why);
bool forget(const Settings& settings);
} // namespace PasswordStore

} // namespace office
