#pragma once
// The platform's services for the player's real-time layer: the backend's audio device, its
// millisecond tick count and its thread, as the layer takes them. Whoever starts a player (the
// demo's start-up, xmplay) hands these in.
#include "xmplayer_realtime.h"

RealtimeServices platformRealtimeServices();
