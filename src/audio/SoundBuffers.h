#pragma once

#include "audio/AudioOutput.h"
#include "audio/Engine.h"
#include "audio/OutputFormat.h"
#include "audio/SoundLibrary.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

// The sound-buffer library's calls, each one call of the old C library (DsCalls.cpp keeps
// them by their old names). Handles are 32-bit, 0 = none; a stale, freed or unknown
// handle is ignored. Volume and pan are hundredths of a decibel (volume 0 = full, -10000 and
// below = silence; pan < 0 lowers the right channel by |pan| / 100 dB, pan > 0 the left);
// frequency is Hz, the buffer frames played per second, clamped to 1..400000.
// Any thread but the audio thread may call; the library's lock puts the calls in one order, so
// a MIDI controller's thread can trigger through the same playBufferWith as the UI. None waits for
// the audio thread. Opening, reformatting and terminating may block while the device opens or
// closes; createSoundBuffer blocks while it decodes.
namespace mt {

// Opens the default sound device at 44.1 kHz, 16 bit, stereo, 128-frame (~3 ms) blocks. `window`
// and `level` are accepted for the caller's sake; output never depends on window focus. Returns the
// library handle, 0 when there is no usable device (the program then runs silent).
std::int32_t openSoundLibrary(std::intptr_t window, std::int32_t level);

// As openSoundLibrary, on the performer's choice of audio system, device and block length, and
// at once in `format` when it is given and the device takes it (else at 44.1 kHz, 16 bit,
// stereo as openSoundLibrary): a format change right after opening would close a stream that a
// server may still hold back, which waits.
std::int32_t openSoundLibraryOn(const OutputChoice& choice, const OutputFormat* format = nullptr);

// Reopens the library's output on another audio system, device or block length; the format,
// buffers and voices stay. Non-zero on success; 0 when it cannot open, which reopens the
// previous choice.
std::int32_t setLibraryOutput(std::int32_t library, const OutputChoice& choice);

// Opens a library on a given output (a device, or an OfflineOutput a test pulls from).
// 0 when the output refuses `config`.
std::int32_t openSoundLibraryWith(std::unique_ptr<AudioOutput> output,
                                  const OutputConfig& config = {}, std::int16_t bits = 16);

// Buffers keep sounding whatever window has the focus; here they always do, so this only
// records the caller's wish.
void setLibraryGlobalFocus(bool global);

// Reopens the output in place at this rate (Hz), bits (8 quantises with dither; 16, 24, 32
// play at full resolution) and channels (1 mixes left and right). Buffers and voices carry
// on. Non-zero on success; 0 when the device refuses, which leaves the previous format.
std::int32_t setLibraryFormat(std::int32_t library, std::int32_t sampleRate, std::int16_t bits,
                              std::int16_t channels);

// Device block in frames (32..4096). Non-zero on success. The block's length in time is what
// the library keeps: a later format change picks as many frames as fill it at the new rate.
std::int32_t setLibraryBlockFrames(std::int32_t library, std::int32_t frames);

// Closes the output and releases the library and every buffer it made.
void closeSoundLibrary(std::int32_t library);

// Decodes the whole WAV file image [image, image + size) into a new buffer, ready to play
// when this returns; the caller may free the image at once. `flags` is accepted for the
// caller's sake. 0 on failure, with a reason in libraryLastError(library).
std::int32_t createSoundBuffer(std::int32_t library, const void* image, std::size_t size,
                               std::int32_t flags);

// As createSoundBuffer with samples already decoded (on any thread); the library owns them from
// here. Null samples are a failed decode: 0, and `reason` becomes libraryLastError(library).
std::int32_t adoptSoundBuffer(std::int32_t library, std::unique_ptr<SampleBuffer> samples,
                              const QString& reason);

// A Japanese sentence telling why the last createSoundBuffer of this library failed.
QString libraryLastError(std::int32_t library);

// Fades the buffer out if it sounds and releases it; its memory goes once the audio thread
// has let go.
void freeSoundBuffer(std::int32_t buffer);

// Restart from the first frame, once or looping, with the buffer's last volume, pan and
// frequency (at first 0, 0 and the file's own rate). Sound still playing fades out beneath.
void playBuffer(std::int32_t buffer);
void playBufferLooping(std::int32_t buffer);

// As playBuffer / playBufferLooping with new settings, which the buffer keeps.
void playBufferWith(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                    std::int32_t frequency);
void playBufferLoopingWith(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                           std::int32_t frequency);

// Fades out over a few milliseconds and rewinds to the first frame.
void stopBuffer(std::int32_t buffer);

// As playBufferWith / playBufferLoopingWith and stopBuffer, at output frame `frame` of the
// library's frame clock; the play starts from the buffer's frame `from`. Until the frame
// comes, cancelBufferSchedule drops them. A frame already mixed acts at once.
void playBufferAt(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                  std::int32_t frequency, bool looping, std::int64_t frame, std::int64_t from);
void stopBufferAt(std::int32_t buffer, std::int64_t frame);
void cancelBufferSchedule(std::int32_t buffer);

// The library's output frame clock: its mix rate (0 while no stream renders, or for an unknown
// library) and the first frame a request made now lands on exactly. Never blocks on the audio
// thread.
int libraryFrameRate(std::int32_t library);
std::int64_t libraryFrameHorizon(std::int32_t library);
// The same frames for threads that send in time with them; null for an unknown library.
std::shared_ptr<const OutputClock> libraryOutputClock(std::int32_t library);
// `listener` hears of every render of the library's engine from now on, on the audio thread
// (null: none; an unknown library: ignored). The one it replaces may go once
// this returns.
void setLibraryBlockListener(std::int32_t library, BlockListener* listener);

// Change a buffer's settings; a sounding buffer glides to them across one block.
void setBufferVolume(std::int32_t buffer, std::int32_t volume);
void setBufferPan(std::int32_t buffer, std::int32_t pan);
void setBufferFrequency(std::int32_t buffer, std::int32_t frequency);
// The buffer belongs to track `track` (0..7; -1 none): on an output with a pair per track its
// sound plays there too (SoundLibrary::route).
void routeBufferToTrack(std::int32_t buffer, int track);

// Deletes what the audio thread has finished with and resends requests a full command ring
// held back. Every call does this on the way; a UI timer calls it when nothing else happens.
void collectLibrary(std::int32_t library);

// How the library's output is doing: the stream, its underruns and load, whether it is being
// reopened after it died, a refused format. False for an unknown library. Reading takes the
// peak load. Never blocks.
bool libraryHealth(std::int32_t library, LibraryHealth& health);

// Whether the buffer sounds, where it is and how loud its last block was. False for an
// unknown handle. Never blocks on the audio thread.
bool bufferStatus(std::int32_t buffer, VoiceStatus& status);

// The buffer's outline for drawing, made when it was decoded; null for an unknown handle.
std::shared_ptr<const WaveOverview> bufferOverview(std::int32_t buffer);

// The frames the buffer holds (what was decoded, not what its file declared); -1 for an
// unknown handle.
std::int64_t bufferFrames(std::int32_t buffer);
// The buffer's samples, for reading on another thread (they outlive the buffer while held);
// null for an unknown handle.
std::shared_ptr<const SampleBuffer> bufferSamples(std::int32_t buffer);

// The largest sample of the library's whole output over the last few hundredths of a second,
// before limiting (above 1: clipped); 0 for an unknown library. Never blocks on the audio
// thread.
float libraryMasterPeak(std::int32_t library);

} // namespace mt
