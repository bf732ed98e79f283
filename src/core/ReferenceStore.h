#pragma once

#include <QByteArrayView>
#include <QString>

// The table of genuine lines, used as a table-type cursor: make an index
// current by its name, seek one key with "=", then ask whether it matched.
// Keys compare byte for byte. The stores themselves live in the reference
// store layer; the scan needs only this.
class ReferenceStore
{
public:
    virtual ~ReferenceStore() = default;

    // False, with a reason, when the table has no usable index of that name.
    virtual bool setIndex(const QString& name, QString* error) = 0;
    // False, with a reason, when the lookup itself failed.
    virtual bool seek(QByteArrayView key, QString* error) = 0;
    virtual bool noMatch() const = 0;
};
