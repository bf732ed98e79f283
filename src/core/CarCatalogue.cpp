#include "CarCatalogue.h"

#include "DescriptorFileName.h"
#include "WireBytes.h"


namespace CarCatalogue {

namespace {

// The file names come from the wire library, which also tells a
// descriptor by its name where Qt is not at hand.
Car car(int index, const char* listEntry, const char* indexName, const char* referenceSize, const char* referenceTime)
{
    const QString entry = QString::fromLatin1(listEntry);
    const wire::DescriptorFileNames& names = wire::DescriptorFiles[std::size_t(index)];
    return {entry,
            u'\\' + entry + u'\\' + QString::fromLatin1(names.inGame.data(), qsizetype(names.inGame.size())),
            u'/' + QString::fromLatin1(names.received.data(), qsizetype(names.received.size())),
            QString::fromLatin1(indexName),
            QString::fromLatin1(referenceSize),
            QString::fromLatin1(referenceTime)};
}

} // namespace

const std::array<Car, CarCount>& cars()
{
    static_assert(CarCount == wire::CarCount);
    static const std::array<Car, CarCount> catalogue{{
        car(0, "Brackwell", "Car1", "4675", "18/08/2002 12:11:20"),
        car(1, "DunMarr", "Car2", "4466", "18/08/2002 12:30:24"),
        car(2, "Skelder4", "Car3", "4938", "22/06/2000 11:47:58"),
        car(3, "Grelm", "Car4", "4646", "13/11/2000 16:03:20"),
        car(4, "Puddlewick", "Car5", "4747", "22/06/2000 11:47:54"),
        car(5, "OldGrist", "Car6", "4628", "06/09/2000 13:33:54"),
    }};
    return catalogue;
}

QStringList listEntries()
{
    QStringList entries;
    for (const Car& car : cars())
        entries << car.listEntry;
    return entries;
}

namespace {

const Car* carAt(int index)
{
    return index >= 0 ? &cars()[std::size_t(index)] : nullptr;
}

} // namespace

const Car* carOfDescriptorName(const QString& fileName)
{
    return carAt(wire::carOfPlainName(fileName.toStdString()));
}

DescriptorName descriptorNameOf(QByteArrayView fileName)
{
    const wire::DescriptorName name = wire::descriptorNameOf(WireBytes::view(fileName));
    return {carAt(name.car), name.arrival, name.copy};
}

const Car* carNamed(const QString& listEntry)
{
    for (const Car& car : cars()) {
        if (listEntry.compare(car.listEntry, Qt::CaseInsensitive) == 0)
            return &car;
    }
    return nullptr;
}

} // namespace CarCatalogue
