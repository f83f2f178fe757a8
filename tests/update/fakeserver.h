#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// A download server for tests on 127.0.0.1, behaving as each case needs. It runs in a thread of
// its own, so it keeps answering while the test's thread is blocked (in a launcher's nested wait,
// or waiting for a launcher process to end).
class FakeServer {
public:
    enum Behaviour {
        Answer, // writes `response` after the request, then closes
        Silent, // accepts and reads, never answers
        HeadersOnly, // sends a header promising a body, then nothing
        Drip, // sends the header, then `response` as the body, one byte every 100 ms
        Flood, // sends a body of `floodSize` bytes as fast as the peer takes it
        CloseMidBody, // promises a longer body, sends `response`, closes
        Stream, // sends `response` again and again, without end, as fast as the peer takes it
    };

    // With `answerTogether` above 1, Answer holds every answer back until that many requests have
    // arrived, then sends them all at once, so that their clients go on in step.
    explicit FakeServer(Behaviour behaviour = Answer, const QByteArray& response = QByteArray(),
        qint64 floodSize = 0, int answerTogether = 1);
    ~FakeServer();

    bool isListening() const;
    quint16 port() const;
    // What CheckUpdate is pointed at: "http://127.0.0.1:<port>/sw".
    QString baseUrl() const;

    // The request target ("/sw/...") of every request received so far, in order.
    QList<QByteArray> requestTargets() const;
    // The complete request head of the first request (request line and header lines).
    QByteArray firstRequestHead() const;
    int connectionCount() const;
    qint64 bytesSent() const;

    // A complete HTTP/1.1 answer with a Content-Length and "Connection: close".
    static QByteArray httpResponse(int status, const QByteArray& reason, const QByteArray& body,
        const QByteArray& extraHeaders = QByteArray());
    // A port on 127.0.0.1 that nothing listens on (just released by a listener of our own).
    static quint16 refusedPort();

private:
    class Thread;
    std::unique_ptr<Thread> thread;
};
