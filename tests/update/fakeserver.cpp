#include "fakeserver.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>

class FakeServer::Thread : public QThread {
public:
    Thread(Behaviour behaviour, const QByteArray& response, qint64 floodSize, int answerTogether)
        : behaviour(behaviour)
        , response(response)
        , floodSize(floodSize)
        , answerTogether(answerTogether)
    {
    }

    void run() override;
    void serve(QTcpSocket* socket);
    void respond(QTcpSocket* socket);
    void flood(QTcpSocket* socket, qint64* sent);

    const Behaviour behaviour;
    const QByteArray response;
    const qint64 floodSize;
    const int answerTogether;
    QList<QPointer<QTcpSocket>> heldBack; // only touched on the server's thread

    QSemaphore ready;
    std::atomic<quint16> port { 0 };
    std::atomic<int> connections { 0 };
    std::atomic<qint64> sent { 0 };
    mutable QMutex mutex;
    QList<QByteArray> heads;
};

void FakeServer::Thread::run()
{
    QTcpServer server;
    if (server.listen(QHostAddress::LocalHost, 0))
        port = server.serverPort();
    ready.release();
    if (!server.isListening())
        return;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            serve(socket);
    });
    exec();
}

void FakeServer::Thread::serve(QTcpSocket* socket)
{
    ++connections;
    struct Request {
        QByteArray received;
        bool answered = false;
    };
    auto* request = new Request;
    QObject::connect(socket, &QObject::destroyed, [request] { delete request; });
    QObject::connect(socket, &QIODevice::readyRead, socket, [this, socket, request] {
        const QByteArray data = socket->readAll();
        if (request->answered)
            return;
        request->received += data;
        const int end = request->received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        request->answered = true;
        {
            QMutexLocker lock(&mutex);
            heads << request->received.left(end);
        }
        if (behaviour != Answer || answerTogether <= 1) {
            respond(socket);
            return;
        }
        heldBack << socket;
        if (heldBack.size() < answerTogether)
            return;
        for (const QPointer<QTcpSocket>& held : qAsConst(heldBack)) {
            if (held)
                respond(held);
        }
        heldBack.clear();
    });
}

static QByteArray header(qint64 length)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
        + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
}

void FakeServer::Thread::respond(QTcpSocket* socket)
{
    switch (behaviour) {
    case Answer:
        sent += socket->write(response);
        socket->disconnectFromHost();
        break;
    case Silent:
        break;
    case HeadersOnly:
        sent += socket->write(header(1000));
        break;
    case Drip: {
        sent += socket->write(header(response.size()));
        auto* timer = new QTimer(socket);
        auto* position = new int(0);
        QObject::connect(timer, &QObject::destroyed, [position] { delete position; });
        QObject::connect(timer, &QTimer::timeout, socket, [this, socket, timer, position] {
            if (*position >= response.size()) {
                timer->stop();
                return;
            }
            sent += socket->write(response.mid((*position)++, 1));
        });
        timer->start(100);
        break;
    }
    case Flood: {
        sent += socket->write(header(floodSize));
        auto* bodySent = new qint64(0);
        QObject::connect(socket, &QObject::destroyed, [bodySent] { delete bodySent; });
        QObject::connect(socket, &QIODevice::bytesWritten, socket,
            [this, socket, bodySent] { flood(socket, bodySent); });
        flood(socket, bodySent);
        break;
    }
    case Stream: {
        QObject::connect(socket, &QIODevice::bytesWritten, socket, [this, socket] {
            while (socket->state() == QAbstractSocket::ConnectedState
                && socket->bytesToWrite() < 1024 * 1024)
                sent += socket->write(response);
        });
        sent += socket->write(response);
        break;
    }
    case CloseMidBody:
        sent += socket->write(header(response.size() + 1000) + response);
        socket->disconnectFromHost();
        break;
    }
}

// Keeps about 1 MiB queued, so the flood goes as fast as the peer reads without the server
// holding the whole body.
void FakeServer::Thread::flood(QTcpSocket* socket, qint64* bodySent)
{
    static const QByteArray chunk = [] {
        const QByteArray entries = "new_version=9.9\r\nurl=http://flood.example/\r\n";
        QByteArray data;
        while (data.size() < 256 * 1024)
            data += entries;
        return data;
    }();
    while (*bodySent < floodSize && socket->state() == QAbstractSocket::ConnectedState
        && socket->bytesToWrite() < 1024 * 1024) {
        const QByteArray piece = chunk.left(int(qMin<qint64>(chunk.size(), floodSize - *bodySent)));
        *bodySent += piece.size();
        sent += socket->write(piece);
    }
}

FakeServer::FakeServer(
    Behaviour behaviour, const QByteArray& response, qint64 floodSize, int answerTogether)
    : thread(new Thread(behaviour, response, floodSize, answerTogether))
{
    thread->start();
    thread->ready.acquire();
}

FakeServer::~FakeServer()
{
    thread->quit();
    thread->wait();
}

bool FakeServer::isListening() const { return thread->port != 0; }

quint16 FakeServer::port() const { return thread->port; }

QString FakeServer::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/sw").arg(port()); }

QList<QByteArray> FakeServer::requestTargets() const
{
    QMutexLocker lock(&thread->mutex);
    QList<QByteArray> targets;
    for (const QByteArray& head : qAsConst(thread->heads)) {
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        targets << (requestLine.size() == 3 ? requestLine.at(1) : head);
    }
    return targets;
}

QByteArray FakeServer::firstRequestHead() const
{
    QMutexLocker lock(&thread->mutex);
    return thread->heads.value(0);
}

int FakeServer::connectionCount() const { return thread->connections; }

qint64 FakeServer::bytesSent() const { return thread->sent; }

QByteArray FakeServer::httpResponse(
    int status, const QByteArray& reason, const QByteArray& body, const QByteArray& extraHeaders)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
        + "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

quint16 FakeServer::refusedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}
