#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

// A tiny HTTP server on 127.0.0.1 for the tests: each path gets a canned answer.
class LoopbackHttp : public QTcpServer
{
public:
    enum class Mode {
        Respond, // send the answer and close
        Silent, // accept and never answer
        Endless, // send the answer, then keep sending more of the body every few milliseconds
        Paced, // send the answer, then `more` in slices of paceBytes every 50 ms, over and over,
               // and drop the connection after closeAfterMs (0: never)
    };
    struct Route
    {
        QByteArray answer; // status line, headers and body, as sent
        Mode mode = Mode::Respond;
        QByteArray more; // for Endless and Paced: what is sent again and again
        int paceBytes = 400;
        int closeAfterMs = 0;
    };

    LoopbackHttp()
    {
        connect(this, &QTcpServer::newConnection, this, &LoopbackHttp::accept);
        listen(QHostAddress::LocalHost, 0);
    }

    static QByteArray http(const QByteArray &contentType, const QByteArray &body, int status = 200,
        const QByteArray &extraHeaders = {})
    {
        QByteArray a = "HTTP/1.1 " + QByteArray::number(status) + " X\r\n";
        if (!contentType.isEmpty()) {
            a += "Content-Type: " + contentType + "\r\n";
        }
        a += extraHeaders;
        a += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
        return a + body;
    }

    static QByteArray redirect(const QByteArray &location)
    {
        return "HTTP/1.1 302 Found\r\nLocation: " + location
            + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }

    void route(const QByteArray &path, const Route &r) { m_routes.insert(path, r); }
    void route(const QByteArray &path, const QByteArray &answer)
    {
        m_routes.insert(path, Route { answer, Mode::Respond, {} });
    }

    QUrl url(const QByteArray &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                        .arg(serverPort())
                        .arg(QString::fromLatin1(path)));
    }

    int hits(const QByteArray &path) const { return m_hits.value(path); }
    // Connections accepted so far.
    int accepted() const { return int(m_sockets.size()); }
    // The head of the last request for this path, as received.
    QByteArray lastRequest(const QByteArray &path) const { return m_requests.value(path); }
    // Connections that are still open on the server's side.
    int openConnections() const
    {
        int n = 0;
        for (const auto &s : m_sockets) {
            n += s && s->state() == QAbstractSocket::ConnectedState;
        }
        return n;
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = nextPendingConnection()) {
            m_sockets.append(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void onRequest(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n") || socket->property("answered").toBool()) {
            return;
        }
        socket->setProperty("answered", true);
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        const QByteArray path = requestLine.value(1);
        m_requests.insert(path, m_buffers.take(socket));
        m_hits[path] += 1;
        const auto it = m_routes.constFind(path);
        if (it == m_routes.constEnd()) {
            socket->write(http("text/html", "<html><body>no such page</body></html>", 404));
            socket->disconnectFromHost();
            return;
        }
        const Route r = *it;
        switch (r.mode) {
        case Mode::Silent:
            return;
        case Mode::Respond:
            socket->write(r.answer);
            socket->disconnectFromHost();
            return;
        case Mode::Endless: {
            socket->write(r.answer);
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, more = r.more] {
                if (socket->bytesToWrite() < 1 << 20) {
                    socket->write(more);
                }
            });
            timer->start(5);
            return;
        }
        case Mode::Paced: {
            socket->write(r.answer);
            auto *timer = new QTimer(socket);
            auto offset = std::make_shared<qsizetype>(0);
            connect(timer, &QTimer::timeout, socket, [socket, r, offset] {
                if (r.more.isEmpty()) {
                    return;
                }
                QByteArray slice = r.more.mid(*offset, r.paceBytes);
                *offset = (*offset + slice.size()) % r.more.size();
                socket->write(slice);
            });
            timer->start(50);
            if (r.closeAfterMs > 0) {
                QTimer::singleShot(r.closeAfterMs, socket, [socket] { socket->abort(); });
            }
            return;
        }
        }
    }

    QHash<QByteArray, Route> m_routes;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, QByteArray> m_requests;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<QPointer<QTcpSocket>> m_sockets;
};
