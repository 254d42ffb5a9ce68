#include "player/mediaplayer.h"

#include "player/engine.h"
#include "player/logging.h"
#include "player/mpvengine.h"
#include "player/resolver.h"
#include "player/titletext.h"

#include "platform/components.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace player {

namespace {

const char *const darkStyle = R"(
player--MediaPlayer { background: #141414; }
QFrame#display {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1f2428, stop:1 #111315);
    border: 1px solid #3a3f44; border-radius: 4px;
}
QLabel { color: #d8dde2; background: transparent; }
QLabel#station { color: #f0f3f5; font-weight: bold; }
QLabel#title { color: #7fc4ff; }
QLabel#status { color: #9aa3ab; }
QLabel#time { color: #9aa3ab; }
QToolButton {
    background: #2a2d31; border: 1px solid #44494f; border-radius: 3px; color: #e0e0e0;
    min-width: 22px; min-height: 20px;
}
QToolButton:hover { background: #353a40; }
QToolButton:pressed, QToolButton:checked { background: #1d4466; border-color: #3d7ab0; }
QToolButton:focus { border-color: #7fc4ff; }
QToolButton:disabled { color: #666; background: #202225; }
QSlider { background: transparent; min-height: 16px; }
QSlider::groove:horizontal { height: 4px; background: #3a3f44; border: none; border-radius: 2px; }
QSlider::add-page:horizontal { background: #3a3f44; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #3d8fd6; border-radius: 2px; }
QSlider::handle:horizontal {
    width: 10px; margin: -4px 0; background: #d8dde2; border-radius: 5px;
}
QSlider::handle:horizontal:focus { background: #7fc4ff; }
QMenu { background: #202326; color: #e0e0e0; border: 1px solid #44494f; }
QMenu::item:selected { background: #1d4466; }
QMenu::item:disabled { color: #666; }
)";

QString formatTime(double seconds)
{
    const qint64 s = seconds > 0 && seconds < 1e9 ? qint64(seconds) : 0;
    if (s >= 3600) {
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2")
        .arg(s / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QToolButton *makeButton(QWidget *parent, const QString &accessibleName, const QIcon &icon)
{
    auto *button = new QToolButton(parent);
    button->setIcon(icon);
    button->setIconSize(QSize(14, 14));
    button->setToolTip(accessibleName);
    button->setAccessibleName(accessibleName);
    // The player is one stop of the window's keyboard order: a click on a button gives the
    // player the focus, and its keys work from there.
    button->setFocusProxy(parent);
    button->setAutoRaise(false);
    return button;
}

} // namespace

int reconnectDelayMs(int attempt, const PlayerTimings &timings)
{
    qint64 delay = std::max(1, timings.reconnectFirstMs);
    for (int i = 0; i < attempt && delay < timings.reconnectCapMs; ++i) {
        delay *= 2;
    }
    return int(std::min<qint64>(delay, timings.reconnectCapMs));
}

MediaPlayer::MediaPlayer(std::unique_ptr<Engine> engine, const MediaPlayerSettings &settings,
    QWidget *parent, const PlayerTimings &timings)
    : QWidget(parent)
    , m_engine(std::move(engine))
    , m_resolver(new EndpointResolver(this))
    , m_timings(timings)
    , m_settings(settings)
    , m_volume(std::clamp(settings.volume, 0, 100))
    , m_muted(settings.mute)
    , m_noAudioTimer(new QTimer(this))
    , m_reconnectTimer(new QTimer(this))
    , m_steadyTimer(new QTimer(this))
{
    m_steadyTimer->setSingleShot(true);
    connect(m_steadyTimer, &QTimer::timeout, this, [this] { m_reconnectAttempt = 0; });
    m_noAudioTimer->setSingleShot(true);
    m_reconnectTimer->setSingleShot(true);
    connect(m_noAudioTimer, &QTimer::timeout, this, [this] { candidateFailed(Failure::NoAudio); });
    connect(m_reconnectTimer, &QTimer::timeout, this, [this] { startOpening(true); });

    connect(m_resolver, &EndpointResolver::streamFound, this, &MediaPlayer::openCandidate);
    connect(m_resolver, &EndpointResolver::failed, this, &MediaPlayer::allCandidatesFailed);
    connect(m_resolver, &EndpointResolver::playlistTitle, this, [this](const QString &title) {
        m_playlistTitle = title;
        setStationName(title);
    });

    Engine *e = m_engine.get();
    connect(e, &Engine::playing, this, &MediaPlayer::onPlaying);
    connect(e, &Engine::buffering, this, &MediaPlayer::onBuffering);
    connect(e, &Engine::ended, this, [this] { streamEnded(std::nullopt); });
    connect(e, &Engine::failed, this, &MediaPlayer::streamEnded);
    connect(e, &Engine::positionChanged, this, &MediaPlayer::updatePosition);
    connect(e, &Engine::durationChanged, this, [this](double seconds) {
        m_duration = seconds;
        updatePosition(m_position);
    });
    connect(e, &Engine::titleChanged, this,
        [this](const QByteArray &raw) { setNowPlaying(repairTitle(raw)); });
    connect(e, &Engine::stationNameChanged, this, [this](const QByteArray &raw) {
        const QString name = repairTitle(raw);
        if (!name.isEmpty() && m_playlistTitle.isEmpty()) {
            setStationName(name);
        }
    });

    m_engine->setVolume(m_volume);
    m_engine->setMuted(m_muted);

    buildInterface();
    setEnabled(settings.enabled);
    if (settings.uiMode.compare(QLatin1String("invisible"), Qt::CaseInsensitive) == 0) {
        setVisible(false);
    }
    setState(State::Idle);
    if (!settings.url.isEmpty()) {
        m_url = settings.url;
        setStationName(m_url);
        if (settings.autoStart) {
            startOpening(false);
        } else {
            setState(State::Stopped);
        }
    }
}

MediaPlayer::~MediaPlayer()
{
    m_resolver->cancel();
    // The engine goes before the widgets its signals update.
    m_engine->disconnect(this);
    m_engine.reset();
}

void MediaPlayer::buildInterface()
{
    setObjectName(QStringLiteral("MediaPlayer"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(QLatin1String(darkStyle));
    setMinimumSize(160, 110);

    auto *display = new QFrame(this);
    display->setObjectName(QStringLiteral("display"));
    m_stationLabel = new QLabel(display);
    m_stationLabel->setObjectName(QStringLiteral("station"));
    m_titleLabel = new QLabel(display);
    m_titleLabel->setObjectName(QStringLiteral("title"));
    m_statusLabel = new QLabel(display);
    m_statusLabel->setObjectName(QStringLiteral("status"));
    m_timeLabel = new QLabel(formatTime(0), display);
    m_timeLabel->setObjectName(QStringLiteral("time"));
    m_timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel *label : { m_stationLabel, m_titleLabel, m_statusLabel }) {
        label->setTextFormat(Qt::PlainText);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    QFont small = font();
    small.setPointSizeF(std::max(6.5, small.pointSizeF() - 1.5));
    m_statusLabel->setFont(small);
    m_timeLabel->setFont(small);

    auto *statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(0, 0, 0, 0);
    statusRow->addWidget(m_statusLabel, 1);
    statusRow->addWidget(m_timeLabel);

    auto *displayLayout = new QVBoxLayout(display);
    displayLayout->setContentsMargins(6, 4, 6, 4);
    displayLayout->setSpacing(2);
    displayLayout->addWidget(m_stationLabel);
    displayLayout->addWidget(m_titleLabel);
    displayLayout->addStretch(1);
    displayLayout->addLayout(statusRow);

    // The buttons' icons are made once: a new icon for every change of state would leave its
    // renderings in the pixmap cache, a little more memory with every station switch.
    m_playIcon = style()->standardIcon(QStyle::SP_MediaPlay);
    m_pauseIcon = style()->standardIcon(QStyle::SP_MediaPause);
    m_soundIcon = style()->standardIcon(QStyle::SP_MediaVolume);
    m_mutedIcon = style()->standardIcon(QStyle::SP_MediaVolumeMuted);
    m_playButton = makeButton(this, tr("Play"), m_playIcon);
    m_stopButton = makeButton(this, tr("Stop"), style()->standardIcon(QStyle::SP_MediaStop));
    m_muteButton = makeButton(this, tr("Mute"), m_soundIcon);
    m_muteButton->setCheckable(true);
    m_muteButton->setChecked(m_muted);
    m_volumeSlider = new QSlider(Qt::Horizontal, this);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setSingleStep(5);
    m_volumeSlider->setPageStep(10);
    m_volumeSlider->setValue(m_volume);
    m_volumeSlider->setAccessibleName(tr("Volume"));
    m_volumeSlider->setToolTip(tr("Volume"));
    m_volumeSlider->setFocusProxy(this);
    m_volumeSlider->setMinimumWidth(60);

    connect(m_playButton, &QToolButton::clicked, this, &MediaPlayer::togglePlayPause);
    connect(m_stopButton, &QToolButton::clicked, this, &MediaPlayer::stop);
    connect(m_muteButton, &QToolButton::toggled, this, &MediaPlayer::setMuted);
    connect(m_volumeSlider, &QSlider::valueChanged, this, &MediaPlayer::setVolume);

    auto *transport = new QHBoxLayout;
    transport->setContentsMargins(0, 0, 0, 0);
    transport->setSpacing(4);
    transport->addWidget(m_playButton);
    transport->addWidget(m_stopButton);
    transport->addSpacing(6);
    transport->addWidget(m_muteButton);
    transport->addWidget(m_volumeSlider, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(display, 1);
    layout->addLayout(transport);

    const bool controls
        = m_settings.uiMode.compare(QLatin1String("none"), Qt::CaseInsensitive) != 0;
    for (QWidget *w : std::initializer_list<QWidget *> {
             m_playButton, m_stopButton, m_muteButton, m_volumeSlider }) {
        w->setVisible(controls);
    }

    if (m_settings.enableContextMenu) {
        m_menu = new QMenu(this);
        m_menu->addAction(tr("Play"), this, &MediaPlayer::play)
            ->setObjectName(QStringLiteral("play"));
        m_menu->addAction(tr("Pause"), this, &MediaPlayer::pause)
            ->setObjectName(QStringLiteral("pause"));
        m_menu->addAction(tr("Stop"), this, &MediaPlayer::stop)
            ->setObjectName(QStringLiteral("stop"));
        m_menu->addSeparator();
        QAction *mute = m_menu->addAction(tr("Mute"));
        mute->setObjectName(QStringLiteral("mute"));
        mute->setCheckable(true);
        connect(mute, &QAction::toggled, this, &MediaPlayer::setMuted);
        m_menu->addAction(tr("Volume up"), this, [this] { setVolume(m_volume + 5); });
        m_menu->addAction(tr("Volume down"), this, [this] { setVolume(m_volume - 5); });
    }
    setStationName(QString());
    updateControls();
}

void MediaPlayer::setUrl(const QString &url)
{
    m_steadyTimer->stop();
    m_noAudioTimer->stop();
    m_reconnectTimer->stop();
    m_resolver->cancel();
    m_engine->stop();
    m_url = url;
    m_stream = QUrl();
    m_heardAudio = false;
    m_reconnectAttempt = 0;
    m_playlistTitle.clear();
    m_duration = 0;
    updatePosition(0);
    setNowPlaying(QString());
    setStationName(url);
    if (url.isEmpty()) {
        setState(State::Idle);
    } else if (m_settings.autoStart) {
        startOpening(false);
    } else {
        setState(State::Stopped);
    }
}

void MediaPlayer::startOpening(bool reconnecting)
{
    m_noAudioTimer->stop();
    m_reconnectTimer->stop();
    m_stream = QUrl();
    m_lastCandidateFailure.reset();
    setState(reconnecting ? State::Reconnecting : State::Connecting);
    m_resolver->start(QUrl(m_url, QUrl::TolerantMode));
}

void MediaPlayer::openCandidate(const QUrl &stream, const QString &title)
{
    qCDebug(lcPlayer) << "trying" << stream.toString();
    m_stream = stream;
    if (!title.isEmpty() && m_playlistTitle.isEmpty()) {
        setStationName(title);
    }
    m_duration = 0;
    updatePosition(0);
    m_engine->open(stream);
    m_candidateClock.start();
    m_noAudioTimer->start(m_timings.noAudioTimeoutMs);
}

int MediaPlayer::reconnectWaitMs() const
{
    return m_reconnectTimer->isActive() ? m_reconnectTimer->interval() : 0;
}

void MediaPlayer::candidateFailed(Failure failure)
{
    qCInfo(lcPlayer) << "candidate failed:" << m_stream.toString() << "-" << failure;
    m_lastCandidateFailure = failure;
    m_noAudioTimer->stop();
    m_engine->stop();
    m_stream = QUrl();
    m_resolver->next();
}

void MediaPlayer::allCandidatesFailed(Failure failure, int httpStatus)
{
    m_noAudioTimer->stop();
    m_engine->stop();
    if (m_state == State::Reconnecting || m_heardAudio) {
        scheduleReconnect();
        return;
    }
    // When every stream found failed, the stream's own failure says more than the resolver's.
    if (failure == Failure::NothingToPlay && m_lastCandidateFailure) {
        setState(State::Failed, failureText(*m_lastCandidateFailure));
    } else {
        setState(State::Failed, failureText(failure, httpStatus));
    }
}

void MediaPlayer::onPlaying()
{
    if (m_state == State::Paused || m_state == State::Stopped || m_state == State::Idle
        || m_state == State::Failed) {
        return;
    }
    m_noAudioTimer->stop();
    m_resolver->cancel();
    m_heardAudio = true;
    // A stream that drops again soon after coming back goes on with growing waits; one that
    // keeps playing starts over from the first wait when it next drops.
    if (m_reconnectAttempt > 0 && !m_steadyTimer->isActive()) {
        m_steadyTimer->start(m_timings.reconnectCapMs);
    }
    setState(State::Playing);
}

void MediaPlayer::onBuffering(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (m_state == State::Connecting || m_state == State::Playing || m_state == State::Buffering) {
        if (m_noAudioTimer->isActive()) {
            // Data is arriving: wait on, up to the cap.
            const qint64 left = m_timings.firstAudioCapMs - m_candidateClock.elapsed();
            m_noAudioTimer->start(int(std::clamp<qint64>(left, 0, m_timings.noAudioTimeoutMs)));
        }
        setState(State::Buffering, QString::number(percent));
    }
}

// The engine's report on the stream: no failure when it reached its end.
void MediaPlayer::streamEnded(std::optional<Failure> failure)
{
    if (m_stream.isEmpty()) {
        return;
    }
    switch (m_state) {
    case State::Connecting:
        if (m_heardAudio) {
            scheduleReconnect();
        } else {
            candidateFailed(failure.value_or(Failure::NoAudio));
        }
        return;
    case State::Reconnecting:
        candidateFailed(failure.value_or(Failure::NoAudio));
        return;
    case State::Buffering:
        if (!m_heardAudio) {
            candidateFailed(failure.value_or(Failure::NoAudio));
            return;
        }
        [[fallthrough]];
    case State::Playing:
        if (!failure && m_duration > 0 && m_position >= m_duration - 2) {
            // A recording that played to its end.
            m_engine->stop();
            m_stream = QUrl();
            setState(State::Stopped);
            return;
        }
        scheduleReconnect();
        return;
    case State::Paused:
        // A paused stream whose connection dropped: resuming reconnects.
        m_stream = QUrl();
        return;
    case State::Idle:
    case State::Stopped:
    case State::Failed:
        return;
    }
}

void MediaPlayer::scheduleReconnect()
{
    m_steadyTimer->stop();
    m_noAudioTimer->stop();
    m_resolver->cancel();
    m_engine->stop();
    m_stream = QUrl();
    const int delay = reconnectDelayMs(m_reconnectAttempt, m_timings);
    ++m_reconnectAttempt;
    setState(State::Reconnecting);
    m_reconnectTimer->start(delay);
}

void MediaPlayer::play()
{
    switch (m_state) {
    case State::Paused:
        if (m_stream.isEmpty() || m_duration <= 0) {
            // A live stream resumes by connecting again.
            m_reconnectAttempt = 0;
            startOpening(m_heardAudio);
        } else {
            m_engine->setPaused(false);
            setState(State::Playing);
        }
        return;
    case State::Idle:
    case State::Stopped:
    case State::Failed:
        if (!m_url.isEmpty()) {
            m_reconnectAttempt = 0;
            m_heardAudio = false;
            startOpening(false);
        }
        return;
    case State::Connecting:
    case State::Buffering:
    case State::Playing:
    case State::Reconnecting:
        return;
    }
}

void MediaPlayer::pause()
{
    switch (m_state) {
    case State::Playing:
    case State::Buffering:
        m_noAudioTimer->stop();
        if (m_duration > 0 && m_heardAudio) {
            m_engine->setPaused(true);
        } else {
            // Live: silence it and let go of the connection; resuming reconnects.
            m_resolver->cancel();
            m_engine->stop();
            m_stream = QUrl();
        }
        setState(State::Paused);
        return;
    case State::Connecting:
    case State::Reconnecting:
        m_noAudioTimer->stop();
        m_reconnectTimer->stop();
        m_resolver->cancel();
        m_engine->stop();
        m_stream = QUrl();
        setState(State::Paused);
        return;
    case State::Idle:
    case State::Paused:
    case State::Stopped:
    case State::Failed:
        return;
    }
}

void MediaPlayer::togglePlayPause()
{
    switch (m_state) {
    case State::Connecting:
    case State::Buffering:
    case State::Playing:
    case State::Reconnecting:
        pause();
        return;
    default:
        play();
        return;
    }
}

void MediaPlayer::stop()
{
    if (m_state == State::Idle) {
        return;
    }
    m_noAudioTimer->stop();
    m_reconnectTimer->stop();
    m_resolver->cancel();
    m_engine->stop();
    m_stream = QUrl();
    m_reconnectAttempt = 0;
    updatePosition(0);
    setState(State::Stopped);
}

void MediaPlayer::setVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    if (volume == m_volume) {
        return;
    }
    m_volume = volume;
    m_engine->setVolume(volume);
    m_volumeSlider->setValue(volume);
    m_volumeSlider->setToolTip(tr("Volume %1%").arg(volume));
    emit volumeChanged(volume);
}

void MediaPlayer::setMuted(bool muted)
{
    if (muted == m_muted) {
        return;
    }
    m_muted = muted;
    m_engine->setMuted(muted);
    m_muteButton->setChecked(muted);
    m_muteButton->setIcon(muted ? m_mutedIcon : m_soundIcon);
    if (m_menu) {
        if (QAction *action = m_menu->findChild<QAction *>(QStringLiteral("mute"))) {
            action->setChecked(muted);
        }
    }
    emit muteChanged(muted);
}

void MediaPlayer::setState(State state, const QString &detail)
{
    QString text;
    switch (state) {
    case State::Idle:
        text = tr("Ready");
        break;
    case State::Connecting:
        text = tr("Connecting");
        break;
    case State::Buffering:
        text = detail.isEmpty() ? tr("Buffering") : tr("Buffering %1%").arg(detail);
        break;
    case State::Playing:
        text = tr("Playing");
        break;
    case State::Paused:
        text = tr("Paused");
        break;
    case State::Stopped:
        text = tr("Stopped");
        break;
    case State::Reconnecting:
        text = tr("Reconnecting");
        break;
    case State::Failed:
        text = detail.isEmpty() ? tr("Could not open") : tr("Could not open: %1").arg(detail);
        break;
    }
    const bool stateChangedNow = state != m_state;
    if (text != m_statusText) {
        qCDebug(lcPlayer) << "status:" << text;
    }
    m_state = state;
    if (stateChangedNow) {
        emit stateChanged(state);
    }
    if (text != m_statusText) {
        m_statusText = text;
        m_statusLabel->setText(text);
        m_statusLabel->setToolTip(text);
        emit statusTextChanged(text);
    }
    updateControls();
}

void MediaPlayer::setNowPlaying(const QString &title)
{
    if (title == m_nowPlaying) {
        return;
    }
    m_nowPlaying = title;
    m_titleLabel->setText(title);
    m_titleLabel->setToolTip(title);
    emit nowPlayingChanged(title);
}

void MediaPlayer::setStationName(const QString &name)
{
    const QString shown = name.isEmpty() ? tr("No station") : name;
    m_stationLabel->setText(shown);
    m_stationLabel->setToolTip(name);
    if (name != m_stationName) {
        m_stationName = name;
        emit stationNameChanged(name);
    }
}

void MediaPlayer::updatePosition(double seconds)
{
    m_position = seconds;
    QString text = formatTime(seconds);
    if (m_duration > 0) {
        text += QLatin1String(" / ") + formatTime(m_duration);
    }
    // The engine reports whole seconds; the label is touched only when its text changes.
    if (text != m_timeLabel->text()) {
        m_timeLabel->setText(text);
    }
}

void MediaPlayer::updateControls()
{
    const bool running = m_state == State::Connecting || m_state == State::Buffering
        || m_state == State::Playing || m_state == State::Reconnecting;
    m_playButton->setIcon(running ? m_pauseIcon : m_playIcon);
    m_playButton->setToolTip(running ? tr("Pause") : tr("Play"));
    m_playButton->setAccessibleName(running ? tr("Pause") : tr("Play"));
    m_playButton->setEnabled(running || !m_url.isEmpty());
    m_stopButton->setEnabled(m_state != State::Idle && m_state != State::Stopped);
    if (m_menu) {
        if (QAction *a = m_menu->findChild<QAction *>(QStringLiteral("play"))) {
            a->setEnabled(!running && !m_url.isEmpty());
        }
        if (QAction *a = m_menu->findChild<QAction *>(QStringLiteral("pause"))) {
            a->setEnabled(running);
        }
        if (QAction *a = m_menu->findChild<QAction *>(QStringLiteral("stop"))) {
            a->setEnabled(m_stopButton->isEnabled());
        }
    }
}

void MediaPlayer::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_K:
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_MediaPlay:
        togglePlayPause();
        break;
    case Qt::Key_S:
    case Qt::Key_MediaStop:
        stop();
        break;
    case Qt::Key_M:
    case Qt::Key_VolumeMute:
        setMuted(!m_muted);
        break;
    case Qt::Key_Up:
    case Qt::Key_Plus:
    case Qt::Key_VolumeUp:
        setVolume(m_volume + 5);
        break;
    case Qt::Key_Down:
    case Qt::Key_Minus:
    case Qt::Key_VolumeDown:
        setVolume(m_volume - 5);
        break;
    case Qt::Key_Menu:
        if (m_menu) {
            m_menu->popup(mapToGlobal(rect().center()));
        }
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void MediaPlayer::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_menu) {
        event->ignore();
        return;
    }
    m_menu->popup(event->globalPos());
    event->accept();
}

QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings)
{
    const MediaPlayerSettings decoded
        = settings.isEmpty() ? MediaPlayerSettings {} : decodeMediaPlayerSettings(settings);
    return new MediaPlayer(std::make_unique<MpvEngine>(), decoded, parent);
}

void registerMediaPlayerComponent()
{
    platform::registerComponent(QString::fromLatin1(mediaPlayerClassName), &createMediaPlayer);
}

} // namespace player
