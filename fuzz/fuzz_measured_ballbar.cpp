// Feeds arbitrary bytes to the ball bar file parser.
#include "fuzz/measured_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  std::vector<Measured::TSet> sets;
  QString error;
  const bool accepted = Measured::Parse_Ballbar(Fuzz_Measured::Bytes(data, size), &sets, &error);
  Fuzz_Measured::Check(accepted, error);
  if(accepted && sets.empty())
  {
    Fuzz_Measured::Fail("a ball bar file accepted without rows");
  }
  for(const Measured::TSet& set : sets)
  {
    Fuzz_Measured::Check_Set(set);
  }
  return 0;
}
