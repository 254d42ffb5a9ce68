#pragma once

#include "animation/swfmovie.h"

#include <map>
#include <memory>

namespace animation::swf {

// Shared bookkeeping of one playing movie: bounds on sprite instances and work per tick.
struct PlaybackBudget
{
    int liveInstances = 0;
    int maxInstances = 4096;
    int maxNesting = 12;
    int maxObjectsPerList = 2048;
    int maxJumpsPerTick = 8;
    // Display-list commands applied per tick, over all timelines; the rest are dropped.
    qint64 maxCommandsPerTick = 200000;
    qint64 commandsLeft = 200000;
};

class TimelineInstance;

struct DisplayObject
{
    int characterId = 0;
    QTransform matrix;
    ColorTransform cxform;
    int ratio = 0;
    int clipDepth = 0;
    std::unique_ptr<TimelineInstance> sprite;
};

// The playhead and display list of one timeline: the root or one placed sprite. A sprite moves on
// one frame per parent frame and loops on its own.
class TimelineInstance
{
public:
    TimelineInstance(
        const Movie &movie, const Timeline &timeline, PlaybackBudget &budget, int nesting);
    ~TimelineInstance();
    TimelineInstance(const TimelineInstance &) = delete;
    TimelineInstance &operator=(const TimelineInstance &) = delete;

    // Shows the first frame and runs its actions.
    void start();
    // Moves on by one frame (children first), looping at the end, and runs the new frame's
    // actions. Returns whether anything on this timeline or below it changed frame.
    bool tick();
    // Jumps to a 0-based frame, rebuilding the display list when going back.
    void gotoFrame(int frame);
    void setPlaying(bool playing) { m_playing = playing; }
    // Without looping the playhead stops on the last frame.
    void setLooping(bool looping) { m_looping = looping; }

    // Whether no further tick can change anything on this timeline or below it: it is stopped or
    // has one frame, and so is every sprite it shows. Only a call from outside (play, a jump)
    // moves it again.
    bool isStill() const;
    // Appends what the picture of this timeline depends on, and nothing else: each displayed
    // object's depth, character, placement, colour transform, morph ratio and clipping, with the
    // pictures of the sprites it shows. Equal states draw equal pictures.
    void appendPictureState(QByteArray &out) const;

    int currentFrame() const { return m_frame; }
    int frameCount() const { return m_timeline.frameCount(); }
    bool isPlaying() const { return m_playing; }
    const std::map<int, DisplayObject> &displayList() const { return m_list; }

private:
    void applyFrame(int frame);
    void apply(const PlaceCommand &cmd);
    void runActions(int jumpsLeft);
    std::unique_ptr<TimelineInstance> makeSprite(int characterId);

    const Movie &m_movie;
    const Timeline &m_timeline;
    PlaybackBudget &m_budget;
    int m_nesting;
    int m_frame = -1;
    bool m_playing = true;
    bool m_looping = true;
    std::map<int, DisplayObject> m_list;
    // While going back: the list before the jump, whose lasting sprites keep their playheads.
    std::map<int, DisplayObject> *m_previous = nullptr;
};

} // namespace animation::swf
