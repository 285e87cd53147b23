// Turns the Markdown manual into a PDF with Qt's own text layout:
//     manualpdf INPUT.md OUTPUT.pdf
// Pictures are read relative to INPUT.md and shrunk to the text width.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <QTextTable>
#include <QUrl>

#include <cstdio>

namespace {

// Printing a document adds margins of 2 cm inside the page and puts the page
// number into the bottom one.
constexpr qreal PrintMarginInches = 2 / 2.54;

// Loads every picture into the document, fitted into `width` (in the
// document's pixels) with its proportions kept: printing lays out a copy of
// the document, which takes the loaded pictures along but reads no files.
bool loadPictures(QTextDocument &document, const QString &baseDir, qreal width)
{
    bool allRead = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString path = QDir(baseDir).absoluteFilePath(format.name());
            const QImage image(path);
            if (image.isNull()) {
                std::fprintf(stderr, "manualpdf: cannot read the picture %s\n", qPrintable(path));
                allRead = false;
                continue;
            }
            document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
            const qreal scale = qMin<qreal>(1.0, width / image.width());
            format.setWidth(image.width() * scale);
            format.setHeight(image.height() * scale);
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return allRead;
}

// Tables with single thin rules and some room in the cells.
void styleTables(QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextTable *table = QTextCursor(block).currentTable();
        if (!table || table->firstPosition() != block.position())
            continue;
        QTextTableFormat format = table->format();
        format.setBorderCollapse(true);
        format.setBorder(0.5);
        format.setBorderBrush(Qt::darkGray);
        format.setCellPadding(3);
        format.setCellSpacing(0);
        table->setFormat(format);
    }
}

// Code, spans and blocks, in a fixed-pitch face. The Markdown reader gives
// code, and nothing else, the system's fixed-pitch family, which without a
// display is the ordinary one.
void setCodeFont(QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (!format.hasProperty(QTextFormat::FontFamily) || format.isImageFormat())
                continue;
            format.setFontFamily(QStringLiteral("DejaVu Sans Mono"));
            format.setFontPointSize(document.defaultFont().pointSizeF() * 0.9);
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Text layout needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: manualpdf INPUT.md OUTPUT.pdf\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    QFile source(input);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "manualpdf: cannot read %s\n", qPrintable(input));
        return 1;
    }
    QTextStream stream(&source);
    stream.setCodec("UTF-8");
    const QString markdown = stream.readAll();

    QPdfWriter writer(output);
    writer.setTitle(QStringLiteral("Software User Manual"));
    writer.setCreator(QStringLiteral("dmmpanel"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9.5);
    document.setDefaultFont(font);
    const QString baseDir = QFileInfo(input).absolutePath();
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);

    // The document is laid out in screen pixels and scaled to the page.
    const qreal textWidthInches = writer.pageLayout().paintRect(QPageLayout::Inch).width() - 2 * PrintMarginInches;
    const qreal pixelsPerInch = app.primaryScreen() ? app.primaryScreen()->logicalDotsPerInchX() : 96;
    if (!loadPictures(document, baseDir, textWidthInches * pixelsPerInch * 0.95))
        return 1;
    setCodeFont(document);
    styleTables(document);
    document.print(&writer);
    if (!QFileInfo(output).isFile()) {
        std::fprintf(stderr, "manualpdf: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
