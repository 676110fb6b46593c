// The night at the Thessara Varnock: greeting, a menu of six drinks each
// turn, the reactions, and an ending chosen by how much was drunk.
#pragma once

#include <cstdint>

// Game, the night itself, is the game the run-time plays: runtime/runtime.h
// declares it.
#include "runtime/runtime.h"

namespace varnock {

// The game's state; the process starts with it zeroed.
extern std::int16_t DrinkTotal;   // alcohol points drunk tonight
extern std::int16_t FruitOrders;  // times drink 4 was ordered
extern bool NightOver;            // sent away, passed out, or out of input
extern std::int16_t Choice;       // low 16 bits of the number read this turn

}  // namespace varnock
