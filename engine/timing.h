#pragma once

#include "clock.h"

#include <cstdint>

namespace engine {

// How the moment a frame reached the window system (a stimulus coming or going) was stamped.
enum class FrameSource {
    Server, // the window system's own clock, read after it had processed the frame
    Flush,  // the monotonic clock, read after the frame was pushed and the window system confirmed it
};

// How the time of a response was taken.
enum class ResponseSource {
    Event,   // the input event's own timestamp, taken by the window system when the input happened
    Arrival, // the monotonic clock, read when the event reached the program
};

// What answered.
enum class InputKind { Key, Left, Right, Middle, Other };

// The moment a frame (the stimulus coming, or the screen turning black) reached the window system.
struct FrameStamp
{
    Microseconds time = 0;
    FrameSource source = FrameSource::Flush;
};

// The moment of one response of the examined person, and what it was.
struct ResponseStamp
{
    Microseconds time = 0;
    ResponseSource source = ResponseSource::Arrival;
    InputKind input = InputKind::Other;
};

// The finer timing of one trial, kept beside the whole milliseconds of the measurement so that it can
// be written to the timing record. Indexed like the reaction times, by program line.
struct TrialTiming
{
    bool armed = false;             // a foreperiod was armed for this line
    std::uint32_t programmedMs = 0; // the foreperiod the line asked for
    Microseconds armedAt = 0;       // when that foreperiod began: the black screen it runs from was out
    bool answered = false;          // a response ended this trial; onset and response are set
    FrameStamp onset;               // the stimulus the reaction time is measured from
    ResponseStamp response;         // the response that ended the trial
};

// A duration in whole milliseconds, rounded to the nearest (halves away from zero).
std::int64_t roundToMilliseconds(Microseconds duration);

} // namespace engine
