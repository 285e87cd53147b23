#include "automationobject.h"

#include "xlsconverter.h"

#include <QColor>
#include <QDir>
#include <QHash>

namespace {

// A sheet handed to another call, such as Sheets' "Add".
struct SheetReference
{
    QString name;
};

} // namespace

Q_DECLARE_METATYPE(SheetReference)

namespace {

// Arguments up to the last one given.
QVariantList given(std::initializer_list<QVariant> arguments)
{
    QVariantList list(arguments);
    while (!list.isEmpty() && !list.last().isValid())
        list.removeLast();
    return list;
}

// The sheet name after the highest "SheetN" in use.
QString newSheetName(const Workbook &book)
{
    int highest = 0;
    for (const Sheet &sheet : book.sheets)
        if (sheet.name.startsWith(QLatin1String("Sheet")))
            highest = qMax(highest, sheet.name.mid(5).toInt());
    return QStringLiteral("Sheet%1").arg(highest + 1);
}

int sheetIndex(const Workbook &book, const QVariant &reference)
{
    if (!reference.canConvert<SheetReference>())
        return -1;
    const QString name = reference.value<SheetReference>().name;
    for (int i = 0; i < book.sheets.size(); ++i)
        if (book.sheets[i].name == name)
            return i;
    return -1;
}

} // namespace

struct AutomationObject::Session
{
    AutomationOptions options;
    QString program;                                 // found by setControl
    QVector<std::shared_ptr<Workbook>> workbooks;   // open ones; the last is active
};

AutomationObject::AutomationObject(AutomationOptions options)
    : kind(Kind::Unbound), session(std::make_shared<Session>())
{
    session->options = std::move(options);
}

AutomationObject::AutomationObject(Kind kind, AutomationObject *parent)
    : QObject(parent), kind(kind), session(parent->session), book(parent->book), sheetName(parent->sheetName)
{
}

AutomationObject::~AutomationObject() = default;

AutomationObject *AutomationObject::child(Kind childKind, const CellRange &range)
{
    auto *object = new AutomationObject(childKind, this);
    object->area = range;
    return object;
}

AutomationObject::Watcher AutomationObject::watcher;

bool AutomationObject::record(const char *call, const char *member, const QVariantList &arguments) const
{
    return !watcher || watcher(*this, call, member, arguments);
}

Sheet *AutomationObject::sheet() const
{
    if (!book)
        return nullptr;
    for (Sheet &candidate : book->sheets)
        if (candidate.name == sheetName)
            return &candidate;
    return nullptr;
}

bool AutomationObject::setControl(const QString &name)
{
    record("setControl", qPrintable(name), {});
    if (kind != Kind::Unbound || name != QLatin1String("Excel.Application"))
        return false;
    session->program = XlsConverter::findProgram(session->options.program);
    if (session->program.isEmpty())
        return false;
    kind = Kind::Application;
    return true;
}

QVariant AutomationObject::dynamicCall(const char *member, const QVariant &arg1, const QVariant &arg2,
                                       const QVariant &arg3, const QVariant &arg4, const QVariant &arg5,
                                       const QVariant &arg6)
{
    record("dynamicCall", member, given({arg1, arg2, arg3, arg4, arg5, arg6}));
    const QByteArray name(member);
    switch (kind) {
    case Kind::Application:
        if (name == "SetVisible(bool)")
            return true; // never shown
        if (name == "Quit(void)")
            session->workbooks.clear();
        break;
    case Kind::Workbooks:
        if (name == "Add") {
            auto added = std::make_shared<Workbook>();
            added->sheets.append(Sheet());
            added->sheets.last().name = QStringLiteral("Sheet1");
            session->workbooks.append(added);
        }
        break;
    case Kind::Workbook:
        if (name == "SaveAs(const QString &,int,QString,QString,bool,bool)")
            return saveAs(QDir::fromNativeSeparators(arg1.toString()), arg2.toInt());
        if (name == "Close(Boolean)")
            session->workbooks.removeOne(book); // never saved again
        break;
    case Kind::Range:
        if (name == "SetValue(const QString&)")
            return setRangeProperty("Value", arg1);
        if (name == "SetNumberFormat(const QString&)")
            return setRangeProperty("NumberFormat", arg1);
        break;
    case Kind::Columns:
        if (name == "AutoFit" && sheet())
            sheet()->fitColumns = true;
        break;
    default:
        break;
    }
    return QVariant();
}

AutomationObject *AutomationObject::querySubObject(const char *member, const QVariant &arg1, const QVariant &arg2)
{
    if (!record("querySubObject", member, given({arg1, arg2})))
        return nullptr;
    const QByteArray name(member);
    switch (kind) {
    case Kind::Application:
        if (name == "Workbooks")
            return child(Kind::Workbooks);
        if (name == "ActiveWorkBook" && !session->workbooks.isEmpty()) {
            AutomationObject *workbook = child(Kind::Workbook);
            workbook->book = session->workbooks.last();
            return workbook;
        }
        break;
    case Kind::Workbook:
        if (name == "Sheets")
            return child(Kind::Sheets);
        break;
    case Kind::Sheets:
        if (name == "Item(int)" && arg1.toInt() >= 1 && arg1.toInt() <= book->sheets.size()) {
            AutomationObject *item = child(Kind::Sheet);
            item->sheetName = book->sheets[arg1.toInt() - 1].name;
            return item;
        }
        if (name == "Add(QVariant,QVariant)") {
            // Before the sheet given first, after the one given second, or first.
            const int before = sheetIndex(*book, arg1);
            const int after = sheetIndex(*book, arg2);
            const int at = before >= 0 ? before : after >= 0 ? after + 1 : 0;
            Sheet added;
            added.name = newSheetName(*book);
            book->sheets.insert(at, added);
            AutomationObject *item = child(Kind::Sheet);
            item->sheetName = added.name;
            return item;
        }
        break;
    case Kind::Sheet: {
        CellRange range;
        if (name == "Range(const QString&)" && CellRange::parse(arg1.toString(), &range))
            return child(Kind::Range, range);
        const int row = arg1.toInt();
        const int column = arg2.toInt();
        if (name == "Cells(int,int)" && row >= 1 && row <= Sheet::MaxRows && column >= 1 && column <= Sheet::MaxColumns)
            return child(Kind::Range, {row - 1, column - 1, row - 1, column - 1});
        if (name == "UsedRange" && sheet())
            return child(Kind::Range, {0, 0, sheet()->rows.size() - 1, sheet()->columnCount() - 1});
        break;
    }
    case Kind::Range:
        if (name == "Borders(xlEdgeBottom)") // the range's last row only
            return child(Kind::Border, {area.bottom, area.left, area.bottom, area.right});
        if (name == "Columns")
            return child(Kind::Columns, area);
        break;
    default:
        break;
    }
    return nullptr;
}

bool AutomationObject::setProperty(const char *name, const QVariant &value)
{
    record("setProperty", name, {value});
    const QByteArray property(name);
    if (kind == Kind::Application)
        return property == "DisplayAlerts"; // this component never asks
    if (kind == Kind::Border && property == "Color" && sheet()) {
        sheet()->styles.append({area, StyleRule::BottomBorder, value.value<QColor>()});
        return true;
    }
    return kind == Kind::Range && setRangeProperty(property, value);
}

bool AutomationObject::setRangeProperty(const QByteArray &name, const QVariant &value)
{
    Sheet *target = sheet();
    if (!target)
        return false;
    if (name == "Value") {
        if (value.canConvert<RowSource *>()) {
            target->stream = value.value<RowSource *>();
            target->streamArea = area;
        } else if (value.type() == QVariant::List) {
            // Row lists from the top-left cell on, cut to the range.
            QVariantList rows = value.toList().mid(0, area.bottom - area.top + 1);
            const int width = area.right - area.left + 1;
            for (QVariant &row : rows)
                if (row.toList().size() > width)
                    row = row.toList().mid(0, width);
            target->setBlock(area, rows);
        } else {
            for (int row = area.top; row <= area.bottom; ++row)
                for (int column = area.left; column <= area.right; ++column)
                    target->setCell(row, column, value);
        }
        return true;
    }
    if (name == "MergeCells") {
        target->merges.removeAll(area);
        if (value.toBool())
            target->merges.append(area);
        return true;
    }
    if (name == "WrapText") {
        target->styles.append({area, StyleRule::Wrap, value.toBool()});
        return true;
    }
    if (name == "NumberFormat") {
        target->styles.append({area, StyleRule::NumberFormat, value.toString()});
        return true;
    }
    if (name == "HorizontalAlignment") {
        static const QHash<int, Qt::Alignment> horizontal{
            {XlGeneral, {}}, {XlCenter, Qt::AlignHCenter}, {XlLeft, Qt::AlignLeft}, {XlRight, Qt::AlignRight}};
        return addAlignment(target, StyleRule::Horizontal, horizontal, value.toInt());
    }
    if (name == "VerticalAlignment") {
        static const QHash<int, Qt::Alignment> vertical{
            {XlGeneral, {}}, {XlCenter, Qt::AlignVCenter}, {XlTop, Qt::AlignTop}, {XlBottom, Qt::AlignBottom}};
        return addAlignment(target, StyleRule::Vertical, vertical, value.toInt());
    }
    return false;
}

bool AutomationObject::addAlignment(Sheet *target, StyleRule::Property property,
                                    const QHash<int, Qt::Alignment> &known, int constant) const
{
    const auto found = known.constFind(constant);
    if (found == known.cend())
        return false;
    target->styles.append({area, property, int(*found)});
    return true;
}

QVariant AutomationObject::asVariant() const
{
    return kind == Kind::Sheet ? QVariant::fromValue(SheetReference{sheetName}) : QVariant();
}

bool AutomationObject::saveAs(const QString &path, int format) const
{
    if (format != XlNormal || !book)
        return false;
    int rows = 0;
    for (const Sheet &each : book->sheets)
        rows += each.rowCount();
    const int limit = session->options.timeLimitMs.value_or(XlsConverter::timeLimitFor(rows));
    return XlsConverter(session->program, limit, session->options.cancelled).save(*book, path);
}
