// Feeds arbitrary bytes to the MCG file parser.
#include "fuzz/measured_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  Measured::TSet set;
  QString error;
  const bool accepted = Measured::Parse_MCG(Fuzz_Measured::Bytes(data, size), &set, &error);
  Fuzz_Measured::Check(accepted, error);
  if(accepted)
  {
    if(set.readings.empty())
    {
      Fuzz_Measured::Fail("an MCG file accepted without points");
    }
    Fuzz_Measured::Check_Set(set);
  }
  return 0;
}
