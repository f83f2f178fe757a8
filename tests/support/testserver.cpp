#include "testserver.h"

#include <QFile>
#include <QMutex>
#include <QPointer>
#include <QSemaphore>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

namespace {

// With a certificate, every connection is TLS: the certificate of tests/app/data/tls, which its
// authority signed for 127.0.0.1.
class Server : public QTcpServer {
public:
    QSslCertificate certificate;
    QSslKey key;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (certificate.isNull())
            return QTcpServer::incomingConnection(descriptor);
        auto* socket = new QSslSocket(this);
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        socket->setSocketDescriptor(descriptor);
        addPendingConnection(socket);
        socket->startServerEncryption();
    }
};

QByteArray fileContents(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestServer::Thread : public QThread {
public:
    bool tls = false;
    Behaviour behaviour;
    QByteArray response, chunk;
    int answerTogether;
    QSemaphore ready;
    std::atomic<quint16> port { 0 };
    std::atomic<int> closedByPeer { 0 };
    mutable QMutex mutex;
    QList<QByteArray> targets;
    QList<QPointer<QTcpSocket>> waiting;

    void run() override
    {
        Server server;
#ifndef QT_NO_SSL
        if (tls) {
            server.certificate = QSslCertificate(fileContents(TLS_DATA "/server.pem"));
            server.key = QSslKey(fileContents(TLS_DATA "/server.key"), QSsl::Rsa);
        }
#endif
        port = server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
        ready.release();
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                QObject::connect(socket, &QIODevice::readyRead, [=] { received(socket); });
        });
        exec();
    }

    void received(QTcpSocket* socket)
    {
        const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
        socket->setProperty("head", head);
        if (!head.endsWith("\r\n\r\n") || head.count("\r\n\r\n") > 1)
            return;
        {
            QMutexLocker lock(&mutex);
            targets << head.split(' ').value(1);
        }
        waiting << socket;
        if (waiting.size() < answerTogether)
            return;
        for (const QPointer<QTcpSocket>& next : qAsConst(waiting))
            if (next && behaviour != Silent)
                respond(next);
        waiting.clear();
    }

    void respond(QTcpSocket* socket)
    {
        socket->write(response);
        if (behaviour == Answer)
            return socket->disconnectFromHost();
        if (chunk.isEmpty()) // the answer stops there, and the connection stays open
            return;
        auto more = [=] {
            while (socket->state() == QAbstractSocket::ConnectedState
                && socket->bytesToWrite() < 262144)
                socket->write(chunk);
        };
        QObject::connect(socket, &QIODevice::bytesWritten, more);
        QObject::connect(socket, &QAbstractSocket::disconnected, [this] { ++closedByPeer; });
        more();
    }
};

TestServer::TestServer(Behaviour behaviour, const QByteArray& response, const QByteArray& chunk,
    int answerTogether, bool tls)
    : thread(new Thread)
{
    thread->tls = tls;
    thread->behaviour = behaviour;
    thread->response = response;
    thread->chunk = chunk;
    thread->answerTogether = answerTogether;
    thread->start();
    thread->ready.acquire();
}

TestServer::~TestServer()
{
    thread->quit();
    thread->wait();
}

quint16 TestServer::port() const { return thread->port; }

QList<QByteArray> TestServer::requestTargets() const
{
    QMutexLocker lock(&thread->mutex);
    return thread->targets;
}

int TestServer::closedByPeer() const { return thread->closedByPeer; }

QByteArray TestServer::http(int status, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

quint16 TestServer::closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}
