// Random numbers from a 15-bit linear congruential generator.
#pragma once

namespace rt {

// min plus the next draw modulo (max - min + 1); reversed bounds are swapped. The first
// call seeds the generator from the system's random source unless a seed was set.
int RandomNumber(int min, int max);

// Sets the generator's state (tests use a fixed seed to check the draw rule).
void SeedRandomNumber(unsigned seed);

}  // namespace rt
