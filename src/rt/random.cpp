#define _CRT_RAND_S
#include "rt/random.h"

#include <stdlib.h>

#include <cstdint>
#include <utility>

namespace rt {
namespace {

struct Generator {
  bool seeded = false;
  std::uint32_t state = 1;
};

Generator& TheGenerator() {
  static Generator generator;
  return generator;
}

// A fresh state for each run, so runs do not repeat one nonce sequence.
std::uint32_t SystemSeed() {
  unsigned value = 0;
  if (rand_s(&value) != 0) value = 1;
  return value;
}

int NextDraw() {
  Generator& g = TheGenerator();
  if (!g.seeded) {
    g.state = SystemSeed();
    g.seeded = true;
  }
  g.state = g.state * 214013u + 2531011u;
  return static_cast<int>((g.state >> 16) & 0x7fff);
}

}  // namespace

int RandomNumber(int min, int max) {
  if (min > max) std::swap(min, max);
  const std::int64_t span = static_cast<std::int64_t>(max) - min + 1;
  return static_cast<int>(min + NextDraw() % span);
}

void SeedRandomNumber(unsigned seed) {
  Generator& g = TheGenerator();
  g.state = seed;
  g.seeded = true;
}

}  // namespace rt
