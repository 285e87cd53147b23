#include "manuallocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

const QString ManualLocation::FileName = QStringLiteral("Software User Manual.pdf");

ManualLocation::ManualLocation()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    m_folders << QDir::currentPath()
              << QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral(DMMPANEL_INSTALLED_DOC_DIR)))
              << QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral(DMMPANEL_BUILD_DOC_DIR)));
}

ManualLocation::ManualLocation(const QStringList &folders) : m_folders(folders) {}

QStringList ManualLocation::folders() const
{
    return m_folders;
}

QString ManualLocation::find() const
{
    for (const QString &folder : m_folders) {
        const QString path = QDir(folder).absoluteFilePath(FileName);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}
