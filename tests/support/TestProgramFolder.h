#pragma once

#include "SampleProgramFolder.h"

#include <QTemporaryDir>
#include <QTest>

// A program folder staged from the sample data set in a temporary folder.
class TestProgramFolder
{
public:
    TestProgramFolder()
    {
        QString error;
        m_staged = m_dir.isValid()
            && stageSampleProgramFolder(QStringLiteral(KESTRIX_SOURCE_DIR "/data"), m_dir.path(), &error);
        if (!m_staged)
            qWarning("staging failed: %s", qPrintable(error));
    }

    bool isValid() const { return m_staged; }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.path() + u'/' + name; }
    static QString dataFile(const QString& name) { return QStringLiteral(KESTRIX_SOURCE_DIR "/data/") + name; }

private:
    QTemporaryDir m_dir;
    bool m_staged = false;
};
