#pragma once

#include "animation/flashsettings.h"
#include "animation/swfrenderer.h"
#include "platform/alarm.h"

#include <QCache>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <tuple>

namespace animation {

// The animation player component: fetches its movie over HTTP once, at creation (MovieFetch), and
// plays it looping at the movie's frame rate, fitted whole into the widget ("show all"). In
// transparent mode it paints only what the movie draws. While hidden or minimised it renders
// nothing and its timer is stopped; the playhead catches up with the clock when it is shown again.
// The frames are due a whole number of frame periods after the movie started; a period on the
// wall clock's grid (platform::hasWallClockGrid: 2 frames a second wake at .000 and .500) shows
// each frame at the first point of the grid from its time on, so that the strip wakes the
// program together with the window's other timers.
// A movie that cannot change any more (one frame, or stopped) has no timer at all, and a tick that
// leaves the picture as it is repaints nothing. Each picture is drawn once into a cache bounded
// in bytes, and a looping movie's pictures come back from there.
class FlashPlayer : public QWidget
{
    Q_OBJECT

public:
    // Most frames run at once to catch up after the window was hidden.
    static constexpr int maxCatchUpTicks = 600;
    // Bytes of drawn pictures kept for reuse. Once full it keeps what it has: a loop longer than
    // the cache still finds its first pictures there every round.
    static constexpr qsizetype frameCacheBytes = 2 * 1024 * 1024;

    explicit FlashPlayer(const FlashSettings &settings, QWidget *parent = nullptr);

    const FlashSettings &settings() const { return m_settings; }
    bool hasMovie() const { return m_movie != nullptr; }
    // The playing root timeline, or nullptr before a movie plays.
    const swf::TimelineInstance *timeline() const { return m_root.get(); }
    bool isPlaying() const;
    int currentFrame() const;
    // Pictures drawn so far (not those taken from the cache); stays put while the widget is
    // hidden.
    qint64 framesRendered() const { return m_framesRendered; }
    // Whether the movie runs a timer: shown, and able to change.
    bool isTicking() const { return m_timer.isActive() || m_alarm.isSet(); }
    bool isTransparent() const;

    // Plays a movie from bytes (also used once the fetch completes). Returns false for a file
    // that is not a movie; the widget then stays empty.
    bool loadMovie(const QByteArray &bytes);

    void play();
    void pause();
    void rewind();
    void forward();
    void back();
    void setLooping(bool loop);
    bool isLooping() const { return m_loop; }
    void setHighQuality(bool high);

signals:
    // The fetch ended, with or without a playable movie.
    void movieFetched(bool ok);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void startFetch();
    void startMovie(std::shared_ptr<const swf::Movie> movie);
    void onTimer();
    void onAlarm();
    void scheduleFrame();
    void stopTicking();
    int gridPeriod() const; // the frame period on the wall clock's grid, else 0
    void drawMovie();
    bool canShow() const;
    void updateTimer();
    // Runs the frames due (at least `surelyDue` of them in all); returns whether the picture
    // changed.
    bool catchUp(qint64 surelyDue = 0);
    void pictureMayHaveChanged();
    void updateChangedPart(); // after a tick that changed the picture
    void command(const std::function<void(swf::TimelineInstance &)> &change);
    bool pictureChanged();
    QImage renderFrame(QSize pixels, qreal dpr);
    qint64 dueTicks() const;

    FlashSettings m_settings;
    QTimer m_timer; // for frame periods off the grid
    platform::WallClockAlarm m_alarm; // for the next frame, on the grid
    qint64 m_alarmFrame = 0; // the frame m_alarm is set for
    QElapsedTimer m_clock;
    qint64 m_ticksDone = 0;
    std::shared_ptr<const swf::Movie> m_movie;
    std::unique_ptr<swf::PlaybackBudget> m_budget;
    std::unique_ptr<swf::TimelineInstance> m_root;
    std::unique_ptr<swf::Renderer> m_renderer;
    qint64 m_framesRendered = 0;
    QByteArray m_picture; // the state the current picture depends on
    QByteArray m_shownPicture; // the state of the picture last painted
    QCache<QByteArray, QImage> m_frames; // pictures of m_framesFor, by state
    std::tuple<QSize, qreal, bool> m_framesFor; // pixels, device pixel ratio, quality
    bool m_loop = true;
    bool m_highQuality = true;
    QPointer<QWidget> m_watchedWindow;
};

// Component factory for class platform::flashPlayerClass. Throws platform::SettingsError for a
// settings block it cannot read.
QWidget *createFlashPlayer(QWidget *parent, const QByteArray &settings);

// Registers createFlashPlayer for that class with the component registry.
void registerFlashPlayer();

} // namespace animation
