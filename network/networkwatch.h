#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace network {

// Tells when the machine's network may have come back: a link, an address or a route appeared
// or went (the kernel's routing messages: a cable, Wi-Fi joining or roaming, a VPN going up),
// or the desktop's network manager reports the network reachable again (Qt's network
// information, where a backend for it is installed). Bursts of such news come as one changed().
// Watches only between start() and stop(): nothing wakes the program while it has nothing to
// retry.
class NetworkWatch : public QObject
{
    Q_OBJECT
public:
    explicit NetworkWatch(QObject *parent = nullptr);
    ~NetworkWatch() override;

    void start();
    void stop();
    bool isWatching() const { return m_socket >= 0; }

signals:
    void changed();

private:
    void readMessages();

    int m_socket = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_settle = nullptr; // one changed() for a burst
    bool m_informationTried = false;
};

} // namespace network
