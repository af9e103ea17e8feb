// Feeds arbitrary bytes to the laser and ISO parser: the Zarnik text, a NUL byte, the Lumetra
// text.
#include "fuzz/measured_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const QByteArray bytes = Fuzz_Measured::Bytes(data, size);
  const int split = bytes.indexOf('\0');
  const QByteArray zarnik = split < 0 ? bytes : bytes.left(split);
  const QByteArray lumetra = split < 0 ? QByteArray() : bytes.mid(split + 1);
  Measured::TSet set;
  QString error;
  const bool accepted = Measured::Parse_Line(zarnik, lumetra, &set, &error);
  Fuzz_Measured::Check(accepted, error);
  if(accepted)
  {
    Fuzz_Measured::Check_Set(set);
  }
  return 0;
}
