#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

namespace player {
class Playback;
}

namespace app {

class Mpris;

// org.mpris.MediaPlayer2: the program itself. Its values never change while it runs.
class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit MprisRootAdaptor(Mpris *mpris);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    // Form1's caption.
    QString identity() const;
    QString desktopEntry() const;
    // Nothing is opened from outside: the station list is the only way to a stream.
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void Raise();
    void Quit();

private:
    Mpris *m_mpris;
};

// org.mpris.MediaPlayer2.Player: the media player `wm` and the station list `Combo1` of Form1.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit MprisPlayerAdaptor(Mpris *mpris);

    // "Playing" while the player connects, buffers, plays or reconnects; "Paused"; "Stopped"
    // when idle, stopped or failed.
    QString playbackStatus() const;
    // Radio plays at its own pace only.
    double rate() const { return 1.0; }
    void setRate(double) { }
    QVariantMap metadata() const;
    // The player's volume control, 0 to 100, as 0.0 to 1.0.
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const { return 0; }
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canPause() const { return canPlay(); }
    bool canSeek() const { return false; }
    bool canControl() const { return true; }

    // The properties above that change while the program runs: PropertiesChanged names them.
    static const QStringList &changingProperties();

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath &trackId, qlonglong position);
    void OpenUri(const QString &uri);

signals:
    void Seeked(qlonglong position);

private:
    QString url() const;
    void step(int delta);
    // Runs a transport method of the playback as a handler, when there is a playback.
    void invoke(void (player::Playback::*method)());

    Mpris *m_mpris;
};

} // namespace app
