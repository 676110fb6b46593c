// The night at the Thessara Varnock: greeting, a menu of six drinks each
// turn, the reactions, and an ending chosen by how much was drunk.
#pragma once

#include <cstdint>

namespace varnock {

// The game's state; the process starts with it zeroed.
extern std::int16_t DrinkTotal;   // alcohol points drunk tonight
extern std::int16_t FruitOrders;  // times drink 4 was ordered
extern bool NightOver;            // sent away, passed out, or out of input
extern std::int16_t Choice;       // low 16 bits of the number read this turn

// Plays one night on Input and Output. The arguments are ignored. Returns the
// status of the last WriteLn: 0, or -1 when standard output has failed.
std::int32_t Game(std::int32_t argumentCount, char** argumentVector);

}  // namespace varnock
