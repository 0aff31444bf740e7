#pragma once

#include <cstdint>

// Milliseconds of a steady clock, wrapping as an unsigned 32-bit number.
uint32_t GetTickCount();
