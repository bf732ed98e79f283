#pragma once

#include <QString>

// The two files of a conversion, each named by what it is, so that the two
// paths cannot trade places unnoticed.
struct JetDatabasePath {
    QString path;
};
struct SqliteDatabasePath {
    QString path;
};

// Writes a SQLite reference database holding the keys of the car indexes
// of table "Codes" of an Access/Jet one, for users who want to edit their
// reference data. The copy answers every lookup as the original does, but it
// is a new file: it never has the genuine size and date. Nothing is written
// when the Jet file cannot be read, and an earlier file at the output stays
// unless the conversion succeeds.
bool convertJetReference(const JetDatabasePath& from, const SqliteDatabasePath& to, QString* error);
