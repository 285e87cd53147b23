// The same 10,000 recorded readings always give the same table texts, chart
// pictures and exported files, however an item keeps its readings. The
// outputs are compared by digest with tests/app/golden/outputs.txt; run with
// GOLDEN_WRITE=1 to write that file anew from what the program shows now.
#include "apptestsupport.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "testrecords.h"
#include "widget.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <cmath>
#include <ctime>

namespace {

constexpr int Readings = 10000;
constexpr int BlockRows = 1000;

// Reading i: two lines whose values, statuses, units, channels and
// frequencies change along the item, a spike, and a 45-minute gap. The
// functions stay: another function would start the item anew.
std::unique_ptr<DmmData> goldenReading(int i)
{
    auto record = baseline();
    const qint64 gapMs = i >= 6000 ? 45 * 60 * 1000 : 0;
    record->time = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 5)).addMSecs(i * 250LL + gapMs);
    ChannelData &ch1 = *record->channels[0];
    ChannelData &ch2 = *record->channels[1];
    if (i >= 8000 && i < 8500) // both lines on CH1
        record->lines[1]->channel = &ch1;
    ChannelData &second = *record->lines[1]->channel;
    // Autoranged to volts for a while; relative (below zero) for another.
    const bool volts = i >= 3000 && i < 4000;
    const bool relative = i >= 4000 && i < 5000;
    double v1 = volts ? 1.5 + 0.7 * std::sin(i / 40.0) : 0.012345 + 0.003 * std::sin(i / 50.0);
    if (relative)
        v1 -= 0.02;
    if (i == 4284)
        v1 = -0.035; // a spike
    ch1.values[0] = v1;
    ch1.valueTexts[0] = volts ? QString::number(v1, 'f', 4) : QString::number(v1 * 1000, 'f', 3);
    ch1.unitTexts[0] = volts ? QStringLiteral("V") : QStringLiteral("mV");
    if (i % 97 == 13) {
        ch1.valueModes[0] = DmmData::ValueOverload;
        ch1.values[0] = DmmData::OverloadSentinel;
        ch1.valueTexts[0] = QStringLiteral("OL");
    }

    const double v2 = 1.2 + 0.5 * std::cos(i / 200.0);
    second.functions[1] = QStringLiteral("VOLT");
    second.values[1] = v2;
    second.valueTexts[1] = QString::number(v2, 'f', 4);
    second.unitTexts[1] = QStringLiteral("V");
    if (i % 131 == 7) {
        second.valueModes[1] = DmmData::ValueLow;
        second.values[1] = DmmData::LowSentinel;
        second.valueTexts[1] = QStringLiteral("Lo");
    }

    ch1.frequency = 1000 + (i % 10) * 10;
    ch1.frequencyText = QString::number(ch1.frequency / 1000, 'f', 2);
    ch2.frequency = i % 7 == 0 ? 60 : 50;
    ch2.frequencyText = QString::number(ch2.frequency, 'f', 1);
    ch2.floating = (i / 1000) % 2 == 1;
    if (i >= 7000)
        ch1.rangeValue = QStringLiteral("380");
    record->lines[0]->relState = relative;
    return record;
}

QString digest(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Digests of one output: the lines of `text` in blocks of BlockRows, so that a
// difference is found near where it is.
void addBlocks(QMap<QString, QString> *outputs, const QString &name, const QStringList &lines)
{
    for (int first = 0; first < lines.size(); first += BlockRows)
        outputs->insert(QStringLiteral("%1.%2").arg(name).arg(first, 5, 10, QLatin1Char('0')),
                        digest(lines.mid(first, BlockRows).join(QLatin1Char('\n')).toUtf8()));
    outputs->insert(name + QStringLiteral(".lines"), QString::number(lines.size()));
}

QTableView *tableOf(Widget *w)
{
    return w->findChild<QTableView *>(QStringLiteral("tv"));
}

QStringList tableTexts(Widget *w)
{
    QStringList lines;
    const QTableWidget *overlay = tableOf(w)->findChild<QTableWidget *>();
    for (int row = 0; row < 2; ++row) {
        QStringList cells;
        for (int column = 0; column < overlay->columnCount(); ++column)
            cells << (overlay->item(row, column) ? overlay->item(row, column)->text() : QString());
        lines << cells.join(QLatin1Char('|'));
    }
    const QAbstractItemModel *model = tableOf(w)->model();
    QStringList titles;
    for (int column = 0; column < model->columnCount(); ++column)
        titles << model->headerData(column, Qt::Horizontal).toString();
    lines << titles.join(QLatin1Char('|'));
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            const QVariant text = model->index(row, column).data();
            cells << QStringLiteral("%1:%2").arg(QString::fromLatin1(text.typeName()), text.toString());
        }
        lines << cells.join(QLatin1Char('|'));
    }
    return lines;
}

QString pictureDigest(DMMChart *chart, const QString &name, const QString &keepIn)
{
    const QString path = keepIn + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!chart->savePicture(path))
        return QStringLiteral("no picture");
    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    return digest(QByteArray(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes())));
}

// The chart whole, zoomed to the middle (the gap and the shared channel in
// view) and to a few seconds, with the indicator at the mouse in two of them.
void addChart(QMap<QString, QString> *outputs, DMMChart *chart, const QString &keepIn)
{
    chart->resize(1000, 600); // an 800 x 440 plot
    const auto drag = [chart](int fromX, int toX) {
        QTest::mousePress(chart, Qt::LeftButton, {}, {fromX, 150});
        QMouseEvent move(QEvent::MouseMove, QPointF(toX, 400), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
        QTest::mouseRelease(chart, Qt::LeftButton, {}, {toX, 400});
    };
    const auto indicate = [chart](int x) {
        // Sent, not simulated: the chart is not on screen.
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 300), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
    };
    outputs->insert(QStringLiteral("chart.whole"), pictureDigest(chart, QStringLiteral("whole"), keepIn));
    indicate(100 + 346);
    outputs->insert(QStringLiteral("chart.whole.indicator"), pictureDigest(chart, QStringLiteral("whole-indicator"), keepIn));
    drag(100 + 300, 100 + 700);
    outputs->insert(QStringLiteral("chart.middle"), pictureDigest(chart, QStringLiteral("middle"), keepIn));
    drag(100 + 84, 100 + 88); // the spike, after an overload
    outputs->insert(QStringLiteral("chart.seconds"), pictureDigest(chart, QStringLiteral("seconds"), keepIn));
    indicate(100 + 410);
    outputs->insert(QStringLiteral("chart.seconds.indicator"),
                    pictureDigest(chart, QStringLiteral("seconds-indicator"), keepIn));
    drag(100 + 500, 100 + 200); // back to the whole item
}

// Exports the active item as `kind` ("rbCsv" or "rbTable") to `path`.
bool exportAs(Widget *w, const QString &kind, const QString &path)
{
    ModalAnswerer answerer;
    answerer.setDialogHandler([&](QDialog *dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            files->setDirectory(QFileInfo(path).absolutePath());
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
        } else {
            dialog->findChild<QRadioButton *>(kind)->setChecked(true);
        }
        dialog->accept();
    });
    QMetaObject::invokeMethod(w, "on_actionExport_triggered", Qt::DirectConnection);
    return QFile::exists(path);
}

// The CSV's column titles and rows; the comment lines carry the time of the export.
QStringList csvRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList rows;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.startsWith('#'))
            rows << QString::fromUtf8(line);
    return rows;
}

// The .xls read back by xlrd: every cell's text, kind and number format.
QStringList xlsRows(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(READXLS_SCRIPT), path});
    python.waitForFinished(300000);
    QStringList rows;
    for (const QJsonValue &sheet : QJsonDocument::fromJson(python.readAllStandardOutput()).array())
        for (const QJsonValue &row : sheet.toObject()[QStringLiteral("cells")].toArray())
            rows << QString::fromUtf8(QJsonDocument(row.toArray()).toJson(QJsonDocument::Compact));
    return rows;
}

QString goldenPath()
{
    return QStringLiteral(GOLDEN_DIR "/outputs.txt");
}

QMap<QString, QString> readGolden()
{
    QMap<QString, QString> outputs;
    QFile file(goldenPath());
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        for (const QByteArray &line : file.readAll().split('\n'))
            if (const int blank = line.indexOf(' '); blank > 0)
                outputs.insert(QString::fromUtf8(line.left(blank)), QString::fromUtf8(line.mid(blank + 1)));
    return outputs;
}

} // namespace

class TestGolden : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recordedItemShowsAndExportsAsBefore();

public slots:
    void ignore(const QUrl &) {}
};

void TestGolden::initTestCase()
{
    // The times shown are local times.
    qputenv("TZ", "UTC");
    tzset();
    // An exported file is not opened.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "ignore");
}

// The readings recorded live, then shown again after a switch to another
// item and back: both times the same outputs as the golden file.
void TestGolden::recordedItemShowsAndExportsAsBefore()
{
    NoKernelDevices noUsbDevices;
    QTemporaryDir dir;
    dir.setAutoRemove(false); // the pictures stay for a look when a digest differs
    WindowFixture fixture;
    Widget *w = fixture.window();
    auto *chart = w->findChild<DMMChart *>(QStringLiteral("chart"));
    QMetaObject::invokeMethod(w, "on_actionStart_triggered", Qt::DirectConnection);
    for (int i = 0; i < Readings; ++i)
        show(w, goldenReading(i));
    QCOMPARE(tableOf(w)->model()->rowCount(), Readings);

    QMap<QString, QString> live;
    addBlocks(&live, QStringLiteral("table"), tableTexts(w));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("live")));
    addChart(&live, chart, dir.filePath(QStringLiteral("live")));

    // Away to "Store Data" and back: the views are built from the item.
    auto *tree = w->findChild<QTreeView *>(QStringLiteral("tvItems"));
    for (const QModelIndex &index : {tree->model()->index(0, 0), tree->model()->index(0, 0, tree->model()->index(1, 0))}) {
        tree->setCurrentIndex(index);
        QMetaObject::invokeMethod(w, "on_actionItemSetToActive_triggered", Qt::DirectConnection);
    }
    QMap<QString, QString> shown;
    addBlocks(&shown, QStringLiteral("table"), tableTexts(w));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("shown")));
    addChart(&shown, chart, dir.filePath(QStringLiteral("shown")));
    QCOMPARE(shown, live);

    const QString csv = dir.filePath(QStringLiteral("golden.csv"));
    QVERIFY(exportAs(w, QStringLiteral("rbCsv"), csv));
    addBlocks(&shown, QStringLiteral("csv"), csvRows(csv));
    const QString xls = dir.filePath(QStringLiteral("golden.xls"));
    QVERIFY(exportAs(w, QStringLiteral("rbTable"), xls));
    addBlocks(&shown, QStringLiteral("xls"), xlsRows(xls));
    fixture.closeWindow();

    if (qEnvironmentVariableIsSet("GOLDEN_WRITE")) {
        QFile file(goldenPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        for (auto it = shown.cbegin(); it != shown.cend(); ++it)
            file.write((it.key() + QLatin1Char(' ') + it.value() + QLatin1Char('\n')).toUtf8());
        QSKIP("golden file written");
    }
    const QMap<QString, QString> golden = readGolden();
    QVERIFY2(!golden.isEmpty(), qPrintable(goldenPath()));
    for (auto it = golden.cbegin(); it != golden.cend(); ++it)
        QVERIFY2(shown.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1 differs; the pictures are in %2").arg(it.key(), dir.path())));
    QCOMPARE(shown.keys(), golden.keys());
    dir.setAutoRemove(true);
}

QTEST_MAIN(TestGolden)
#include "tst_golden.moc"
