#include "animation/flashplayer.h"

#include "animation/moviefetch.h"
#include "platform/clock.h"
#include "platform/components.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace animation {

FlashPlayer::FlashPlayer(const FlashSettings &settings, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_loop(settings.loop.isEmpty() || settings.isTrue(settings.loop))
    , m_highQuality(settings.quality.compare(QLatin1String("Low"), Qt::CaseInsensitive) != 0)
{
    // What lies beneath shows through wherever the movie draws nothing.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground, isTransparent());
    // A stop of the window's keyboard order; the focus shows as a frame (see paintEvent).
    setFocusPolicy(Qt::StrongFocus);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FlashPlayer::onTimer);
    connect(&m_alarm, &platform::WallClockAlarm::rang, this, &FlashPlayer::onAlarm);
    startFetch();
}

void FlashPlayer::startFetch()
{
    const QUrl url(m_settings.movie.isEmpty() ? m_settings.src : m_settings.movie);
    MovieFetch *fetch = MovieFetch::start(url, this);
    if (!fetch) {
        return;
    }
    connect(
        fetch, &MovieFetch::finished, this, [this, fetch](std::shared_ptr<const swf::Movie> movie) {
            fetch->deleteLater();
            const bool ok = movie != nullptr;
            if (ok) {
                startMovie(std::move(movie));
            }
            emit movieFetched(ok);
        });
}

bool FlashPlayer::isTransparent() const
{
    return m_settings.wmode.compare(QLatin1String("Window"), Qt::CaseInsensitive) != 0
        && m_settings.wmode.compare(QLatin1String("Opaque"), Qt::CaseInsensitive) != 0;
}

bool FlashPlayer::isPlaying() const
{
    return m_root && m_root->isPlaying();
}

int FlashPlayer::currentFrame() const
{
    return m_root ? m_root->currentFrame() : -1;
}

bool FlashPlayer::loadMovie(const QByteArray &bytes)
{
    auto movie = parseMovieOrNull(bytes);
    if (!movie) {
        return false;
    }
    startMovie(std::move(movie));
    return true;
}

void FlashPlayer::startMovie(std::shared_ptr<const swf::Movie> movie)
{
    m_root.reset();
    m_frames.clear();
    m_frames.setMaxCost(frameCacheBytes);
    m_movie = std::move(movie);
    m_budget = std::make_unique<swf::PlaybackBudget>();
    m_root = std::make_unique<swf::TimelineInstance>(*m_movie, m_movie->root, *m_budget, 0);
    m_root->setLooping(m_loop);
    m_root->start();
    if (!m_settings.play.isEmpty() && !m_settings.isTrue(m_settings.play)) {
        m_root->setPlaying(false);
    }
    m_renderer = std::make_unique<swf::Renderer>(*m_movie);
    m_renderer->setAntialiasing(m_highQuality);
    m_clock.start();
    m_ticksDone = 0;
    stopTicking(); // the frames are counted from here
    pictureMayHaveChanged();
    updateTimer();
}

bool FlashPlayer::canShow() const
{
    const QWidget *top = window();
    return isVisible() && !(top && top->isMinimized());
}

qint64 FlashPlayer::dueTicks() const
{
    if (!m_movie || !m_clock.isValid()) {
        return 0;
    }
    return qint64(double(m_clock.elapsed()) * m_movie->frameRate / 1000.0);
}

bool FlashPlayer::catchUp(qint64 surelyDue)
{
    if (!m_root) {
        return false;
    }
    const qint64 due = std::max(dueTicks(), surelyDue);
    if (due <= m_ticksDone) {
        return false;
    }
    const qint64 n = due - m_ticksDone;
    m_ticksDone = due;
    // Ticks of a movie that stands still change nothing (and it ran no timer meanwhile).
    if (m_root->isStill()) {
        return false;
    }
    bool changed = false;
    qint64 ran = 0;
    for (; ran < n && ran < maxCatchUpTicks; ++ran) {
        changed = m_root->tick() || changed;
    }
    // After a long absence the rest is not played through: the root playhead jumps to where it
    // would be (sprites keep their own phase).
    const qint64 rest = n - ran;
    const int period = m_root->frameCount();
    if (rest > 0 && m_root->isPlaying() && period > 1) {
        const qint64 target = m_loop ? (m_root->currentFrame() + rest) % period
                                     : std::min<qint64>(m_root->currentFrame() + rest, period - 1);
        m_root->gotoFrame(int(target));
        changed = true;
    }
    return changed && pictureChanged();
}

bool FlashPlayer::pictureChanged()
{
    QByteArray state;
    m_root->appendPictureState(state);
    if (state == m_picture) {
        return false;
    }
    m_picture = std::move(state);
    return m_picture != m_shownPicture;
}

void FlashPlayer::pictureMayHaveChanged()
{
    if (m_root) {
        pictureChanged();
    }
    update();
}

void FlashPlayer::updateTimer()
{
    if (!m_movie || !canShow() || m_root->isStill()) {
        stopTicking();
        return;
    }
    if (!isTicking()) {
        if (catchUp()) {
            update();
        }
        scheduleFrame();
    }
}

void FlashPlayer::stopTicking()
{
    m_timer.stop();
    m_alarm.cancel();
}

int FlashPlayer::gridPeriod() const
{
    const double period = 1000.0 / m_movie->frameRate;
    const int whole = qRound(period);
    return std::abs(period - whole) < 1e-6 && platform::hasWallClockGrid(whole) ? whole : 0;
}

void FlashPlayer::scheduleFrame()
{
    const int period = gridPeriod();
    if (period == 0) {
        m_timer.start(std::max(1, int(1000.0 / m_movie->frameRate)));
        return;
    }
    // The wall clock's instant of the next frame, on the grid. Up to 2 ms before it still counts
    // as that grid point: the two clocks' readings round apart, and a frame due right on a point
    // of the grid must not wait a whole period for the next one.
    m_alarmFrame = m_ticksDone + 1;
    const qint64 dueIn = m_alarmFrame * period - m_clock.elapsed();
    m_alarm.setFor(
        platform::gridPointAtOrAfter(platform::currentMSecsSinceEpoch() + dueIn - 2, period));
}

void FlashPlayer::onAlarm()
{
    if (!canShow()) {
        return;
    }
    if (catchUp(m_alarmFrame)) {
        updateChangedPart();
    }
    // Nothing will move again by itself: no more wake-ups.
    if (!m_root->isStill()) {
        scheduleFrame();
    }
}

void FlashPlayer::onTimer()
{
    if (!canShow()) {
        m_timer.stop();
        return;
    }
    if (catchUp()) {
        updateChangedPart();
    }
    // Nothing will move again by itself: no more ticks.
    if (m_root->isStill()) {
        m_timer.stop();
    }
}

void FlashPlayer::updateChangedPart()
{
    // Both pictures drawn before (a looping movie's come round again): only where they differ
    // needs to reach the screen. Otherwise all of it.
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    const QImage *shown = m_frames.object(m_shownPicture);
    const QImage *next = m_frames.object(m_picture);
    if (std::make_tuple(pixels, dpr, m_highQuality) != m_framesFor || !shown || !next
        || shown->size() != next->size() || shown->format() != next->format()) {
        update();
        return;
    }
    int top = next->height();
    int bottom = -1;
    int left = next->width();
    int right = -1;
    const qsizetype rowBytes = qsizetype(next->width()) * next->depth() / 8;
    for (int y = 0; y < next->height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(shown->constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(next->constScanLine(y));
        if (std::memcmp(a, b, size_t(rowBytes)) == 0) {
            continue;
        }
        top = std::min(top, y);
        bottom = y;
        int x = 0;
        while (a[x] == b[x]) {
            ++x;
        }
        left = std::min(left, x);
        x = next->width() - 1;
        while (a[x] == b[x]) {
            --x;
        }
        right = std::max(right, x);
    }
    if (bottom < 0) {
        return;
    }
    // Device pixels to the widget's, outwards.
    const QRectF changed(QPointF(left, top) / dpr, QPointF(right + 1, bottom + 1) / dpr);
    update(changed.toAlignedRect());
}

void FlashPlayer::paintEvent(QPaintEvent *)
{
    if (m_root && m_renderer && canShow()) {
        drawMovie();
    }
    // Only while the control has the keyboard focus (otherwise it draws the movie alone): a frame
    // around the part of it that can be seen, as the window may cut it off.
    if (hasFocus()) {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Highlight));
        painter.drawRect(visibleRegion().boundingRect().adjusted(0, 0, -1, -1));
    }
}

QImage FlashPlayer::renderFrame(QSize pixels, qreal dpr)
{
    QImage frame(pixels, QImage::Format_ARGB32_Premultiplied);
    if (frame.isNull()) {
        return frame;
    }
    frame.fill(Qt::transparent);
    QPainter painter(&frame);
    if (!isTransparent() && m_movie->background) {
        painter.fillRect(QRect(QPoint(0, 0), pixels), *m_movie->background);
    }
    m_renderer->render(
        painter, *m_root, swf::Renderer::showAllTransform(m_movie->frameRect, QSizeF(pixels)));
    painter.end();
    frame.setDevicePixelRatio(dpr);
    ++m_framesRendered;
    return frame;
}

void FlashPlayer::drawMovie()
{
    // Each picture is drawn once; repaints of what lies beneath, and the rounds of a loop, take it
    // from the cache.
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (pixels.isEmpty()) {
        return;
    }
    const auto cacheFor = std::make_tuple(pixels, dpr, m_highQuality);
    if (cacheFor != m_framesFor) {
        m_frames.clear();
        m_framesFor = cacheFor;
    }
    const QImage *cached = m_frames.object(m_picture);
    QImage fresh;
    if (!cached) {
        fresh = renderFrame(pixels, dpr);
        if (fresh.isNull()) {
            return;
        }
        const qsizetype cost = fresh.sizeInBytes() + m_picture.size();
        if (m_frames.totalCost() + cost <= m_frames.maxCost()) {
            m_frames.insert(m_picture, new QImage(fresh), cost);
        }
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), cached ? *cached : fresh);
    m_shownPicture = m_picture;
}

void FlashPlayer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QWidget *top = window();
    if (top != m_watchedWindow) {
        if (m_watchedWindow) {
            m_watchedWindow->removeEventFilter(this);
        }
        m_watchedWindow = top;
        if (top && top != this) {
            top->installEventFilter(this);
        }
    }
    updateTimer();
}

void FlashPlayer::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    stopTicking();
}

bool FlashPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::WindowStateChange) {
        updateTimer();
    }
    return QWidget::eventFilter(watched, event);
}

void FlashPlayer::command(const std::function<void(swf::TimelineInstance &)> &change)
{
    if (!m_root) {
        return;
    }
    // The clock first, then the change of course.
    catchUp();
    change(*m_root);
    pictureMayHaveChanged();
    updateTimer();
}

void FlashPlayer::play()
{
    command([this](swf::TimelineInstance &root) {
        if (!root.isPlaying() && !m_loop && root.currentFrame() + 1 >= root.frameCount()) {
            root.gotoFrame(0);
        }
        root.setPlaying(true);
    });
}

void FlashPlayer::pause()
{
    command([](swf::TimelineInstance &root) { root.setPlaying(false); });
}

void FlashPlayer::rewind()
{
    command([](swf::TimelineInstance &root) {
        root.gotoFrame(0);
        root.setPlaying(false);
    });
}

void FlashPlayer::forward()
{
    command([](swf::TimelineInstance &root) {
        root.gotoFrame(root.currentFrame() + 1);
        root.setPlaying(false);
    });
}

void FlashPlayer::back()
{
    command([](swf::TimelineInstance &root) {
        root.gotoFrame(root.currentFrame() - 1);
        root.setPlaying(false);
    });
}

void FlashPlayer::setLooping(bool loop)
{
    m_loop = loop;
    command([loop](swf::TimelineInstance &root) { root.setLooping(loop); });
}

void FlashPlayer::setHighQuality(bool high)
{
    m_highQuality = high;
    if (m_renderer) {
        m_renderer->setAntialiasing(high);
    }
    update();
}

void FlashPlayer::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    const bool full = m_settings.menu.isEmpty() || m_settings.isTrue(m_settings.menu);
    if (full && m_root) {
        QAction *playAction
            = menu.addAction(tr("Play"), this, [this](bool on) { on ? play() : pause(); });
        playAction->setCheckable(true);
        playAction->setChecked(isPlaying());
        QAction *loopAction = menu.addAction(tr("Loop"), this, [this](bool on) { setLooping(on); });
        loopAction->setCheckable(true);
        loopAction->setChecked(m_loop);
        menu.addSeparator();
        menu.addAction(tr("Rewind"), this, &FlashPlayer::rewind);
        menu.addAction(tr("Forward"), this, &FlashPlayer::forward);
        menu.addAction(tr("Back"), this, &FlashPlayer::back);
        menu.addSeparator();
        QMenu *quality = menu.addMenu(tr("Quality"));
        QAction *low = quality->addAction(tr("Low"), this, [this] { setHighQuality(false); });
        QAction *high = quality->addAction(tr("High"), this, [this] { setHighQuality(true); });
        low->setCheckable(true);
        high->setCheckable(true);
        low->setChecked(!m_highQuality);
        high->setChecked(m_highQuality);
        menu.addSeparator();
    }
    menu.addAction(tr("About the animation player"))->setEnabled(false);
    menu.exec(event->globalPos());
}

QWidget *createFlashPlayer(QWidget *parent, const QByteArray &settings)
{
    const FlashSettings s = decodeFlashSettings(settings);
    return new FlashPlayer(s, parent);
}

void registerFlashPlayer()
{
    platform::registerComponent(platform::flashPlayerClass, &createFlashPlayer);
}

} // namespace animation
