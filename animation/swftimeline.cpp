#include "animation/swftimeline.h"

#include <algorithm>

namespace animation::swf {

TimelineInstance::TimelineInstance(
    const Movie &movie, const Timeline &timeline, PlaybackBudget &budget, int nesting)
    : m_movie(movie)
    , m_timeline(timeline)
    , m_budget(budget)
    , m_nesting(nesting)
{
    ++m_budget.liveInstances;
}

TimelineInstance::~TimelineInstance()
{
    m_list.clear();
    --m_budget.liveInstances;
}

void TimelineInstance::start()
{
    if (m_nesting == 0) {
        m_budget.commandsLeft = m_budget.maxCommandsPerTick;
    }
    m_frame = -1;
    m_list.clear();
    if (frameCount() == 0) {
        return;
    }
    applyFrame(0);
    m_frame = 0;
    runActions(m_budget.maxJumpsPerTick);
}

bool TimelineInstance::tick()
{
    if (m_nesting == 0) {
        m_budget.commandsLeft = m_budget.maxCommandsPerTick;
    }
    bool changed = false;
    for (auto &[depth, obj] : m_list) {
        if (obj.sprite) {
            changed = obj.sprite->tick() || changed;
        }
    }
    if (!m_playing || frameCount() <= 1) {
        return changed;
    }
    if (m_frame + 1 >= frameCount() && !m_looping) {
        m_playing = false;
        return changed;
    }
    const int next = m_frame + 1 >= frameCount() ? 0 : m_frame + 1;
    gotoFrame(next);
    runActions(m_budget.maxJumpsPerTick);
    return true;
}

bool TimelineInstance::isStill() const
{
    if (m_playing && frameCount() > 1) {
        return false;
    }
    return std::all_of(m_list.begin(), m_list.end(),
        [](const auto &entry) { return !entry.second.sprite || entry.second.sprite->isStill(); });
}

namespace {

template <typename T> void appendRaw(QByteArray &out, T value)
{
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace

void TimelineInstance::appendPictureState(QByteArray &out) const
{
    appendRaw(out, qint32(m_list.size()));
    for (const auto &[depth, obj] : m_list) {
        appendRaw(out, qint32(depth));
        appendRaw(out, qint32(obj.characterId));
        const QTransform &m = obj.matrix;
        for (const qreal v :
            { m.m11(), m.m12(), m.m13(), m.m21(), m.m22(), m.m23(), m.m31(), m.m32(), m.m33() }) {
            appendRaw(out, double(v));
        }
        for (int i = 0; i < 4; ++i) {
            appendRaw(out, obj.cxform.mult[i]);
            appendRaw(out, obj.cxform.add[i]);
        }
        appendRaw(out, qint32(obj.ratio));
        appendRaw(out, qint32(obj.clipDepth));
        appendRaw(out, char(obj.sprite ? 1 : 0));
        if (obj.sprite) {
            obj.sprite->appendPictureState(out);
        }
    }
}

void TimelineInstance::gotoFrame(int frame)
{
    frame = std::clamp(frame, 0, std::max(0, frameCount() - 1));
    if (frame == m_frame || frameCount() == 0) {
        return;
    }
    if (frame > m_frame) {
        for (int f = m_frame + 1; f <= frame; ++f) {
            applyFrame(f);
        }
    } else {
        std::map<int, DisplayObject> previous = std::move(m_list);
        m_list.clear();
        m_previous = &previous;
        for (int f = 0; f <= frame; ++f) {
            applyFrame(f);
        }
        m_previous = nullptr;
    }
    m_frame = frame;
}

void TimelineInstance::applyFrame(int frame)
{
    for (const PlaceCommand &cmd : m_timeline.frames[std::size_t(frame)].commands) {
        if (--m_budget.commandsLeft < 0) {
            return;
        }
        apply(cmd);
    }
}

std::unique_ptr<TimelineInstance> TimelineInstance::makeSprite(int characterId)
{
    const Character *ch = m_movie.character(characterId);
    if (!ch || ch->kind != Character::SpriteKind || m_nesting + 1 > m_budget.maxNesting
        || m_budget.liveInstances >= m_budget.maxInstances) {
        return nullptr;
    }
    auto sprite = std::make_unique<TimelineInstance>(m_movie, *ch->sprite, m_budget, m_nesting + 1);
    sprite->start();
    return sprite;
}

void TimelineInstance::apply(const PlaceCommand &cmd)
{
    if (cmd.remove) {
        m_list.erase(cmd.depth);
        return;
    }
    auto it = m_list.find(cmd.depth);
    DisplayObject *obj = nullptr;
    if (it != m_list.end() && cmd.move) {
        obj = &it->second;
        if (cmd.characterId >= 0 && cmd.characterId != obj->characterId) {
            obj->characterId = cmd.characterId;
            obj->sprite = makeSprite(cmd.characterId);
        }
    } else if (cmd.characterId >= 0) {
        if (it == m_list.end() && int(m_list.size()) >= m_budget.maxObjectsPerList) {
            return;
        }
        DisplayObject fresh;
        fresh.characterId = cmd.characterId;
        DisplayObject &slot = m_list[cmd.depth];
        slot = std::move(fresh);
        obj = &slot;
        auto kept
            = m_previous ? m_previous->find(cmd.depth) : std::map<int, DisplayObject>::iterator();
        if (m_previous && kept != m_previous->end() && kept->second.characterId == cmd.characterId
            && kept->second.sprite) {
            obj->sprite = std::move(kept->second.sprite);
        } else {
            obj->sprite = makeSprite(cmd.characterId);
        }
    } else {
        return; // a move of an empty depth
    }
    if (cmd.matrix) {
        obj->matrix = *cmd.matrix;
    }
    if (cmd.cxform) {
        obj->cxform = *cmd.cxform;
    }
    if (cmd.ratio) {
        obj->ratio = *cmd.ratio;
    }
    if (cmd.clipDepth > 0 || !cmd.move) {
        obj->clipDepth = cmd.clipDepth;
    }
}

void TimelineInstance::runActions(int jumpsLeft)
{
    if (m_frame < 0 || m_frame >= frameCount()) {
        return;
    }
    const auto &actions = m_timeline.frames[std::size_t(m_frame)].actions;
    int target = -1;
    for (const Action &a : actions) {
        switch (a.kind) {
        case Action::Play:
            m_playing = true;
            break;
        case Action::Stop:
            m_playing = false;
            break;
        case Action::NextFrame:
            target = std::min(m_frame + 1, frameCount() - 1);
            m_playing = false;
            break;
        case Action::PrevFrame:
            target = std::max(m_frame - 1, 0);
            m_playing = false;
            break;
        case Action::GotoFrame:
            target = a.frame;
            if (a.hasPlayFlag) {
                m_playing = a.andPlay;
            }
            break;
        case Action::GotoLabel: {
            auto it = m_timeline.labels.constFind(a.label);
            if (it != m_timeline.labels.constEnd()) {
                target = it.value();
                if (a.hasPlayFlag) {
                    m_playing = a.andPlay;
                }
            }
            break;
        }
        }
    }
    if (target >= 0 && jumpsLeft > 0) {
        target = std::clamp(target, 0, frameCount() - 1);
        if (target != m_frame) {
            gotoFrame(target);
            runActions(jumpsLeft - 1);
        }
    }
}

} // namespace animation::swf
