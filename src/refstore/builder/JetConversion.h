#pragma once

#include <QString>

// Writes a SQLite reference database holding the keys of the car indexes
// "Car1" … "Car6" of table "Codes" of an Access/Jet one, for users who want
// to edit their reference data. The copy answers every lookup as the
// original does, but it is a new file: it never has the genuine size and date.
// Nothing is written when the Jet file cannot be read.
bool convertJetReference(const QString& jetPath, const QString& sqlitePath, QString* error);
