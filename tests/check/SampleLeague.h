#pragma once

#include "CarCatalogue.h"
#include "DescriptorCheck.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "SampleProgramFolder.h"

#include <QList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

// Verdicts made as kestrix-check makes them: a descriptor's bytes checked
// against the sample reference data, staged in a temporary program folder.
class SampleLeague
{
public:
    SampleLeague()
        : m_reference(m_dir.path())
    {
        std::vector<const Car*> cars;
        for (const Car& car : CarCatalogue::cars())
            cars.push_back(&car);
        if (!m_dir.isValid()
            || !stageSampleProgramFolder(QStringLiteral(KESTRIX_SOURCE_DIR "/data"), m_dir.path(), &m_error))
            return;
        m_store = m_reference.openStore(cars, &m_error);
        if (m_store)
            m_reference.loadGenuine(cars, *m_store);
    }

    bool isValid() const { return m_store != nullptr; }
    QString error() const { return m_error; }
    QString programFolder() const { return m_dir.path(); }

    static const Car& car(const char* listEntry) { return *CarCatalogue::carNamed(QString::fromLatin1(listEntry)); }

    const QByteArray& genuine(const Car& car) const { return m_reference.genuine(car)->bytes; }

    // Where a league keeps a player's descriptor of car.
    static QByteArray pathOf(const QByteArray& player, const Car& car)
    {
        return "league/" + player + "/Cars" + car.descriptorPath.toLatin1().replace('\\', '/');
    }

    // As checkDescriptor does it, a copy of the genuine descriptor takes its verdict unchecked.
    Verdict check(const QByteArray& player, const Car& car, const QByteArray& bytes) const
    {
        const GenuineDescriptor& genuine = *m_reference.genuine(car);
        Verdict verdict = bytes == genuine.bytes
            ? genuine.verdict
            : checkDescriptorBytes(QByteArray(), bytes, {&genuine}, m_reference.allGenuine(), *m_store);
        verdict.path = pathOf(player, car);
        verdict.player = player;
        return verdict;
    }

    static Verdict error(const QByteArray& player, const QByteArray& path, const QString& reason)
    {
        Verdict verdict;
        verdict.player = player;
        verdict.path = path;
        verdict.error = reason;
        return verdict;
    }

    // The genuine descriptor of car with its CR LF lines edited.
    QByteArray edited(const Car& car, const std::function<void(QList<QByteArray>&)>& edit) const
    {
        QList<QByteArray> lines = genuine(car).split('\n');
        lines.removeLast(); // after the last line end
        for (QByteArray& line : lines)
            line.chop(1);
        edit(lines);
        return lines.join("\r\n") + "\r\n";
    }

private:
    QTemporaryDir m_dir;
    ReferenceFolder m_reference;
    std::unique_ptr<ReferenceStore> m_store;
    QString m_error;
};
