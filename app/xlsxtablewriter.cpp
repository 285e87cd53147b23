#include "xlsxtablewriter.h"

#include "dmmdata.h"
#include "engprefix.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr qint64 MsPerDay = 86400000;
// The spreadsheet's day number of 1970-01-01.
constexpr double EpochDay = 25569;
// Decimals a display shows at most; more are shown as that many.
constexpr int MaxDecimals = 12;

// libxlsxwriter writes each sheet's rows to a temporary file, deleted as
// soon as it is made, and closes it only as it saves the workbook. A workbook
// freed unsaved (Cancel) or whose saving failed (a full disk) leaves those
// files open: their space stays taken, and the disk full, until the program
// ends. Cancel closes them before the workbook is freed; after a failed save
// they are found by the descriptors they had.
struct SheetFile
{
    int descriptor;
    dev_t device;
    ino_t inode;

    // The still unsaved file of each sheet.
    static std::vector<SheetFile> of(lxw_workbook *book)
    {
        std::vector<SheetFile> files;
        lxw_worksheet *sheet = nullptr;
        LXW_FOREACH_WORKSHEET(sheet, book)
        {
            struct stat status;
            if (sheet->optimize_tmpfile && ::fstat(fileno(sheet->optimize_tmpfile), &status) == 0)
                files.push_back({fileno(sheet->optimize_tmpfile), status.st_dev, status.st_ino});
        }
        return files;
    }

    // Closes the file when the library left it open: its descriptor still
    // names the same deleted file.
    void closeIfLeftOpen() const
    {
        struct stat status;
        if (::fstat(descriptor, &status) == 0 && status.st_dev == device && status.st_ino == inode
            && status.st_nlink == 0)
            ::close(descriptor);
    }
};

QString word(const QString &title, int index)
{
    return title.split(QLatin1Char(' ')).value(index);
}

QString trueFalse(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

XlsxTableWriter::XlsxTableWriter() = default;

XlsxTableWriter::~XlsxTableWriter()
{
    cancel();
}

QStringList XlsxTableWriter::columnTitles(const QStringList &tableTitles)
{
    // Table columns 4 and 7 (line values) and 8 and 10 (frequencies) carry a unit.
    QStringList columns;
    for (int i = 0; i < tableTitles.size(); ++i) {
        columns << tableTitles[i];
        if (i == 4 || i == 7 || i == 8 || i == 10)
            columns << word(tableTitles[i], 0) + QLatin1Char(' ') + tr("Unit");
    }
    return columns;
}

bool XlsxTableWriter::start(const QString &path, const QStringList &tableTitles, qint64)
{
    titles = columnTitles(tableTitles);
    lastText.fill(QString(), titles.size());
    lastUtf8.fill(QByteArray(), titles.size());
    // Its own temporary files beside the target, where the space is meant to be.
    folder = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = folder.data();
    options.use_zip64 = LXW_TRUE;
    book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!book)
        return false;
    headerFormat = workbook_add_format(book);
    format_set_bold(headerFormat);
    format_set_align(headerFormat, LXW_ALIGN_CENTER);
    format_set_align(headerFormat, LXW_ALIGN_VERTICAL_CENTER);
    format_set_text_wrap(headerFormat);
    format_set_bottom(headerFormat, LXW_BORDER_THIN);
    timeFormat = workbook_add_format(book);
    format_set_num_format(timeFormat, "yyyy-mm-dd hh:mm:ss.000");
    numberFormats.fill(nullptr, MaxDecimals + 1);
    return addSheet();
}

// A new sheet with the header: a title of two words gives its first to the
// group above and its second to the row below; one word spans both rows. In
// constant memory a row is final once the next is begun, and a range is
// merged only while its last row is being written.
bool XlsxTableWriter::addSheet()
{
    sheet = workbook_add_worksheet(book, nullptr);
    if (!sheet)
        return false;
    sheetRow = 2;
    sheetRows = 0;
    struct Group
    {
        int first;
        int last;
        bool spansRows;
    };
    QVector<Group> groups;
    for (int column = 0; column < titles.size(); ++column) {
        const QString first = word(titles[column], 0);
        int last = column;
        const bool spansRows = word(titles[column], 1).isEmpty();
        while (!spansRows && last + 1 < titles.size() && word(titles[last + 1], 0) == first)
            ++last;
        groups.append({column, last, spansRows});
        column = last;
    }
    for (const Group &group : qAsConst(groups)) {
        const QByteArray title = word(titles[group.first], 0).toUtf8();
        if (group.spansRows || group.last == group.first)
            worksheet_write_string(sheet, 0, group.first, title.constData(), headerFormat);
        else
            worksheet_merge_range(sheet, 0, group.first, 0, group.last, title.constData(), headerFormat);
        for (int column = group.first; column <= group.last; ++column)
            worksheet_set_column(sheet, column, column, column == 1 ? 24 : 11, nullptr);
    }
    for (const Group &group : qAsConst(groups)) {
        if (group.spansRows) {
            // Writes the blank below; the title above stands either way.
            worksheet_merge_range(sheet, 0, group.first, 1, group.first,
                                  word(titles[group.first], 0).toUtf8().constData(), headerFormat);
            continue;
        }
        for (int column = group.first; column <= group.last; ++column)
            worksheet_write_string(sheet, 1, column, word(titles[column], 1).toUtf8().constData(), headerFormat);
    }
    worksheet_freeze_panes(sheet, 2, 0);
    return true;
}

lxw_format *XlsxTableWriter::numberFormat(int decimals)
{
    decimals = qBound(0, decimals, MaxDecimals);
    lxw_format *&format = numberFormats[decimals];
    if (!format) {
        format = workbook_add_format(book);
        const QByteArray code = decimals == 0 ? QByteArray("0") : "0." + QByteArray(decimals, '0');
        format_set_num_format(format, code.constData());
    }
    return format;
}

void XlsxTableWriter::writeText(int column, const QString &text)
{
    if (text.isEmpty())
        return;
    if (text != lastText[column]) {
        lastText[column] = text;
        lastUtf8[column] = text.toUtf8();
    }
    worksheet_write_string(sheet, sheetRow, column, lastUtf8[column].constData(), nullptr);
}

void XlsxTableWriter::writeShown(int column, const QString &text)
{
    if (const std::optional<EngPrefix::Fixed> shown = EngPrefix::readFixed(text))
        worksheet_write_number(sheet, sheetRow, column, shown->value, numberFormat(shown->decimals));
    else
        writeText(column, text.trimmed());
}

bool XlsxTableWriter::write(qint64 number, const DmmData &reading)
{
    if (sheetRows == RowsPerSheet && !addSheet())
        return false;
    worksheet_write_number(sheet, sheetRow, 0, double(number), nullptr);
    if (!reading.isStore && reading.time.isValid()) {
        // The wall-clock time shown, as the spreadsheet's days since its epoch.
        const qint64 msecs = reading.time.toMSecsSinceEpoch() + qint64(reading.time.offsetFromUtc()) * 1000;
        worksheet_write_number(sheet, sheetRow, 1, EpochDay + double(msecs) / MsPerDay, timeFormat);
    }
    int column = 2;
    for (int line = 0; line < 2; ++line) {
        const ChannelData &channel = *reading.lines[line]->channel;
        writeText(column++, channel.functions[line]);
        worksheet_write_number(sheet, sheetRow, column++, channel.number, nullptr);
        writeShown(column++, channel.valueTexts[line]);
        writeText(column++, channel.unitTexts[line]);
    }
    for (const ChannelData *channel : reading.channels) {
        if (!reading.isStore) {
            writeShown(column, channel->frequencyText);
            writeText(column + 1, channel->frequencyUnit);
        }
        writeText(column + 2, trueFalse(channel->floating));
        column += 3;
    }
    ++sheetRow;
    ++sheetRows;
    return true;
}

bool XlsxTableWriter::finish(const std::function<bool()> &)
{
    if (!book)
        return false;
    const std::vector<SheetFile> files = SheetFile::of(book);
    const lxw_error closed = workbook_close(book);
    book = nullptr;
    if (closed == LXW_NO_ERROR)
        return true;
    for (const SheetFile &file : files)
        file.closeIfLeftOpen();
    return false;
}

void XlsxTableWriter::cancel()
{
    if (!book)
        return;
    lxw_worksheet *sheet = nullptr;
    LXW_FOREACH_WORKSHEET(sheet, book)
    {
        if (sheet->optimize_tmpfile)
            std::fclose(sheet->optimize_tmpfile);
        sheet->optimize_tmpfile = sheet->file = nullptr;
    }
    lxw_workbook_free(book);
    book = nullptr;
}
