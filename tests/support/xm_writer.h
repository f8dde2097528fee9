#pragma once
// The tests build their modules with the same XM writer as the song generator.
#include "tools/xm_writer.h"
