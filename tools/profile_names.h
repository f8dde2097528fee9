#pragma once
// The player's profiles as the tools name them in their messages: "default or ft2", "a, b or c".
#include <string>

#include "xmplayer.h"

inline std::string profileNames() {
    std::string names;
    const int count = xmplayer_profile_count();
    for (int i = 0; i < count; ++i)
        names += std::string(i == 0 ? "" : i + 1 == count ? " or " : ", ") + xmplayer_profile_name(i);
    return names;
}
