#include "app/mprisadaptors.h"

#include "app/commands.h"
#include "app/mpris.h"

#include "platform/runtime.h"
#include "player/core/playback.h"
#include "player/core/titletext.h"
#include "resources/identity.h"
#include "stations/catalogue.h"
#include "ui/controls.h"

#include <algorithm>
#include <cmath>

namespace app {

namespace {

const QString noTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// The catalogue entry that plays at this address: the one selected in the list when it is the
// one, else the first with this endpoint (two pairs of entries share one); -1 for none.
int stationAt(const QString &address, const ui::ComboBox *list)
{
    const auto &catalogue = stations::catalogue();
    const int selected = list ? list->currentIndex() : -1;
    if (selected >= 0 && size_t(selected) < catalogue.size()
        && catalogue[size_t(selected)].url == address) {
        return selected;
    }
    const auto it = std::find_if(catalogue.begin(), catalogue.end(),
        [&](const stations::Station &s) { return s.url == address; });
    return it == catalogue.end() ? -1 : int(it - catalogue.begin());
}

} // namespace

MprisRootAdaptor::MprisRootAdaptor(Mpris *mpris)
    : QDBusAbstractAdaptor(mpris)
    , m_mpris(mpris)
{
}

QString MprisRootAdaptor::identity() const
{
    return m_mpris->form1() ? m_mpris->form1()->windowTitle() : QString();
}

QString MprisRootAdaptor::desktopEntry() const
{
    return QString::fromUtf8(
        resources::desktopFileName.data(), qsizetype(resources::desktopFileName.size()));
}

void MprisRootAdaptor::Raise()
{
    platform::runHandler(raiseForm1);
}

void MprisRootAdaptor::Quit()
{
    platform::runHandler(form1Image1Click);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(Mpris *mpris)
    : QDBusAbstractAdaptor(mpris)
    , m_mpris(mpris)
{
}

const QStringList &MprisPlayerAdaptor::changingProperties()
{
    static const QStringList names { QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata"),
        QStringLiteral("Volume"), QStringLiteral("CanGoNext"), QStringLiteral("CanGoPrevious"),
        QStringLiteral("CanPlay"), QStringLiteral("CanPause") };
    return names;
}

QString MprisPlayerAdaptor::url() const
{
    return m_mpris->playback() ? m_mpris->playback()->url() : QString();
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    using State = player::Playback::State;
    const player::Playback *playback = m_mpris->playback();
    switch (playback ? playback->state() : State::Idle) {
    case State::Connecting:
    case State::Buffering:
    case State::Playing:
    case State::Reconnecting:
        return QStringLiteral("Playing");
    case State::Paused:
        return QStringLiteral("Paused");
    case State::Idle:
    case State::Stopped:
    case State::Failed:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    const QString address = url();
    if (address.isEmpty()) {
        return { { QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath(noTrack)) } };
    }
    // One track per station: its id stays while titles come and go.
    const int station = stationAt(address, m_mpris->list());
    QVariantMap map {
        { QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath(
                QStringLiteral("/org/tarvelin_radio/station/%1").arg(station + 1))) },
        { QStringLiteral("xesam:url"), player::shownAddress(address) },
    };
    const QString listed = station >= 0 ? stations::catalogue()[size_t(station)].name : QString();
    if (!listed.isEmpty()) {
        map.insert(QStringLiteral("xesam:artist"), QStringList { listed });
    }
    // The stream's own name for itself where it gives one, else the list's.
    QString own = m_mpris->playback()->stationName();
    if (own.isEmpty() || own == player::shownAddress(address)) {
        own = listed;
    }
    if (!own.isEmpty()) {
        map.insert(QStringLiteral("xesam:album"), own);
    }
    const QString title = m_mpris->playback()->nowPlaying();
    if (!title.isEmpty()) {
        map.insert(QStringLiteral("xesam:title"), title);
    }
    return map;
}

double MprisPlayerAdaptor::volume() const
{
    return m_mpris->playback() ? m_mpris->playback()->volume() / 100.0 : 0.0;
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    if (!m_mpris->playback() || std::isnan(volume) || platform::isEnding()) {
        return;
    }
    m_mpris->playback()->setVolume(int(std::lround(std::clamp(volume, 0.0, 1.0) * 100.0)));
}

bool MprisPlayerAdaptor::canGoNext() const
{
    const ui::ComboBox *list = m_mpris->list();
    return list && list->currentIndex() + 1 < list->count();
}

bool MprisPlayerAdaptor::canGoPrevious() const
{
    const ui::ComboBox *list = m_mpris->list();
    return list && list->currentIndex() > 0;
}

bool MprisPlayerAdaptor::canPlay() const
{
    return !url().isEmpty();
}

void MprisPlayerAdaptor::step(int delta)
{
    // The list moves and raises its Click, whose handler tunes the player.
    platform::runHandler([this, delta] {
        if (ui::ComboBox *list = m_mpris->list()) {
            list->stepSelection(delta);
        }
    });
}

void MprisPlayerAdaptor::invoke(void (player::Playback::*method)())
{
    platform::runHandler([this, method] {
        if (player::Playback *playback = m_mpris->playback()) {
            (playback->*method)();
        }
    });
}

void MprisPlayerAdaptor::Next()
{
    step(+1);
}

void MprisPlayerAdaptor::Previous()
{
    step(-1);
}

void MprisPlayerAdaptor::Pause()
{
    invoke(&player::Playback::pause);
}

void MprisPlayerAdaptor::PlayPause()
{
    invoke(&player::Playback::togglePlayPause);
}

void MprisPlayerAdaptor::Stop()
{
    invoke(&player::Playback::stop);
}

void MprisPlayerAdaptor::Play()
{
    invoke(&player::Playback::play);
}

void MprisPlayerAdaptor::Seek(qlonglong) { }

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &, qlonglong) { }

void MprisPlayerAdaptor::OpenUri(const QString &) { }

} // namespace app
