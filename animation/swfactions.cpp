// Frame actions. The timeline plays only what moves the playhead: play, stop, the frame steps and
// the jumps to a frame or a label, also a gotoAndPlay/gotoAndStop whose frame was pushed as a
// constant just before. Nothing else is run.
#include "animation/swfparser_p.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace animation::swf::detail {

namespace {

// The action codes read here. Codes from 0x80 on are followed by the length of their data.
enum class ActionCode : std::uint8_t {
    End = 0x00,
    NextFrame = 0x04,
    PreviousFrame = 0x05,
    Play = 0x06,
    Stop = 0x07,
    GotoFrame = 0x81,
    GotoLabel = 0x8C,
    DefineFunction2 = 0x8E,
    Try = 0x8F,
    With = 0x94,
    Push = 0x96,
    Jump = 0x99,
    DefineFunction = 0x9B,
    If = 0x9D,
    Call = 0x9E,
    GotoFrame2 = 0x9F,
};

constexpr std::uint8_t firstCodeWithData = 0x80;

// The types of a pushed value that can name a frame.
enum class PushType : std::uint8_t {
    String = 0,
    Float = 1,
    Double = 6,
    Integer = 7,
};

// GotoFrame2 flags.
constexpr int andPlayFlag = 0x01;
constexpr int sceneBiasFlag = 0x02;

// What the last action pushed, when it pushed one constant that can name a frame.
struct Pushed
{
    bool hasNumber = false;
    double number = 0;
    std::optional<QString> string;
};

Action makeAction(Action::Kind kind)
{
    Action a;
    a.kind = kind;
    return a;
}

Pushed readPush(Reader &d)
{
    Pushed pushed;
    switch (PushType(d.u8())) {
    case PushType::String:
        pushed.string = d.cstring();
        break;
    case PushType::Float: {
        const std::uint32_t bits = d.u32();
        float f;
        std::memcpy(&f, &bits, 4);
        pushed.number = f;
        pushed.hasNumber = true;
        break;
    }
    case PushType::Integer:
        pushed.number = double(std::int32_t(d.u32()));
        pushed.hasNumber = true;
        break;
    case PushType::Double: {
        // Two 32-bit halves, the high one first.
        const std::uint64_t hi = d.u32();
        const std::uint64_t lo = d.u32();
        const std::uint64_t bits = (hi << 32) | lo;
        double v;
        std::memcpy(&v, &bits, 8);
        pushed.number = v;
        pushed.hasNumber = true;
        break;
    }
    }
    if (!d.atEnd()) {
        return {}; // more than one value: not a plain constant
    }
    return pushed;
}

// A GotoFrame2 to the pushed frame number (1-based) or label; none when nothing usable was pushed.
std::optional<Action> gotoPushedFrame(Reader &d, const Pushed &pushed)
{
    const int flags = d.u8();
    const int bias = (flags & sceneBiasFlag) ? d.u16() : 0;
    Action a;
    a.hasPlayFlag = true;
    a.andPlay = (flags & andPlayFlag) != 0;
    const double value = pushed.number;
    if (pushed.hasNumber && std::isfinite(value) && value >= 1 && value < 65536) {
        a.kind = Action::GotoFrame;
        a.frame = int(value) - 1 + bias;
        return a;
    }
    if (pushed.string) {
        bool ok = false;
        const int n = pushed.string->toInt(&ok);
        if (ok && n >= 1) {
            a.kind = Action::GotoFrame;
            a.frame = n - 1 + bias;
        } else {
            a.kind = Action::GotoLabel;
            a.label = *pushed.string;
        }
        return a;
    }
    return std::nullopt;
}

} // namespace

std::vector<Action> readActions(Reader &r)
{
    std::vector<Action> actions;
    Pushed pushed;
    while (!r.atEnd()) {
        const std::uint8_t byte = r.u8();
        const auto code = ActionCode(byte);
        if (code == ActionCode::End) {
            break;
        }
        QByteArrayView data;
        if (byte >= firstCodeWithData) {
            data = r.bytes(r.u16());
        }
        Reader d(data);
        switch (code) {
        case ActionCode::NextFrame:
            actions.push_back(makeAction(Action::NextFrame));
            break;
        case ActionCode::PreviousFrame:
            actions.push_back(makeAction(Action::PrevFrame));
            break;
        case ActionCode::Play:
            actions.push_back(makeAction(Action::Play));
            break;
        case ActionCode::Stop:
            actions.push_back(makeAction(Action::Stop));
            break;
        case ActionCode::GotoFrame: {
            Action a = makeAction(Action::GotoFrame);
            a.frame = d.u16();
            actions.push_back(a);
            break;
        }
        case ActionCode::GotoLabel: {
            Action a = makeAction(Action::GotoLabel);
            a.label = d.cstring();
            actions.push_back(a);
            break;
        }
        case ActionCode::Push:
            pushed = readPush(d);
            continue; // what it pushed stays for the next action
        case ActionCode::GotoFrame2:
            if (const std::optional<Action> a = gotoPushedFrame(d, pushed)) {
                actions.push_back(*a);
            }
            break;
        case ActionCode::Jump:
        case ActionCode::If:
        case ActionCode::Call:
        case ActionCode::DefineFunction:
        case ActionCode::DefineFunction2:
        case ActionCode::With:
        case ActionCode::Try:
            // Control flow: what follows is conditional, so none of it is run.
            return actions;
        default:
            break;
        }
        pushed = {};
    }
    return actions;
}

} // namespace animation::swf::detail
