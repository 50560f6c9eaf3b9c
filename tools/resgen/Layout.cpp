#include "Layout.h"

namespace resgen {

std::vector<Button> Buttons() {
    std::vector<Button> b;
    for (int i = 0; i < 5; ++i) {
        b.push_back({14 + 17 * i, 372, Symbol::None});
        b.push_back({14 + 17 * i, 385, Symbol::None});
    }
    for (int y : {370, 383, 396}) b.push_back({193, y, Symbol::None});
    b.push_back({kDrillButtonX, kDrillButtonY, Symbol::None});
    for (int x : {160, 776}) {
        b.push_back({x, 372, Symbol::ArrowUp});
        b.push_back({x, 385, Symbol::ArrowDown});
    }
    b.push_back({720, 403, Symbol::Dot});
    b.push_back({737, 403, Symbol::Square});
    b.push_back({754, 403, Symbol::Triangle});
    return b;
}

std::vector<KeyPlace> KeyPlaces() {
    // Pitch classes from C; black keys sit at these offsets from the next white key.
    constexpr int outlineOf[12] = {2, 10, 3, 10, 4, 5, 10, 6, 10, 7, 10, 8};
    constexpr int blackOffset[12] = {0, -5, 0, -3, 0, 0, -6, 0, -4, 0, -2, 0};
    std::vector<KeyPlace> keys;
    int whites = 0;
    for (int k = 0; k < 88; ++k) {
        const int pc = (k + 21) % 12;
        int outline = outlineOf[pc];
        if (k == 0) outline = 0;
        if (k == 2) outline = 1;
        if (k == 87) outline = 9;
        if (outline == 10) {
            const int offset = k == 1 ? -4 : blackOffset[pc];
            keys.push_back({kKeysLeft + kWhiteW * whites + offset, 10});
        } else {
            keys.push_back({kKeysLeft + kWhiteW * whites, outline});
            ++whites;
        }
    }
    return keys;
}

void OutlineColumns(int outline, int& first, int& last) {
    constexpr int columns[10][2] = {{0, 7}, {4, 11}, {0, 6}, {3, 8}, {5, 11},
                                    {0, 5}, {2, 7}, {4, 9}, {6, 11}, {0, 11}};
    first = columns[outline][0];
    last = columns[outline][1];
}

}  // namespace resgen
