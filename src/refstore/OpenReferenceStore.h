#pragma once

#include "ReferenceStore.h"

#include <memory>

// Opens the table "Codes" of a reference database, choosing the backend by the
// file's content. Null, with a reason naming the file, on any failure.
std::unique_ptr<ReferenceStore> openReferenceStore(const QString& path, QString* error);
