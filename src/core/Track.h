#pragma once

#include "files/SetExtras.h"

#include <QString>

#include <cstdint>

namespace mt {

inline constexpr int kTrackCount = 8;
// Choke groups 1..kChokeGroups; group 1 is the lone-wolf group.
inline constexpr int kChokeGroups = 4;
inline constexpr int kNormalSpeed = 4410; // the speed bar at the file's own pace
// The mix bars' ranges: dB, pan units, tens of hertz on the 44.1 kHz scale.
inline constexpr int kMinVolume = -70, kMaxVolume = 0;
inline constexpr int kMinPan = -40, kMaxPan = 40;
inline constexpr int kMinSpeed = 5, kMaxSpeed = 9000;

// Whether a track was last started or stopped. A one-shot that has run out stays Playing
// until it is stopped: this is what its button shows, not what the output hears.
enum class PlayState { Stopped, Playing };

// Whether the track's sound is being decoded in the background, or let go while the sound
// device is closed and waiting to be made again. Neither is loaded: the key and PLAY do
// nothing until the sound is ready.
enum class LoadState { Idle, Loading, AwaitingDevice };

// The keep-pitch sound of a track: None while it needs none (tape, or its own tempo and pitch)
// or has it; Rendering while a new one is made in the background (the track plays what it
// had meanwhile); Failed when the last one could not be made (the track plays its tape sound).
enum class RenderState { None, Rendering, Failed };

// Everything one of the eight tracks is: its file and the format read from it, its sound
// buffer, its mix settings as the performer set them, and its place in the performance.
struct Track {
    QString path;            // full path of the sound file
    QString fileName;        // file name alone, the track's title
    std::int32_t buffer = 0; // sound buffer handle; 0 when there is none
    bool loaded = false;     // holds a playable file (never without a buffer)
    LoadState loadState = LoadState::Idle;
    int loadPercent = -1;        // the decode's progress while loading; -1 until the first report
    float rateRatio = 1.0f;      // 44100 / the file's rate
    std::int32_t sampleRate = 0; // Hz
    float frames = 0.0f;         // length in the file's own frames
    float length44k = 0.0f;      // length in frames at 44.1 kHz
    double duration = 0.0;       // seconds at the current speed, 3 decimals

    int volume = 0;                  // dB, -70..0
    int pan = 0;                     // -40 (left) .. 40 (right)
    int speed = kNormalSpeed;        // tens of hertz on the 44.1 kHz scale, 5..9000
    bool loop = false;               // plays looping
    bool hold = false;               // sounds only while its key is held
    QString ratio;                   // the tempo ratio's text: "/2", "基準", "*4", "" for none
    bool fineSpeed = false;          // the speed bar steps by 1 and 10 rather than 10 and 100
    Stretch stretch = Stretch::Tape; // KeepPitch: the speed bar moves the tempo alone
    int pitchCents = 0;              // KeepPitch's shift, kMinPitchCents..kMaxPitchCents

    // The keep-pitch sound: its buffer (0: none, the track plays `buffer`) and the speed and
    // pitch it was rendered for; the render under way or failed, its progress and why it failed.
    std::int32_t rendered = 0;
    int renderedSpeed = kNormalSpeed;
    int renderedPitch = 0;
    RenderState renderState = RenderState::None;
    int renderPercent = -1; // while rendering; -1 until the first report
    QString renderError;    // the last failure's reason, shown until the next render

    Quantise quantise = Quantise::Off; // where a start the performer asks for lands
    bool stopOnGrid = false;           // the performer's stops wait for the grid too
    // Armed: the output frame its start is scheduled at, and whether it loops then; -1 none.
    std::int64_t startFrame = -1;
    bool startLooping = false;
    std::int64_t stopFrame = -1; // a stop waiting for the grid: its frame; -1 none

    // The choke group it belongs to: 0 none, 1 the lone-wolf group (F3 and O; no set stores
    // it, so it stays across an open), 2..kChokeGroups the others, which a set's companion keeps.
    std::uint8_t chokeGroup = 0;
    bool keyHeld = false; // its performance key is down
    PlayState state = PlayState::Stopped;
    bool looping = false; // the sound last started loops

    bool playing() const { return state == PlayState::Playing; }
    bool loading() const { return loadState == LoadState::Loading; }
    bool armed() const { return startFrame >= 0; }
    bool keepsPitch() const { return stretch == Stretch::KeepPitch; }
    bool loneWolf() const { return chokeGroup == 1; }
    // The buffer the track sounds through: its keep-pitch sound when it has one.
    std::int32_t sounding() const { return rendered != 0 ? rendered : buffer; }
};

// Seconds that `length44k` frames at 44.1 kHz play for at speed-bar value `speed` (tens of
// hertz on the 44.1 kHz scale), rounded half up to 3 decimals.
double TrackDurationSeconds(float length44k, int speed);

// "(" + number + ")トラックのＷＡＶは移動もしくは削除されています。割り当て直してください"
QString TrackMovedMessage(int index);

} // namespace mt
