#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

// A download server on 127.0.0.1, in a thread of its own so that it serves while the test waits.
class TestServer {
public:
    enum Behaviour {
        Answer, // writes `response` after the request head, then closes
        Silent, // reads, never answers
        Stream, // writes `response`, then `chunk` again and again for as long as the peer reads
                // (no chunk: nothing more, and the connection stays open)
    };
    // With `answerTogether` above 1, answers are held back until that many requests have come.
    // With `tls`, every connection is TLS, with a certificate for 127.0.0.1 that the authority
    // tests/app/data/tls/ca.pem signed.
    explicit TestServer(Behaviour behaviour, const QByteArray& response = QByteArray(),
        const QByteArray& chunk = QByteArray(), int answerTogether = 1, bool tls = false);
    ~TestServer();

    quint16 port() const;
    QList<QByteArray> requestTargets() const; // "/sw/..." of every request so far
    int closedByPeer() const; // streams that the client ended

    static QByteArray http(int status, const QByteArray& body);
    static quint16 closedPort(); // nothing listens there

private:
    class Thread;
    std::unique_ptr<Thread> thread;
};
