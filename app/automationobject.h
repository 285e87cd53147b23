#pragma once

#include "workbook.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

// The spreadsheet's constants that the object understands.
constexpr int XlNormal = -4143; // workbook file format: .xls
constexpr int XlCenter = -4108;
constexpr int XlLeft = -4131;
constexpr int XlRight = -4152;
constexpr int XlTop = -4160;
constexpr int XlBottom = -4107;
constexpr int XlGeneral = 1;

// Where the spreadsheet application comes from and what it reports.
struct AutomationOptions
{
    QString program = QStringLiteral("soffice"); // name on PATH, or a path
    std::optional<int> timeLimitMs;               // by the workbook's size when unset
    std::function<bool()> cancelled;              // asked while SaveAs runs: true ends it
};

// The spreadsheet application as an automation object, called the way a
// desktop spreadsheet is automated: bound by `setControl`, then driven by
// member strings through `dynamicCall`, `querySubObject` and `setProperty`.
// Behind the calls the workbook is built in memory (a range's "Value" may be
// a RowSource: its rows are then written straight to the file); SaveAs in the .xls
// format (-4143) has LibreOffice Calc write it. "Excel.Application" binds
// only when Calc's `soffice` program is there.
//
// Every sub-object belongs to the object it was queried from, so deleting
// the application deletes them all.
class AutomationObject : public QObject
{
    Q_OBJECT
public:
    explicit AutomationObject(AutomationOptions options = AutomationOptions());
    ~AutomationObject() override;

    bool setControl(const QString &name);
    QVariant dynamicCall(const char *member, const QVariant &arg1 = QVariant(), const QVariant &arg2 = QVariant(),
                         const QVariant &arg3 = QVariant(), const QVariant &arg4 = QVariant(),
                         const QVariant &arg5 = QVariant(), const QVariant &arg6 = QVariant());
    // Null when the member names nothing this object has.
    AutomationObject *querySubObject(const char *member, const QVariant &arg1 = QVariant(),
                                     const QVariant &arg2 = QVariant());
    // The component's properties; hides QObject::setProperty on purpose.
    bool setProperty(const char *name, const QVariant &value);
    // This object as the argument of another call (a sheet for "Add").
    QVariant asVariant() const;

private:
    // The test seam: sees every call and may refuse a sub-object. Set only
    // by the tests' AutomationTrace.
    friend class AutomationTrace;
    using Watcher = std::function<bool(const AutomationObject &object, const char *call, const char *member,
                                       const QVariantList &arguments)>;
    static Watcher watcher;

    enum class Kind { Unbound, Application, Workbooks, Workbook, Sheets, Sheet, Range, Border, Columns };
    struct Session;

    AutomationObject(Kind kind, AutomationObject *parent);
    AutomationObject *child(Kind kind, const CellRange &area = CellRange());
    // False when the watcher refuses the call.
    bool record(const char *call, const char *member, const QVariantList &arguments) const;
    Sheet *sheet() const;
    bool setRangeProperty(const QByteArray &name, const QVariant &value);
    bool addAlignment(Sheet *target, StyleRule::Property property, const QHash<int, Qt::Alignment> &known,
                      int constant) const;
    bool saveAs(const QString &path, int format) const;

    Kind kind;
    std::shared_ptr<Session> session;
    std::shared_ptr<Workbook> book; // from the workbook down
    QString sheetName;              // from the sheet down
    CellRange area;                 // ranges, borders and columns
};
