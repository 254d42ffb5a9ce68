#pragma once

#include "network/addressclass.h"
#include "network/fetcherror.h"
#include "network/httpbody.h"
#include "network/httphead.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QHostInfo;
class QTcpSocket;
class QTimer;

namespace network {

// One HTTP/1.1 GET on a connection of its own: the host looked up (an address literal is not),
// those of its addresses the station's reach allows raced (a host with none is refused before
// anything connects: IPv6 and IPv4 taken in turn, another attempt every 250 ms until one
// connects, at once when one fails; the first connected, for https with TLS done, wins and the
// others are dropped), TLS for https (the system's CAs, the host's name for SNI and
// verification), the request sent (with the credentials the address carries, as Basic
// authorization), the answer's head read within HttpHeadReader's bounds, then its body taken out
// of its framing as it is read. No proxy, no cache, no cookies, one request a connection. The
// socket's read buffer is bounded: a body that is not read holds the server back. Lives on one
// thread at a time; may be moved to another thread once its head was read.
class HttpConnection : public QObject
{
    Q_OBJECT
public:
    using Headers = HttpHead::Headers;
    enum class BodyState { Open, Ended, Cut };

    static constexpr qint64 readBufferBytes = 64 * 1024;
    // How long an attempt to connect has before the next address is tried beside it.
    static constexpr int attemptDelayMs = 250;

    explicit HttpConnection(QObject *parent = nullptr);
    ~HttpConnection() override; // closes the connection

    // Requests this http or https address with these extra request headers, on an address the
    // reach allows. Returns at once; even a failure is reported from the event loop.
    void open(const QUrl &url, const Headers &headers = {}, Reach reach = Reach::Unset);
    // Closes the connection at once; nothing more is read and no signal follows.
    void abort();

    QUrl url() const { return m_url; }
    // The host's addresses the reach allows, in the order they are tried.
    QList<QHostAddress> addresses() const { return m_addresses; }
    // The class of the address the connection connected to (Unspecified until it connected).
    AddressClass connectedClass() const { return m_connectedClass; }
    const HttpHead &head() const { return m_head.head(); } // once headReceived() was emitted
    // Bytes of an answer arrived (the head begun, at least).
    bool answerBegun() const { return m_answerBegun; }

    // Up to maxSize bytes of the body that were read, out of their framing.
    QByteArray readBody(qint64 maxSize);
    // Bytes of the body (or its framing) wait to be read.
    bool hasBodyBytes() const;
    // Ended: the whole body was read; Cut: the connection ended, or the framing went bad, before.
    BodyState bodyState() const;
    QString bodyError() const;
    bool framingBroken() const { return m_body.state() == HttpBodyDecoder::State::Bad; }

signals:
    void headReceived();
    // Body bytes arrived, or the connection ended: see bodyState().
    void bodyReadable();
    // No answer to read: nothing connected, the head was bad, or the connection ended before it.
    void failed(network::FetchError error);

private:
    enum class Phase { Idle, LookingUp, Connecting, Head, Body, Over };

    void onLookedUp(const QHostInfo &info);
    void keepReachable();
    void startAttempt();
    void onAttemptConnected(QTcpSocket *socket);
    void onAttemptFailed(QTcpSocket *socket);
    void dropAttempts();
    void onReadable();
    void onSocketError();
    void onClosed();
    bool startBody();
    void fail(FetchError error, const QString &why);
    void dropSocket();

    Phase m_phase = Phase::Idle;
    QUrl m_url;
    QByteArray m_request;
    int m_lookupId = -1;
    Reach m_reach = Reach::Unset;
    QList<QHostAddress> m_addresses;
    qsizetype m_nextAddress = 0;
    QList<QTcpSocket *> m_attempts; // racing to connect; each knows its address
    QTimer *m_attemptTimer = nullptr;
    AddressClass m_connectedClass = AddressClass::Unspecified;
    FetchError m_connectError = FetchError::Refused;
    QPointer<QTcpSocket> m_socket; // the one that connected
    bool m_answerBegun = false;
    HttpHeadReader m_head;
    QByteArray m_pending; // read with the head, past its end
    HttpBodyDecoder m_body;
    bool m_closed = false; // the server closed the connection
    bool m_closedCleanly = false;
};

} // namespace network
