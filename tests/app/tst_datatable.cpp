// The data table: every column's text for a live and a stored reading, the
// model's notifications, and the two-row header scrolling with the table.
#include "datamodel.h"
#include "dmmdata.h"
#include "readingstore.h"
#include "tdmsummarytablewgt.h"
#include "testrecords.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

class TestDataTable : public QObject
{
    Q_OBJECT
private slots:
    void rowTexts_data();
    void rowTexts();
    void modelRequests();
    void headerScrollsWithTable();
};

void TestDataTable::rowTexts_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("live") << false
                          << QStringList{"2026-12-07 09:30:05", "VOLT", "1", "12.345 mV", "DBM", "2", "1.2000 ",
                                         "1.00 kHz", "False", "50.0 Hz", "True"};
    QTest::newRow("stored") << true
                            << QStringList{"", "VOLT", "1", "12.345 mV", "DBM", "2", "1.2000 ", "", "False", "",
                                           "True"};
}

void TestDataTable::rowTexts()
{
    QFETCH(bool, stored);
    QFETCH(QStringList, texts);

    auto record = baseline();
    record->isStore = stored;
    record->channels[1]->functions[1] = QStringLiteral("DBM");
    record->channels[1]->unitTexts[1] = QString(); // the blank stays
    record->channels[1]->floating = true;
    auto store = std::make_shared<ReadingStore>();
    for (int i = 0; i < 10; ++i)
        store->append(*record);
    DataModel model(dataColumns());
    model.show(store);

    QCOMPARE(model.columnCount(), 12);
    // Column 0 is the row's number as an integer.
    const QVariant number = model.index(9, 0).data();
    QCOMPARE(number.userType(), int(QMetaType::Int));
    QCOMPARE(number.toInt(), 10);
    for (int column = 1; column < 12; ++column)
        QCOMPARE(model.index(9, column).data().toString(), texts[column - 1]);
    QCOMPARE(model.index(9, 4).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QVERIFY(!model.index(9, 4).data(Qt::ToolTipRole).isValid());
    QVERIFY(!(model.index(9, 4).flags() & Qt::ItemIsEditable));
}

void TestDataTable::modelRequests()
{
    DataModel model(dataColumns());
    QSignalSpy removing(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
    model.clear();
    QCOMPARE(removing.count(), 0);

    QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Line1 Value"));
    QVERIFY(!model.headerData(4, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(4, Qt::Horizontal, Qt::ToolTipRole).isValid());
    QVERIFY(!model.headerData(12, Qt::Horizontal).isValid());

    // Rows follow the store as it grows; removed rows leave it alone.
    auto store = std::make_shared<ReadingStore>();
    auto record = baseline();
    model.show(store);
    for (int i = 0; i < 6; ++i) {
        record->channels[0]->valueTexts[0] = QString::number(i);
        store->append(*record);
    }
    QSignalSpy inserting(&model, &QAbstractItemModel::rowsInserted);
    model.setReadingCount(3);
    QVERIFY(!model.index(3, 0).data().isValid());
    QVERIFY(!model.removeRows(3, 1));
    QVERIFY(model.removeRows(1, 1));
    model.setReadingCount(6);
    QCOMPARE(inserting.count(), 2);
    QVERIFY(model.removeRows(3, 5)); // as many as exist
    const auto values = [&] {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts << model.index(row, 4).data().toString() + QLatin1Char('/') + model.record(row)->channels[0]->valueTexts[0];
        return texts;
    };
    QCOMPARE(values(), (QStringList{"0 mV/0", "2 mV/2", "3 mV/3"}));
    QCOMPARE(model.index(2, 0).data().toInt(), 3);
    model.clear();
    QCOMPARE(removing.count(), 3);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(store->count(), qint64(6));
}

void TestDataTable::headerScrollsWithTable()
{
    TDMSummaryTableWgt table;
    auto store = std::make_shared<ReadingStore>();
    store->append(*baseline());
    DataModel model(dataColumns());
    model.show(store);
    table.setModel(&model);
    table.setColumnWidths(TDMSummaryTableWgt::ColumnWidths);
    table.resize(300, 200);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));

    auto *header = table.findChild<QTableWidget *>();
    QVERIFY(header);
    QCOMPARE(header->rowCount(), 2);
    QCOMPARE(header->columnSpan(0, 2), 3);
    QCOMPARE(header->item(1, 4)->text(), QStringLiteral("Value"));
    QScrollBar *tableBar = table.horizontalScrollBar();
    QScrollBar *headerBar = header->horizontalScrollBar();
    QVERIFY(tableBar->maximum() > 100);
    tableBar->setValue(100);
    QCOMPARE(headerBar->value(), 100);
    headerBar->setValue(40);
    QCOMPARE(tableBar->value(), 40);
    // Both widths agree, so the titles stand over their columns.
    for (int column = 0; column < 12; ++column)
        QCOMPARE(header->columnWidth(column), table.columnWidth(column));
}

QTEST_MAIN(TestDataTable)
#include "tst_datatable.moc"
