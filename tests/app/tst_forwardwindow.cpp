// The window sending its journal on: "Send readings to" in the options
// dialog, a recording's readings arriving at an InfluxDB write endpoint that
// goes away and comes back (one message each in the message list), and the
// option kept in options.xml after the others.
#include "apptestsupport.h"
#include "dmmdata.h"
#include "modalanswerer.h"
#include "testrecords.h"
#include "widget.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// Just enough of InfluxDB's write endpoint: every request answered 204, the
// points of each counted.
class FakeInflux : public QObject
{
public:
    FakeInflux()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }

    bool listen(quint16 port = 0) { return server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return server.serverPort(); }
    // Gone: no more connections, and those open are dropped.
    void stop()
    {
        server.close();
        for (QTcpSocket *socket : server.findChildren<QTcpSocket *>())
            socket->abort();
    }

    QList<QByteArray> points;

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray &buffer = buffers[socket];
        buffer += socket->readAll();
        for (int headerEnd = buffer.indexOf("\r\n\r\n"); headerEnd >= 0; headerEnd = buffer.indexOf("\r\n\r\n")) {
            const QByteArray header = buffer.left(headerEnd).toLower();
            const int at = header.indexOf("content-length:");
            const int length = at < 0 ? 0 : header.mid(at + 15, header.indexOf('\r', at) - at - 15).trimmed().toInt();
            if (buffer.size() < headerEnd + 4 + length)
                return;
            points += buffer.mid(headerEnd + 4, length).split('\n');
            points.removeAll(QByteArray());
            buffer.remove(0, headerEnd + 4 + length);
            socket->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
        }
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> buffers;
};

int linesWith(const QListWidget *messages, const QString &text)
{
    int count = 0;
    for (int row = 0; row < messages->count(); ++row)
        count += messages->item(row)->text().contains(text) ? 1 : 0;
    return count;
}

void record(Widget *window, int from, int count)
{
    for (int n = from; n < from + count; ++n) {
        std::unique_ptr<DmmData> reading = baseline();
        reading->time = reading->time.addSecs(n);
        show(window, std::move(reading));
    }
}

} // namespace

class TestForwardWindow : public QObject
{
    Q_OBJECT
private slots:
    void sendsThroughAnOutage()
    {
        FakeInflux influx;
        QVERIFY(influx.listen());
        const QString url = QStringLiteral("http://127.0.0.1:%1/write?db=lab").arg(influx.port());
        WindowFixture fixture;
        Widget *window = fixture.window();
        {
            ModalAnswerer answerer;
            answerer.setDialogHandler([&](QDialog *dialog) {
                // Off at first, and only with the journal on.
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("editInflux"));
                QVERIFY(edit->text().isEmpty() && edit->isEnabled());
                dialog->findChild<QCheckBox *>(QStringLiteral("chkJournal"))->setChecked(false);
                QVERIFY(!edit->isEnabled());
                dialog->findChild<QCheckBox *>(QStringLiteral("chkJournal"))->setChecked(true);
                edit->setText(url);
                dialog->accept();
            });
            fixture.action("actionOption")->trigger();
            QCOMPARE(answerer.dialogCount(), 1);
        }
        QMetaObject::invokeMethod(window, "on_actionStart_triggered", Qt::DirectConnection);
        record(window, 0, 3);
        QTRY_COMPARE_WITH_TIMEOUT(influx.points.size(), 3, 20000);
        QVERIFY2(influx.points.first().startsWith("dmmpanel,meter="), influx.points.first().constData());

        const QListWidget *messages = window->findChild<QListWidget *>(QStringLiteral("listWidget"));
        const quint16 port = influx.port();
        influx.stop();
        record(window, 3, 2);
        QTRY_COMPARE_WITH_TIMEOUT(linesWith(messages, QStringLiteral("cannot be reached")), 1, 20000);
        QVERIFY(influx.listen(port));
        QTRY_COMPARE_WITH_TIMEOUT(influx.points.size(), 5, 30000);
        QCOMPARE(linesWith(messages, QStringLiteral("cannot be reached")), 1);
        QCOMPARE(linesWith(messages, QStringLiteral("reached again")), 1);
        fixture.closeWindow();

        QFile options(fixture.optionsPath());
        QVERIFY(options.open(QIODevice::ReadOnly));
        const QByteArray xml = options.readAll();
        QVERIFY2(xml.contains("<Reconnect>1</Reconnect>\n    <SendInflux>" + url.toUtf8().replace("&", "&amp;")
                              + "</SendInflux>\n    <SendMqtt></SendMqtt>\n"),
                 xml.constData());
    }
};

QTEST_MAIN(TestForwardWindow)
#include "tst_forwardwindow.moc"
