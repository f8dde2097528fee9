#pragma once
// Inside the library: the loaded module behind the C interface's handle, for the real-time layer.
struct Module;
struct xmplayer_module;

// nullptr for nullptr.
const Module* xmplayerModule(const xmplayer_module* module);
