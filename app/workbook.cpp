#include "workbook.h"

#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QXmlStreamWriter>

#include <algorithm>
#include <set>

bool CellRange::contains(int row, int column) const
{
    return row >= top && row <= bottom && column >= left && column <= right;
}

bool CellRange::operator==(const CellRange &other) const
{
    return top == other.top && left == other.left && bottom == other.bottom && right == other.right;
}

namespace {

// "B3" into 0-based row and column.
bool parseCell(const QString &text, int *row, int *column)
{
    static const QRegularExpression cell(QStringLiteral("^([A-Z]{1,2})([1-9][0-9]{0,4})$"));
    const QRegularExpressionMatch match = cell.match(text);
    if (!match.hasMatch())
        return false;
    int letters = 0;
    for (QChar c : match.captured(1))
        letters = letters * 26 + (c.unicode() - 'A' + 1);
    *column = letters - 1;
    *row = match.captured(2).toInt() - 1;
    return *column < Sheet::MaxColumns && *row < Sheet::MaxRows;
}

} // namespace

bool CellRange::parse(const QString &text, CellRange *range)
{
    const QStringList corners = text.split(QLatin1Char(':'));
    if (corners.size() > 2)
        return false;
    CellRange parsed;
    if (!parseCell(corners.first(), &parsed.top, &parsed.left) || !parseCell(corners.last(), &parsed.bottom, &parsed.right))
        return false;
    // A range may end one row above its start (no rows), never further.
    if (parsed.right < parsed.left || parsed.bottom < parsed.top - 1)
        return false;
    *range = parsed;
    return true;
}

bool CellStyle::operator==(const CellStyle &other) const
{
    return horizontal == other.horizontal && vertical == other.vertical && wrap == other.wrap
           && numberFormat == other.numberFormat && bottomBorder == other.bottomBorder;
}

uint qHash(const CellStyle &style, uint seed)
{
    return ::qHash(style.numberFormat, seed) ^ uint(style.horizontal) ^ (uint(style.vertical) << 8)
           ^ (uint(style.wrap) << 16) ^ style.bottomBorder.rgba();
}

void Sheet::setCell(int row, int column, const QVariant &value)
{
    if (rows.size() <= row)
        rows.resize(row + 1);
    QVariantList &cells = rows[row];
    while (cells.size() <= column)
        cells.append(QVariant());
    cells[column] = value;
}

void Sheet::setBlock(const CellRange &range, const QVariantList &values)
{
    if (values.isEmpty())
        return;
    const int last = range.top + values.size() - 1;
    if (rows.size() <= last)
        rows.resize(last + 1);
    for (int i = 0; i < values.size(); ++i) {
        QVariantList cells = values[i].toList();
        QVariantList &row = rows[range.top + i];
        if (range.left == 0 && row.isEmpty()) {
            row = std::move(cells); // the usual case: shares the caller's list
            continue;
        }
        while (row.size() < range.left + cells.size())
            row.append(QVariant());
        std::copy(cells.cbegin(), cells.cend(), row.begin() + range.left);
    }
}

CellStyle Sheet::styleAt(int row, int column) const
{
    CellStyle style;
    for (const StyleRule &rule : styles) {
        if (!rule.area.contains(row, column))
            continue;
        switch (rule.property) {
        case StyleRule::Horizontal:
            style.horizontal = Qt::Alignment(rule.value.toInt());
            break;
        case StyleRule::Vertical:
            style.vertical = Qt::Alignment(rule.value.toInt());
            break;
        case StyleRule::Wrap:
            style.wrap = rule.value.toBool();
            break;
        case StyleRule::NumberFormat:
            style.numberFormat = rule.value.toString();
            break;
        case StyleRule::BottomBorder:
            style.bottomBorder = rule.value.value<QColor>();
            break;
        }
    }
    return style;
}

int Sheet::columnCount() const
{
    int count = stream ? streamArea.right + 1 : 0;
    for (const QVariantList &row : rows)
        count = qMax(count, row.size());
    for (const CellRange &merge : merges)
        count = qMax(count, merge.right + 1);
    return count;
}

int Sheet::rowCount() const
{
    int count = stream ? streamArea.bottom + 1 : 0;
    for (const CellRange &merge : merges)
        count = qMax(count, merge.bottom + 1);
    return qMax(count, rows.size());
}

namespace {

// One field of a date and time number format.
struct DateField
{
    enum Kind { Text, Year, Month, Day, Hours, Minutes, Seconds };
    Kind kind;
    bool isLong;
    QString text;
};

// The fields of a date/time format code such as "yyyy-MM-dd hh:mm:ss"; empty
// for any other code. "m" is minutes after hours or before seconds, as in
// the spreadsheet's own codes.
QVector<DateField> dateFields(const QString &code)
{
    QVector<DateField> fields;
    for (int i = 0; i < code.size();) {
        const QChar c = code[i].toLower();
        int run = 1;
        while (i + run < code.size() && code[i + run].toLower() == c)
            ++run;
        const bool isLong = run > 1;
        if (c == QLatin1Char('y'))
            fields.append({DateField::Year, run > 2, {}});
        else if (c == QLatin1Char('m'))
            fields.append({DateField::Month, isLong, {}});
        else if (c == QLatin1Char('d'))
            fields.append({DateField::Day, isLong, {}});
        else if (c == QLatin1Char('h'))
            fields.append({DateField::Hours, isLong, {}});
        else if (c == QLatin1Char('s'))
            fields.append({DateField::Seconds, isLong, {}});
        else if (c.isLetterOrNumber() || c == QLatin1Char('@') || c == QLatin1Char('#'))
            return {};
        else
            fields.append({DateField::Text, false, code.mid(i, run)});
        i += run;
    }
    const auto previousField = [&](int at) {
        for (int j = at - 1; j >= 0; --j)
            if (fields[j].kind != DateField::Text)
                return fields[j].kind;
        return DateField::Text;
    };
    const auto nextField = [&](int at) {
        for (int j = at + 1; j < fields.size(); ++j)
            if (fields[j].kind != DateField::Text)
                return fields[j].kind;
        return DateField::Text;
    };
    bool anyField = false;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].kind == DateField::Month
            && (previousField(i) == DateField::Hours || nextField(i) == DateField::Seconds))
            fields[i].kind = DateField::Minutes;
        anyField = anyField || fields[i].kind != DateField::Text;
    }
    return anyField ? fields : QVector<DateField>();
}

const QString TextFormat = QStringLiteral("@");
// Column widths of fitted columns: average character width of the default
// font and the cell margins; unfitted columns keep the spreadsheet default.
constexpr double CharWidthCm = 0.2;
constexpr double MarginCm = 0.3;
constexpr double DefaultWidthCm = 2.258;
// Characters of a width's number, leading zeros included: "0002.258"; a
// wider column is cut to the widest that fits.
constexpr int WidthDigits = 8;
constexpr double MaxWidthCm = 9999.999;

class FlatOdsWriter
{
public:
    FlatOdsWriter(const Workbook &book, QIODevice *out) : book(book), out(out), xml(out) {}

    bool write()
    {
        if (out->isSequential())
            return false;
        for (const Sheet &sheet : book.sheets)
            layouts.append(layout(sheet));
        xml.writeStartDocument();
        xml.writeStartElement(QStringLiteral("office:document"));
        const std::pair<const char *, const char *> namespaces[] = {
            {"office", "urn:oasis:names:tc:opendocument:xmlns:office:1.0"},
            {"style", "urn:oasis:names:tc:opendocument:xmlns:style:1.0"},
            {"text", "urn:oasis:names:tc:opendocument:xmlns:text:1.0"},
            {"table", "urn:oasis:names:tc:opendocument:xmlns:table:1.0"},
            {"fo", "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"},
            {"number", "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"}};
        for (const auto &ns : namespaces)
            xml.writeAttribute(QStringLiteral("xmlns:") + QLatin1String(ns.first), QLatin1String(ns.second));
        xml.writeAttribute(QStringLiteral("office:version"), QStringLiteral("1.2"));
        xml.writeAttribute(QStringLiteral("office:mimetype"),
                           QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"));
        writeStyles();
        xml.writeStartElement(QStringLiteral("office:body"));
        xml.writeStartElement(QStringLiteral("office:spreadsheet"));
        for (int i = 0; i < book.sheets.size(); ++i)
            if (!writeSheet(book.sheets[i], layouts[i]))
                return false;
        xml.writeEndDocument();
        return !xml.hasError() && fillInWidths();
    }

private:
    struct SheetLayout
    {
        int columns = 0;
        bool fit = false;
        QVector<int> widest; // characters, of fitted columns
        QVector<qint64> widthAt; // where each column's width stands in the file
        // Style per cell through row bands: rows from bandStart[i] on share bandStyles[i].
        QVector<int> bandStart;
        QVector<QVector<int>> bandStyles;
        // The style of each merged range's first cell: the range is drawn
        // with it, so it carries the border of the range's last row too.
        QVector<int> mergeStyles;
    };

    SheetLayout layout(const Sheet &sheet)
    {
        SheetLayout result;
        result.columns = sheet.columnCount();
        // Every row where the set of rules that touch it changes starts a band.
        std::set<int> starts{0};
        for (const StyleRule &rule : sheet.styles) {
            starts.insert(rule.area.top);
            starts.insert(rule.area.bottom + 1);
        }
        for (int start : starts) {
            if (start < 0)
                continue;
            QVector<int> styles(result.columns);
            for (int column = 0; column < result.columns; ++column)
                styles[column] = styleId(sheet.styleAt(start, column));
            result.bandStart.append(start);
            result.bandStyles.append(styles);
        }
        for (const CellRange &merge : sheet.merges) {
            CellStyle style = sheet.styleAt(merge.top, merge.left);
            style.bottomBorder = sheet.styleAt(merge.bottom, merge.left).bottomBorder;
            result.mergeStyles.append(styleId(style));
        }
        result.fit = sheet.fitColumns;
        result.widest.fill(0, result.columns);
        if (result.fit)
            fitColumns(sheet, &result);
        return result;
    }

    const QVector<int> &stylesOfRow(const SheetLayout &layout, int row) const
    {
        const auto next = std::upper_bound(layout.bandStart.cbegin(), layout.bandStart.cend(), row);
        return layout.bandStyles[int(next - layout.bandStart.cbegin()) - 1];
    }

    int styleId(const CellStyle &style)
    {
        const auto found = styleIds.constFind(style);
        if (found != styleIds.cend())
            return *found;
        styles.append(style);
        dateStyles.append(!dateFields(style.numberFormat).isEmpty());
        if (!style.numberFormat.isEmpty() && !numberStyles.contains(style.numberFormat))
            numberStyles.insert(style.numberFormat, numberStyles.size());
        return styleIds[style] = styles.size() - 1;
    }

    bool isDateStyle(int id) const
    {
        return dateStyles[id];
    }

    // Widest text of each column of the rows held, as the spreadsheet fits;
    // a merged range counts only when it lies within one column. Streamed
    // rows add theirs as they are written.
    void fitColumns(const Sheet &sheet, SheetLayout *layout)
    {
        for (int row = 0; row < sheet.rows.size(); ++row)
            if (!isStreamed(sheet, row))
                measure(sheet, *layout, row, sheet.rows[row], &layout->widest);
    }

    void measure(const Sheet &sheet, const SheetLayout &layout, int row, const QVariantList &cells,
                 QVector<int> *widest) const
    {
        const QVector<int> &rowStyles = stylesOfRow(layout, row);
        for (int column = 0; column < cells.size() && column < layout.columns; ++column) {
            if (isMerged(sheet, row, column))
                continue;
            (*widest)[column] = qMax((*widest)[column], dateCellLength(cells[column], rowStyles[column]));
        }
    }

    static bool isStreamed(const Sheet &sheet, int row)
    {
        return sheet.stream && row >= sheet.streamArea.top && row <= sheet.streamArea.bottom;
    }

    // The widths written at first are placeholders of a fixed length; the
    // fitted ones go over them once every row has been measured.
    static QString widthText(double cm)
    {
        return QStringLiteral("%1cm").arg(qMin(cm, MaxWidthCm), WidthDigits, 'f', 3, QLatin1Char('0'));
    }

    bool fillInWidths()
    {
        const qint64 end = out->pos();
        for (const SheetLayout &layout : qAsConst(layouts)) {
            if (!layout.fit)
                continue;
            for (int column = 0; column < layout.columns; ++column) {
                if (layout.widest[column] <= 0)
                    continue;
                const QByteArray text = widthText(layout.widest[column] * CharWidthCm + MarginCm).toLatin1();
                if (!out->seek(layout.widthAt[column]) || out->write(text) != text.size())
                    return false;
            }
        }
        return out->seek(end);
    }

    int dateCellLength(const QVariant &value, int style) const
    {
        if (isDateStyle(style) && value.type() == QVariant::DateTime)
            return styles[style].numberFormat.size();
        return value.toString().size();
    }

    static bool isMerged(const Sheet &sheet, int row, int column)
    {
        return std::any_of(sheet.merges.cbegin(), sheet.merges.cend(), [&](const CellRange &merge) {
            return merge.contains(row, column) && merge.right > merge.left;
        });
    }

    void writeStyles()
    {
        xml.writeStartElement(QStringLiteral("office:automatic-styles"));
        for (auto format = numberStyles.cbegin(); format != numberStyles.cend(); ++format)
            writeNumberStyle(format.key(), QStringLiteral("N%1").arg(format.value()));
        int sheetIndex = 0;
        for (SheetLayout &layout : layouts) {
            for (int column = 0; column < layout.columns; ++column) {
                xml.writeStartElement(QStringLiteral("style:style"));
                xml.writeAttribute(QStringLiteral("style:name"), columnStyleName(sheetIndex, column));
                xml.writeAttribute(QStringLiteral("style:family"), QStringLiteral("table-column"));
                xml.writeEmptyElement(QStringLiteral("style:table-column-properties"));
                const QString width = widthText(DefaultWidthCm);
                xml.writeAttribute(QStringLiteral("style:column-width"), width);
                // The writer has written up to the attribute's closing quote.
                layout.widthAt.append(out->pos() - 1 - width.size());
                xml.writeEndElement();
            }
            ++sheetIndex;
        }
        for (int id = 0; id < styles.size(); ++id)
            writeCellStyle(styles[id], id);
        xml.writeEndElement();
    }

    static QString columnStyleName(int sheet, int column)
    {
        return QStringLiteral("co%1_%2").arg(sheet).arg(column);
    }

    static QString cellStyleName(int id)
    {
        return QStringLiteral("ce%1").arg(id);
    }

    void writeNumberStyle(const QString &code, const QString &name)
    {
        if (code == TextFormat) {
            xml.writeStartElement(QStringLiteral("number:text-style"));
            xml.writeAttribute(QStringLiteral("style:name"), name);
            xml.writeEmptyElement(QStringLiteral("number:text-content"));
            xml.writeEndElement();
            return;
        }
        const QVector<DateField> fields = dateFields(code);
        if (fields.isEmpty())
            return; // a code we cannot express stays General
        static const char *const elements[] = {"number:text",  "number:year",    "number:month",  "number:day",
                                               "number:hours", "number:minutes", "number:seconds"};
        xml.writeStartElement(QStringLiteral("number:date-style"));
        xml.writeAttribute(QStringLiteral("style:name"), name);
        for (const DateField &field : fields) {
            const QString element = QLatin1String(elements[field.kind]);
            if (field.kind == DateField::Text) {
                xml.writeTextElement(element, field.text);
                continue;
            }
            xml.writeEmptyElement(element);
            xml.writeAttribute(QStringLiteral("number:style"), field.isLong ? QStringLiteral("long") : QStringLiteral("short"));
        }
        xml.writeEndElement();
    }

    void writeCellStyle(const CellStyle &style, int id)
    {
        xml.writeStartElement(QStringLiteral("style:style"));
        xml.writeAttribute(QStringLiteral("style:name"), cellStyleName(id));
        xml.writeAttribute(QStringLiteral("style:family"), QStringLiteral("table-cell"));
        if (style.numberFormat == TextFormat || dateStyles[id])
            xml.writeAttribute(QStringLiteral("style:data-style-name"),
                               QStringLiteral("N%1").arg(numberStyles.value(style.numberFormat)));
        xml.writeEmptyElement(QStringLiteral("style:table-cell-properties"));
        if (style.horizontal)
            xml.writeAttribute(QStringLiteral("style:text-align-source"), QStringLiteral("fix"));
        if (style.vertical) {
            const QString vertical = style.vertical == Qt::AlignTop        ? QStringLiteral("top")
                                     : style.vertical == Qt::AlignVCenter ? QStringLiteral("middle")
                                                                          : QStringLiteral("bottom");
            xml.writeAttribute(QStringLiteral("style:vertical-align"), vertical);
        }
        if (style.wrap)
            xml.writeAttribute(QStringLiteral("fo:wrap-option"), QStringLiteral("wrap"));
        if (style.bottomBorder.isValid())
            xml.writeAttribute(QStringLiteral("fo:border-bottom"),
                               QStringLiteral("0.74pt solid %1").arg(style.bottomBorder.name()));
        if (style.horizontal) {
            const QString horizontal = style.horizontal == Qt::AlignLeft      ? QStringLiteral("start")
                                       : style.horizontal == Qt::AlignHCenter ? QStringLiteral("center")
                                                                              : QStringLiteral("end");
            xml.writeEmptyElement(QStringLiteral("style:paragraph-properties"));
            xml.writeAttribute(QStringLiteral("fo:text-align"), horizontal);
        }
        xml.writeEndElement();
    }

    bool writeSheet(const Sheet &sheet, SheetLayout &layout)
    {
        xml.writeStartElement(QStringLiteral("table:table"));
        xml.writeAttribute(QStringLiteral("table:name"), sheet.name);
        const int sheetIndex = int(&layout - layouts.constData());
        // Each column's cells take the style of its last band unless they
        // name their own: the many data rows then carry no style names.
        const QVector<int> &columnDefaults = layout.bandStyles.last();
        for (int column = 0; column < layout.columns; ++column) {
            xml.writeEmptyElement(QStringLiteral("table:table-column"));
            xml.writeAttribute(QStringLiteral("table:style-name"), columnStyleName(sheetIndex, column));
            xml.writeAttribute(QStringLiteral("table:default-cell-style-name"), cellStyleName(columnDefaults[column]));
        }
        const int rowCount = sheet.rowCount();
        const QVariantList noCells;
        QVariantList streamed;
        for (int row = 0; row < rowCount; ++row) {
            const bool fromStream = isStreamed(sheet, row);
            if (fromStream) {
                QVariantList cells;
                if (!sheet.stream->row(row - sheet.streamArea.top, &cells))
                    return false;
                streamed = row < sheet.rows.size() ? sheet.rows[row] : QVariantList();
                while (streamed.size() < sheet.streamArea.left)
                    streamed.append(QVariant());
                const int width = sheet.streamArea.right - sheet.streamArea.left + 1;
                for (int i = 0; i < cells.size() && i < width; ++i) {
                    if (sheet.streamArea.left + i < streamed.size())
                        streamed[sheet.streamArea.left + i] = cells[i];
                    else
                        streamed.append(cells[i]);
                }
                if (layout.fit)
                    measure(sheet, layout, row, streamed, &layout.widest);
            }
            xml.writeStartElement(QStringLiteral("table:table-row"));
            const QVariantList &cells = fromStream ? streamed : row < sheet.rows.size() ? sheet.rows[row] : noCells;
            const QVector<int> &rowStyles = stylesOfRow(layout, row);
            for (int column = 0; column < layout.columns; ++column) {
                const int style = rowStyles[column];
                writeCell(sheet, layout, row, column, column < cells.size() ? cells[column] : QVariant(), style,
                          style != columnDefaults[column]);
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
        return true;
    }

    // A cell names its style only when it differs from its column's.
    void writeCell(const Sheet &sheet, const SheetLayout &layout, int row, int column, const QVariant &value,
                   int style, bool named)
    {
        const CellRange *merge = nullptr;
        for (int i = 0; i < sheet.merges.size(); ++i) {
            if (!sheet.merges[i].contains(row, column))
                continue;
            merge = &sheet.merges[i];
            if (row == merge->top && column == merge->left) {
                style = layout.mergeStyles[i];
                named = true;
            }
        }
        const bool covered = merge && (row != merge->top || column != merge->left);
        xml.writeStartElement(covered ? QStringLiteral("table:covered-table-cell") : QStringLiteral("table:table-cell"));
        if (named)
            xml.writeAttribute(QStringLiteral("table:style-name"), cellStyleName(style));
        if (covered) {
            xml.writeEndElement(); // a merged range shows its first cell only
            return;
        }
        if (merge) {
            xml.writeAttribute(QStringLiteral("table:number-rows-spanned"), QString::number(merge->bottom - merge->top + 1));
            xml.writeAttribute(QStringLiteral("table:number-columns-spanned"),
                               QString::number(merge->right - merge->left + 1));
        }
        writeValue(value);
        xml.writeEndElement();
    }

    void writeValue(const QVariant &value)
    {
        switch (value.type()) {
        case QVariant::Invalid:
            return;
        case QVariant::Int:
        case QVariant::UInt:
        case QVariant::LongLong:
        case QVariant::ULongLong:
        case QVariant::Double:
            xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("float"));
            xml.writeAttribute(QStringLiteral("office:value"), QString::number(value.toDouble(), 'g', 17));
            return;
        case QVariant::DateTime:
            xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("date"));
            xml.writeAttribute(QStringLiteral("office:date-value"),
                               value.toDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")));
            return;
        default:
            break;
        }
        const QString text = value.toString();
        if (text.isEmpty())
            return;
        xml.writeAttribute(QStringLiteral("office:value-type"), QStringLiteral("string"));
        writeText(text);
    }

    // Paragraphs keep every blank: blanks at either end or in a run are
    // written as space elements, as the format would drop them otherwise.
    void writeText(const QString &text)
    {
        for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
            xml.writeStartElement(QStringLiteral("text:p"));
            QString plain;
            for (int i = 0; i < paragraph.size(); ++i) {
                const QChar c = paragraph[i];
                if (c == QLatin1Char('\t')) {
                    xml.writeCharacters(plain);
                    plain.clear();
                    xml.writeEmptyElement(QStringLiteral("text:tab"));
                    continue;
                }
                if (c != QLatin1Char(' ')) {
                    plain.append(c);
                    continue;
                }
                int run = 1;
                while (i + run < paragraph.size() && paragraph[i + run] == QLatin1Char(' '))
                    ++run;
                if (run == 1 && i > 0 && i + 1 < paragraph.size()) {
                    plain.append(c);
                    continue;
                }
                xml.writeCharacters(plain);
                plain.clear();
                xml.writeEmptyElement(QStringLiteral("text:s"));
                xml.writeAttribute(QStringLiteral("text:c"), QString::number(run));
                i += run - 1;
            }
            xml.writeCharacters(plain);
            xml.writeEndElement();
        }
    }

    const Workbook &book;
    QIODevice *out;
    QXmlStreamWriter xml;
    QVector<SheetLayout> layouts;
    QVector<CellStyle> styles;
    QVector<bool> dateStyles; // by style id
    QHash<CellStyle, int> styleIds;
    QHash<QString, int> numberStyles; // format code -> N index
};

} // namespace

bool writeFlatOds(const Workbook &book, QIODevice *out)
{
    return FlatOdsWriter(book, out).write();
}
