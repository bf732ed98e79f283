#pragma once

#include <QString>

// Lays out a program folder from the sample data set: "Sample.txt",
// "help.txt", the six reference files and "Sam.mdb" built from them, each
// reference file stamped with its genuine date so all of them read "Correct".
// Files the program writes itself (the log, received descriptors) stay.
bool stageSampleProgramFolder(const QString& dataFolder, const QString& programFolder, QString* error);

// Builds a SQLite "Sam.mdb" of the genuine size from the six reference
// files in folder (list entry + ".dat"), stamped with the genuine date.
bool buildSampleDatabase(const QString& genuineFolder, const QString& path, QString* error);
