#pragma once

#include <QColor>
#include <QString>
#include <QVariant>
#include <QVector>

class QIODevice;

// A block of cells, 0-based and inclusive; it has no rows when bottom < top.
struct CellRange
{
    int top = 0;
    int left = 0;
    int bottom = -1;
    int right = -1;

    bool contains(int row, int column) const;
    bool operator==(const CellRange &other) const;
    // "B3", "A1:L2" or "A3:L2" (no rows), within the .xls limits of 65,536
    // rows and 256 columns; false for anything else.
    static bool parse(const QString &text, CellRange *range);
};

// How a cell looks. Empty alignments mean the spreadsheet's default (by
// value horizontally, bottom vertically); an empty number format is General.
struct CellStyle
{
    Qt::Alignment horizontal;
    Qt::Alignment vertical;
    bool wrap = false;
    QString numberFormat;
    QColor bottomBorder; // invalid: no border

    bool operator==(const CellStyle &other) const;
};
uint qHash(const CellStyle &style, uint seed = 0);

// One setting given to every cell of a range.
struct StyleRule
{
    enum Property { Horizontal, Vertical, Wrap, NumberFormat, BottomBorder };
    CellRange area;
    Property property;
    QVariant value;
};

// Rows a sheet takes one at a time while its file is written, so that a
// large table is never held in memory as cells.
class RowSource
{
public:
    virtual ~RowSource() = default;
    // Fills `cells` with row `index` of the source (from 0); false stops the
    // writing (the rows changed, or the user cancelled).
    virtual bool row(int index, QVariantList *cells) = 0;
};
Q_DECLARE_METATYPE(RowSource *)

// One worksheet: values row by row, merged ranges, and the style settings in
// the order they were given (a later one wins).
struct Sheet
{
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;

    QString name;
    QVector<QVariantList> rows; // a short or missing row has empty cells
    QVector<CellRange> merges;
    QVector<StyleRule> styles;
    bool fitColumns = false;
    // Rows read from `stream` while the file is written, from the top-left
    // cell of `streamArea` on; they replace what `rows` holds there.
    RowSource *stream = nullptr;
    CellRange streamArea;

    void setCell(int row, int column, const QVariant &value);
    // Row lists into the range from its top-left cell on.
    void setBlock(const CellRange &range, const QVariantList &values);
    CellStyle styleAt(int row, int column) const;
    int columnCount() const;
    int rowCount() const;
};

struct Workbook
{
    QVector<Sheet> sheets;
};

// Writes the workbook as a flat OpenDocument spreadsheet (.fods) to `out`,
// which must allow seeking (the fitted column widths are filled in once the
// rows are written). A QDateTime cell is written as a date and time, to
// the second. False when writing failed or a row source stopped it.
bool writeFlatOds(const Workbook &book, QIODevice *out);
