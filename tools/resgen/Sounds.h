// The game's sounds as samples, ready to be stored as WAVE files.
#pragma once

#include <vector>

namespace resgen {

struct Sound {
    int id;
    int channels;
    std::vector<float> samples;  // interleaved frames, -1..1
};

std::vector<Sound> Sounds();

}  // namespace resgen
