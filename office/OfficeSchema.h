#pragma once

#include "office/PgConnection.h"

#include <QString>

// The office database's schema: made and migrated forward by the program (in one transaction,
// under an advisory lock so that two PCs that find it missing at once make it once), versioned
// like the local archive's. It lives in the schema "ktm520" of the database; its identity (a UUID
// made with it) tells PCs which office their marks of what was sent belong to.
//
// Roles (cluster-wide, made with the schema when the user may make roles, else left to the
// database's administrator): "ktm520_reader" may read everything (viewers, reports);
// "ktm520_writer" is a reader that may also add readings and edit the register, versions,
// assignments, masks and acknowledgements. Login roles are granted one of them.
namespace office {

constexpr int kOfficeSchemaVersion = 1;
inline constexpr char kReaderRole[] = "ktm520_reader";
inline constexpr char kWriterRole[] = "ktm520_writer";

struct SchemaInfo {
    int version = 0;       // as found (after making or migrating it)
    QString identity;      // the office's UUID
    bool canWrite = false; // the connected user may add readings (a member of the writer role or the owner)
};

// Makes the schema when the database has none (NoSchema when this user may not), migrates an
// older one forward (when this user may), and refuses a newer one (SchemaNewer).
std::optional<SchemaInfo> ensureSchema(PgConnection& conn, Failure* failure);

// The statements that make schema version 1, in order (also what the README's scaling notes and
// the benchmarks measure against).
const std::vector<const char*>& schemaStatements();

} // namespace office
