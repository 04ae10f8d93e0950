#include <array>
#include <limits>
#include <utility>

#include "preset/mini_melody.h"

namespace tul {

namespace {

// Upper limits (exclusive) in ascending order; the first limit above the tempo
// gives its word. The last range runs to the largest 64-bit value.
constexpr std::array<std::pair<std::int64_t, std::string_view>, 19> kTempoScale = {{
    {20, "Larghissimo"},
    {41, "Grave"},
    {46, "Lento"},
    {51, "Largo"},
    {56, "Larghetto"},
    {66, "Adagio"},
    {70, "Adagietto"},
    {73, "Andante moderato"},
    {78, "Andante"},
    {84, "Andantino"},
    {86, "Marcia moderato"},
    {98, "Moderato"},
    {110, "Allegretto"},
    {133, "Allegro"},
    {141, "Vivace"},
    {151, "Vivacissimo"},
    {168, "Allegrissimo"},
    {178, "Presto"},
    {std::numeric_limits<std::int64_t>::max(), "Prestissimo"},
}};

}  // namespace

std::string_view MiniMelody::tempoMarking() const {
  for (const auto& [limit, word] : kTempoScale) {
    if (bpm < limit) return word;
  }
  return kTempoScale.back().second;  // bpm is the largest 64-bit value
}

}  // namespace tul
