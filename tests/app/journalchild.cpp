// A window recording as fast as readings can be fed to it, for the crash
// test to kill: every reading goes through the window's real recording path,
// and each row the table shows is printed, tab-separated, as it appears.
// Argument: the settings file. XDG_DATA_HOME chooses the journal folder.
#include "dmmdata.h"
#include "testrecords.h"
#include "widget.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QTimer>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dmmpanel"));
    Widget window(nullptr, QString::fromLocal8Bit(argc > 1 ? argv[1] : ""));
    window.show();
    const QAbstractItemModel *table = window.findChild<QTableView *>(QStringLiteral("tv"))->model();
    QObject::connect(table, &QAbstractItemModel::rowsInserted, [table](const QModelIndex &, int first, int last) {
        for (int row = first; row <= last; ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << table->index(row, column).data().toString();
            const QByteArray line = cells.join(QLatin1Char('\t')).toUtf8() + '\n';
            if (::write(STDOUT_FILENO, line.constData(), size_t(line.size())) != line.size())
                std::abort();
        }
    });
    QMetaObject::invokeMethod(&window, "on_actionStart_triggered", Qt::DirectConnection);

    int n = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        for (int i = 0; i < 20; ++i, ++n) {
            std::unique_ptr<DmmData> record = baseline();
            record->time = QDateTime::currentDateTime();
            ChannelData &ch1 = *record->channels[0];
            ch1.values[0] = n * 1.25e-6;
            ch1.valueTexts[0] = QString::number(n * 1.25e-3, 'f', 3);
            ch1.valueModes[0] = n % 97 == 5 ? DmmData::ValueOverload : DmmData::ValueNormal;
            show(&window, std::move(record));
        }
    });
    feed.start(0);
    return app.exec();
}
