#pragma once

#include <QString>
#include <QStringList>

// Where the user manual is looked for, in order: the working directory (as
// the program always did), the installed documentation folder, and the
// build tree's documentation folder, both found from the program's own.
class ManualLocation
{
public:
    static const QString FileName;

    ManualLocation();
    explicit ManualLocation(const QStringList &folders);

    QStringList folders() const;
    // The manual in the first folder that has it; empty when none has.
    QString find() const;

private:
    QStringList m_folders;
};
