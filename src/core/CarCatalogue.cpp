#include "CarCatalogue.h"

namespace CarCatalogue {

const std::array<Car, CarCount>& cars()
{
    static const std::array<Car, CarCount> catalogue{{
        {QStringLiteral("Brackwell"), QStringLiteral("\\Brackwell\\BrackwellDescriptor.txt"),
         QStringLiteral("/BrackwellDescriptor.txt"), QStringLiteral("Car1"), QStringLiteral("4675"),
         QStringLiteral("18/08/2002 12:11:20")},
        {QStringLiteral("DunMarr"), QStringLiteral("\\DunMarr\\DunMarrDescriptor.txt"),
         QStringLiteral("/DunmarrDescriptor.txt"), QStringLiteral("Car2"), QStringLiteral("4466"),
         QStringLiteral("18/08/2002 12:30:24")},
        {QStringLiteral("Skelder4"), QStringLiteral("\\Skelder4\\Skelder4Descriptor.txt"),
         QStringLiteral("/Skelder4Descriptor.txt"), QStringLiteral("Car3"), QStringLiteral("4938"),
         QStringLiteral("22/06/2000 11:47:58")},
        {QStringLiteral("Grelm"), QStringLiteral("\\Grelm\\Grelmdescriptor.txt"), QStringLiteral("/Grelmdescriptor.txt"),
         QStringLiteral("Car4"), QStringLiteral("4646"), QStringLiteral("13/11/2000 16:03:20")},
        {QStringLiteral("Puddlewick"), QStringLiteral("\\Puddlewick\\Puddlewickdescriptor.txt"),
         QStringLiteral("/Puddlewickdescriptor.txt"), QStringLiteral("Car5"), QStringLiteral("4747"),
         QStringLiteral("22/06/2000 11:47:54")},
        {QStringLiteral("OldGrist"), QStringLiteral("\\OldGrist\\OldGristdescriptor.txt"),
         QStringLiteral("/OldGristdescriptor.txt"), QStringLiteral("Car6"), QStringLiteral("4628"),
         QStringLiteral("06/09/2000 13:33:54")},
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

const Car* carOfDescriptorName(const QString& fileName)
{
    for (const Car& car : cars()) {
        const QString inGame = car.descriptorPath.section(u'\\', -1);
        const QString received = car.receivedName.section(u'/', -1);
        if (fileName.compare(inGame, Qt::CaseInsensitive) == 0 || fileName.compare(received, Qt::CaseInsensitive) == 0)
            return &car;
    }
    return nullptr;
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
