#include <gtest/gtest.h>

#include <limits>

#include "preset/mini_melody.h"

namespace tul {
namespace {

// Each word from its lowest tempo on; the tempo just below belongs to the word before.
TEST(TempoMarking, EveryBoundaryMapsToItsWord) {
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  const std::pair<std::int64_t, std::string_view> words[] = {
      {kMin, "Larghissimo"}, {20, "Grave"},     {41, "Lento"},           {46, "Largo"},
      {51, "Larghetto"},     {56, "Adagio"},    {66, "Adagietto"},       {70, "Andante moderato"},
      {73, "Andante"},       {78, "Andantino"}, {84, "Marcia moderato"}, {86, "Moderato"},
      {98, "Allegretto"},    {110, "Allegro"},  {133, "Vivace"},         {141, "Vivacissimo"},
      {151, "Allegrissimo"}, {168, "Presto"},   {178, "Prestissimo"},
  };
  MiniMelody melody = MiniMelody::defaultMelody();
  const auto marking = [&](std::int64_t bpm) {
    melody.bpm = bpm;
    return melody.tempoMarking();
  };
  for (std::size_t i = 0; i < std::size(words); ++i) {
    const auto [lowest, word] = words[i];
    EXPECT_EQ(marking(lowest), word) << "bpm " << lowest;
    if (i > 0) {
      EXPECT_EQ(marking(lowest - 1), words[i - 1].second) << "bpm " << lowest - 1;
    }
  }
  EXPECT_EQ(marking(0), "Larghissimo");
  EXPECT_EQ(marking(kMax), "Prestissimo");
}

}  // namespace
}  // namespace tul
