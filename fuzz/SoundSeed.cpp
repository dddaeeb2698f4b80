// Writes a short sound file of one format for the fuzzer to start from, so that its first
// minutes are spent past the format's headers:
//   fuzz_sound_seed flac|ogg|opus|mp3|aiff <path>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

int main(int argc, char** argv) {
    struct Kind {
        const char* name;
        int format;
    };
    const Kind kinds[] = {{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                          {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                          {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                          {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                          {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}};
    const Kind* kind = nullptr;
    for (const Kind& k : kinds) {
        if (argc == 3 && std::strcmp(argv[1], k.name) == 0) {
            kind = &k;
        }
    }
    if (kind == nullptr) {
        std::fprintf(stderr, "usage: fuzz_sound_seed flac|ogg|opus|mp3|aiff <path>\n");
        return 2;
    }
    // A tenth of a second of a mono tone at 8 kHz: small, yet a few frames of every codec.
    constexpr int kRate = 8000;
    std::vector<float> tone(kRate / 10);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / kRate));
    }
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = kind->format;
    SNDFILE* file = sf_open(argv[2], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "fuzz_sound_seed: %s\n", sf_strerror(nullptr));
        return 1;
    }
    sf_writef_float(file, tone.data(), static_cast<sf_count_t>(tone.size()));
    sf_close(file);
    return 0;
}
