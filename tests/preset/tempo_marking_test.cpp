#include <gtest/gtest.h>

#include <limits>

#include "preset/mini_melody.h"

namespace tul {
namespace {

TEST(TempoMarking, EveryBoundaryMapsToItsWord) {
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::int64_t bpm;
    std::string_view word;
  } cases[] = {
      {kMin, "Larghissimo"}, {-1, "Larghissimo"},       {0, "Larghissimo"},
      {19, "Larghissimo"},   {20, "Grave"},             {40, "Grave"},
      {41, "Lento"},         {45, "Lento"},             {46, "Largo"},
      {50, "Largo"},         {51, "Larghetto"},         {55, "Larghetto"},
      {56, "Adagio"},        {65, "Adagio"},            {66, "Adagietto"},
      {69, "Adagietto"},     {70, "Andante moderato"},  {72, "Andante moderato"},
      {73, "Andante"},       {77, "Andante"},           {78, "Andantino"},
      {83, "Andantino"},     {84, "Marcia moderato"},   {85, "Marcia moderato"},
      {86, "Moderato"},      {97, "Moderato"},          {98, "Allegretto"},
      {109, "Allegretto"},   {110, "Allegro"},          {120, "Allegro"},
      {132, "Allegro"},      {133, "Vivace"},           {140, "Vivace"},
      {141, "Vivacissimo"},  {150, "Vivacissimo"},      {151, "Allegrissimo"},
      {167, "Allegrissimo"}, {168, "Presto"},           {177, "Presto"},
      {178, "Prestissimo"},  {kMax - 1, "Prestissimo"}, {kMax, "Prestissimo"},
  };
  MiniMelody melody = MiniMelody::defaultMelody();
  for (const auto& c : cases) {
    melody.bpm = c.bpm;
    EXPECT_EQ(melody.tempoMarking(), c.word) << "bpm " << c.bpm;
  }
}

TEST(TempoMarking, DefaultPresetIsAllegro) { EXPECT_EQ(MiniMelody::defaultMelody().tempoMarking(), "Allegro"); }

}  // namespace
}  // namespace tul
