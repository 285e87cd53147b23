#pragma once

#include <QString>

#include <functional>

struct Workbook;

// Saves a workbook as an .xls file through LibreOffice Calc, run headless as
// a child process with a private profile (a Calc the user has open does not
// interfere) and a time limit. Runs in the export's own thread: the child
// process is waited for in a local event loop there.
class XlsConverter
{
public:
    // The program `name` as found on PATH (or `name` itself when it is a
    // path to an executable); empty when there is none.
    static QString findProgram(const QString &name);
    // Time allowed for a workbook of that many rows.
    static int timeLimitFor(int rows);

    // `cancelled`, when given, is asked while the child runs: true ends it.
    XlsConverter(QString program, int timeLimitMs, std::function<bool()> cancelled = {});

    // True only when the .xls file was written whole at `path` (a temporary
    // name the export renames). The converter's files and profile are
    // removed in every case.
    bool save(const Workbook &book, const QString &path) const;

    // Removes the temporary folders of conversions whose program is gone (a
    // killed run leaves them behind). Folders of running programs stay.
    static void removeStaleWorkFolders();

private:
    bool convert(const QString &workDir, const QString &source) const;

    QString program;
    int timeLimitMs;
    std::function<bool()> cancelled;
};
