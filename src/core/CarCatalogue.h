#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>

// The six cars Kestrix knows, in list order. Every name is used exactly as
// written here, letter case included.
struct Car {
    QString listEntry;
    QString descriptorPath; // appended to the game's Cars folder
    QString receivedName;   // appended to the program folder
    QString indexName;      // index of the reference table holding the car's genuine lines
    QString referenceSize;  // of listEntry + ".dat", as text
    QString referenceTime;  // of listEntry + ".dat", as date-time text
};

namespace CarCatalogue {

inline constexpr int CarCount = 6;

// The genuine reference database, "Sam.mdb", by size and date as text.
inline const QString DatabaseSize = QStringLiteral("202752");
inline const QString DatabaseTime = QStringLiteral("01/09/2002 09:34:02");

const std::array<Car, CarCount>& cars();
QStringList listEntries();

// The car whose descriptor, in the game or received, has this file name in
// any letter case ("grelmdescriptor.TXT" is Grelm's); null for none.
const Car* carOfDescriptorName(const QString& fileName);

// What the name of a file found in a folder says, read from its bytes.
struct DescriptorName {
    const Car* car = nullptr;
    // When kestrix-collect kept the file: its arrival as the number
    // yyyyMMddHHmmsszzz and the copy within that millisecond (1 for the
    // first); 0 and 0 for a name the collector did not make.
    qint64 arrival = 0;
    int copy = 0;
};

// Whose descriptor a file is by the name it has on disk: a name
// carOfDescriptorName knows; such a name behind the "yyyyMMdd-HHmmss-zzz-"
// and, for a later copy in the same millisecond, "N-" that kestrix-collect
// puts before what it keeps; or such a name after the last backslash of a
// name that unzip took whole from a Windows archive ("Cars\Grelm\Grelmdescriptor.txt").
// Anything more, such as a partial or a temporary file's name, names no car.
DescriptorName descriptorNameOf(QByteArrayView fileName);

// The car of this list entry in any letter case; null for none.
const Car* carNamed(const QString& listEntry);

} // namespace CarCatalogue
