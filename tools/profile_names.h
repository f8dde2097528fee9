#pragma once
// The player's profiles as the tools name them in their messages, "auto" last: "default, ft2, pt,
// st3 or auto".
#include <cstdio>
#include <string>

#include "xmplayer.h"

inline std::string profileNames() {
    std::string names;
    const int count = xmplayer_profile_count();
    for (int i = 0; i < count; ++i) names += std::string(i == 0 ? "" : ", ") + xmplayer_profile_name(i);
    return names + " or " + xmplayer_profile_name(XMPLAYER_PROFILE_AUTO);
}

// One line per profile, "auto" last, each its name and what it plays like, `indent` spaces in.
inline void printProfiles(FILE* to, int indent) {
    for (int i = 0; i < xmplayer_profile_count(); ++i)
        std::fprintf(to, "%*s%-8s %s\n", indent, "", xmplayer_profile_name(i), xmplayer_profile_description(i));
    std::fprintf(to, "%*s%-8s %s\n", indent, "", xmplayer_profile_name(XMPLAYER_PROFILE_AUTO),
                 xmplayer_profile_description(XMPLAYER_PROFILE_AUTO));
}
