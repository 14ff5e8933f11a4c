#include "stubserver/StubServer.h"
#include "support/TestHttp.h"

#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestDevStub : public QObject
{
    Q_OBJECT

private slots:
    void server_forgetsTheHalfRequestOfAClientThatLeft()
    {
        // A client that hangs up halfway leaves no bytes behind for the next one; TCP
        // keeps the order, so the half request is read before the hang-up.
        StubServer server;
        server.route(u"/ok"_s, StubResponse::json("{}"));
        server.setRecordRequests(false);
        for (int i = 0; i < 40; ++i) {
            QTcpSocket quitter;
            quitter.connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(quitter.waitForConnected(5000));
            quitter.write("GET /half HTTP/1.1\r\nHost: 127.0.0.1\r\n");
            QVERIFY(quitter.waitForBytesWritten(5000));
            quitter.disconnectFromHost();
            QCOMPARE(testHttp("GET", server.baseUrl() + u"/ok"_s).status, 200);
        }
        QVERIFY(server.requests().isEmpty());

        StubServer second(server.port()); // the port is taken
        QVERIFY(!second.isListening());
        QVERIFY(!second.errorString().isEmpty());
    }
};

QTEST_MAIN(TestDevStub)
#include "tst_devstub.moc"
