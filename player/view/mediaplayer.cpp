#include "player/view/mediaplayer.h"

#include "platform/clock.h"
#include "player/core/engine.h"
#include "player/view/settings.h"
#include "player/view/statusline.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace player {

namespace {

// The player's dark look, from the library's resources.
QString darkStyleSheet()
{
    static const QString sheet = [] {
        QFile file(QStringLiteral(":/player/mediaplayer.qss"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return sheet;
}

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

MediaPlayer *makeMediaPlayer(std::unique_ptr<Engine> engine, const MediaPlayerSettings &settings,
    QWidget *parent, const PlayerTimings &timings)
{
    auto *playback = new Playback(std::move(engine), timings);
    playback->setAutoStart(settings.autoStart);
    playback->setVolume(settings.volume);
    playback->setMuted(settings.mute);
    auto *mediaPlayer = new MediaPlayer(playback, settings, parent);
    if (!settings.url.isEmpty()) {
        playback->setUrl(settings.url);
    }
    return mediaPlayer;
}

MediaPlayer::MediaPlayer(Playback *playback, const MediaPlayerSettings &settings, QWidget *parent)
    : QWidget(parent)
    , m_playback(playback)
{
    if (!m_playback->parent()) {
        m_playback->setParent(this);
    }
    setObjectName(QStringLiteral("MediaPlayer"));
    m_timeAlarm = new platform::WallClockAlarm(this);
    connect(m_timeAlarm, &platform::WallClockAlarm::rang, this, &MediaPlayer::setTimeText);
    setAttribute(Qt::WA_StyledBackground, true);
    setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(darkStyleSheet());
    setMinimumSize(160, 110);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(buildDisplay(), 1);
    layout->addLayout(
        buildTransport(settings.uiMode.compare(QLatin1String("none"), Qt::CaseInsensitive) != 0));
    if (settings.enableContextMenu) {
        buildMenu();
    }
    bindPlayback();

    setEnabled(settings.enabled);
    if (settings.uiMode.compare(QLatin1String("invisible"), Qt::CaseInsensitive) == 0) {
        setVisible(false);
    }
}

MediaPlayer::~MediaPlayer()
{
    // A playback of its own (and its engine) goes before the widgets its signals update.
    if (m_playback) {
        m_playback->disconnect(this);
        if (m_playback->parent() == this) {
            delete m_playback;
        }
    }
}

QWidget *MediaPlayer::buildDisplay()
{
    auto *display = new QFrame(this);
    display->setObjectName(QStringLiteral("display"));
    m_stationLabel = new QLabel(display);
    m_stationLabel->setObjectName(QStringLiteral("station"));
    m_titleLabel = new QLabel(display);
    m_titleLabel->setObjectName(QStringLiteral("title"));
    m_statusLabel = new QLabel(display);
    m_statusLabel->setObjectName(QStringLiteral("status"));
    m_timeLabel = new QLabel(display);
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
    return display;
}

QLayout *MediaPlayer::buildTransport(bool visible)
{
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
    m_volumeSlider = new QSlider(Qt::Horizontal, this);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setSingleStep(5);
    m_volumeSlider->setPageStep(10);
    m_volumeSlider->setAccessibleName(tr("Volume"));
    m_volumeSlider->setToolTip(tr("Volume"));
    m_volumeSlider->setFocusProxy(this);
    m_volumeSlider->setMinimumWidth(60);

    auto *transport = new QHBoxLayout;
    transport->setContentsMargins(0, 0, 0, 0);
    transport->setSpacing(4);
    transport->addWidget(m_playButton);
    transport->addWidget(m_stopButton);
    transport->addSpacing(6);
    transport->addWidget(m_muteButton);
    transport->addWidget(m_volumeSlider, 1);
    for (QWidget *w : std::initializer_list<QWidget *> {
             m_playButton, m_stopButton, m_muteButton, m_volumeSlider }) {
        w->setVisible(visible);
    }
    return transport;
}

void MediaPlayer::buildMenu()
{
    m_menu = new QMenu(this);
    m_playAction = m_menu->addAction(tr("Play"), m_playback, &Playback::play);
    m_pauseAction = m_menu->addAction(tr("Pause"), m_playback, &Playback::pause);
    m_stopAction = m_menu->addAction(tr("Stop"), m_playback, &Playback::stop);
    m_menu->addSeparator();
    m_muteAction = m_menu->addAction(tr("Mute"));
    m_muteAction->setCheckable(true);
    m_menu->addAction(
        tr("Volume up"), this, [this] { m_playback->setVolume(m_playback->volume() + 5); });
    m_menu->addAction(
        tr("Volume down"), this, [this] { m_playback->setVolume(m_playback->volume() - 5); });
}

// Shows what the playback holds now and follows its changes; the controls drive it.
void MediaPlayer::bindPlayback()
{
    Playback *p = m_playback;
    connect(p, &Playback::stateChanged, this, [this] {
        updateControls();
        showStatus();
    });
    connect(p, &Playback::bufferPercentChanged, this, &MediaPlayer::showStatus);
    connect(p, &Playback::nowPlayingChanged, this, &MediaPlayer::showTitle);
    connect(p, &Playback::stationNameChanged, this, &MediaPlayer::showStationName);
    connect(p, &Playback::volumeChanged, this, &MediaPlayer::showVolume);
    connect(p, &Playback::muteChanged, this, &MediaPlayer::showMute);
    connect(p, &Playback::positionChanged, this, &MediaPlayer::showTime);
    connect(p, &Playback::durationChanged, this, &MediaPlayer::showTime);
    connect(p, &Playback::stateChanged, this, &MediaPlayer::showTime); // at once once not playing

    connect(m_playButton, &QToolButton::clicked, p, &Playback::togglePlayPause);
    connect(m_stopButton, &QToolButton::clicked, p, &Playback::stop);
    connect(m_muteButton, &QToolButton::toggled, p, &Playback::setMuted);
    connect(m_volumeSlider, &QSlider::valueChanged, p, &Playback::setVolume);
    if (m_muteAction) {
        connect(m_muteAction, &QAction::toggled, p, &Playback::setMuted);
    }

    showStatus();
    showTitle(p->nowPlaying());
    showStationName(p->stationName());
    m_volumeSlider->setValue(p->volume());
    showMute(p->isMuted());
    showTime();
    updateControls();
}

void MediaPlayer::setUrl(const QString &url)
{
    m_playback->setUrl(url);
    updateControls();
}

void MediaPlayer::showStatus()
{
    const QString text = statusLine(m_playback->state(), m_playback->bufferPercent(),
        m_playback->failure(), m_playback->failureHttpStatus(), m_playback->failureKnown());
    if (text == m_statusText) {
        return;
    }
    m_statusText = text;
    m_statusLabel->setText(text);
    m_statusLabel->setToolTip(text);
    emit statusTextChanged(text);
}

void MediaPlayer::showTitle(const QString &title)
{
    m_titleLabel->setText(title);
    m_titleLabel->setToolTip(title);
}

void MediaPlayer::showStationName(const QString &name)
{
    m_stationLabel->setText(name.isEmpty() ? tr("No station") : name);
    m_stationLabel->setToolTip(name);
}

void MediaPlayer::showVolume(int volume)
{
    m_volumeSlider->setValue(volume);
    m_volumeSlider->setToolTip(tr("Volume %1%").arg(volume));
}

void MediaPlayer::showMute(bool muted)
{
    m_muteButton->setChecked(muted);
    m_muteButton->setIcon(muted ? m_mutedIcon : m_soundIcon);
    if (m_muteAction) {
        m_muteAction->setChecked(muted);
    }
}

// While a stream plays in a window on screen, its time is shown at the turn of the wall clock's
// second, in the wake-up that turns the window's clock: a label repainted on the stream's own
// beat would wake the program once more every second.
void MediaPlayer::showTime()
{
    if (m_playback->state() != Playback::State::Playing || !isVisible()
        || window()->isMinimized()) {
        m_timeAlarm->cancel();
        setTimeText();
        return;
    }
    if (!m_timeAlarm->isSet()) {
        m_timeAlarm->setFor(
            platform::gridPointAtOrAfter(platform::currentMSecsSinceEpoch() + 1, 1000));
    }
}

void MediaPlayer::setTimeText()
{
    if (!m_playback) {
        return;
    }
    QString text = formatTime(m_playback->position());
    if (m_playback->duration() > 0) {
        text += QLatin1String(" / ") + formatTime(m_playback->duration());
    }
    // The engine reports whole seconds; the label is touched only when its text changes.
    if (text != m_timeLabel->text()) {
        m_timeLabel->setText(text);
    }
}

void MediaPlayer::updateControls()
{
    const bool running = m_playback->isRunning();
    const bool haveUrl = !m_playback->url().isEmpty();
    m_playButton->setIcon(running ? m_pauseIcon : m_playIcon);
    m_playButton->setToolTip(running ? tr("Pause") : tr("Play"));
    m_playButton->setAccessibleName(running ? tr("Pause") : tr("Play"));
    m_playButton->setEnabled(running || haveUrl);
    const Playback::State state = m_playback->state();
    m_stopButton->setEnabled(state != Playback::State::Idle && state != Playback::State::Stopped);
    if (m_menu) {
        m_playAction->setEnabled(!running && haveUrl);
        m_pauseAction->setEnabled(running);
        m_stopAction->setEnabled(m_stopButton->isEnabled());
    }
}

void MediaPlayer::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_K:
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_MediaPlay:
        m_playback->togglePlayPause();
        break;
    case Qt::Key_S:
    case Qt::Key_MediaStop:
        m_playback->stop();
        break;
    case Qt::Key_M:
    case Qt::Key_VolumeMute:
        m_playback->setMuted(!m_playback->isMuted());
        break;
    case Qt::Key_Up:
    case Qt::Key_Plus:
    case Qt::Key_VolumeUp:
        m_playback->setVolume(m_playback->volume() + 5);
        break;
    case Qt::Key_Down:
    case Qt::Key_Minus:
    case Qt::Key_VolumeDown:
        m_playback->setVolume(m_playback->volume() - 5);
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

} // namespace player
