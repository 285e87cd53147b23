// Turns the Markdown manual into a PDF with Qt's own text layout:
//     manualpdf INPUT.md OUTPUT.pdf
// Pictures are looked up beside INPUT.md and shrunk to the text width.

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>

#include <cstdio>

namespace {

const QMarginsF PageMargins(18, 16, 18, 16); // millimetres

// Fits every picture into `width` (in the document's pixels), keeping its
// proportions; a picture that cannot be read is reported and left alone.
bool fitPictures(QTextDocument &document, const QString &baseDir, qreal width)
{
    bool allRead = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QString path = QUrl(image.name()).isRelative() ? baseDir + '/' + image.name() : image.name();
            const QSize size = QImageReader(path).size();
            if (!size.isValid()) {
                std::fprintf(stderr, "manualpdf: cannot read the picture %s\n", qPrintable(path));
                allRead = false;
                continue;
            }
            const qreal scale = qMin<qreal>(1.0, width / size.width());
            image.setWidth(size.width() * scale);
            image.setHeight(size.height() * scale);
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    return allRead;
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
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, PageMargins,
                                     QPageLayout::Millimeter));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9.5);
    document.setDefaultFont(font);
    const QString baseDir = QFileInfo(input).absolutePath();
    document.setBaseUrl(QUrl::fromLocalFile(baseDir + '/'));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);

    // The document is laid out in screen pixels and scaled to the page.
    const qreal textWidthInches = writer.pageLayout().paintRect(QPageLayout::Inch).width();
    const qreal pixelsPerInch = app.primaryScreen() ? app.primaryScreen()->logicalDotsPerInchX() : 96;
    if (!fitPictures(document, baseDir, textWidthInches * pixelsPerInch * 0.95))
        return 1;
    document.print(&writer);
    if (!QFileInfo(output).isFile()) {
        std::fprintf(stderr, "manualpdf: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
