// Feeds arbitrary bytes to the measurement library reader. Whatever loads must save, and the
// saved file must load again to the same names.
#include <QByteArray>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "src/model/measurementlibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  static QTemporaryDir directory;

  TMeasurementLibrary library;
  library.Set_Data_Path(directory.path());
  if(!library.Load_Data(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size))))
  {
    return 0;
  }

  const QStringList names = library.Measurement_Names();
  for(TMeasurement* measurement : library.Measurements(names))
  {
    if(library.Measurement(measurement->d_id) != measurement)
    {
      std::fprintf(stderr, "a loaded measurement cannot be found by its id\n");
      std::abort();
    }
    library.Generate_Unique_Name(measurement->Type(), measurement->d_name, -1);
  }

  if(!library.Save())
  {
    std::fprintf(stderr, "save failed: %s\n", qPrintable(library.Last_Error()));
    std::abort();
  }
  TMeasurementLibrary reread;
  reread.Set_Data_Path(directory.path());
  if(!reread.Load_Data() || reread.Measurement_Names().size() != names.size())
  {
    std::fprintf(stderr, "saved file does not load back: %s\n", qPrintable(reread.Last_Error()));
    std::abort();
  }
  return 0;
}
