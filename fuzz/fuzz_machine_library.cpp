// Feeds arbitrary bytes to the machine library reader. Whatever loads must save, and the saved
// file must load again to as many records: the writer never produces a file its reader refuses.
#include <QByteArray>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "src/model/machinelibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  static QTemporaryDir directory;

  TMachineLibrary library;
  library.Set_Data_Path(directory.path());
  if(!library.Load_Data(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size))))
  {
    return 0;
  }

  // The queries walk every record.
  const QStringList names = library.Machine_Names();
  for(const TMachineLibrary::TMachineItem& machine : library.Machines())
  {
    library.Map_Error_Items(machine.id);
    if(library.Machine_Id(machine.name) < 0 || library.Generate_Unique_Name(-1, machine.name).isEmpty())
    {
      std::fprintf(stderr, "a loaded name cannot be found or renamed\n");
      std::abort();
    }
  }

  if(!library.Save())
  {
    // Texts XML cannot store never come out of an XML file.
    std::fprintf(stderr, "save failed: %s\n", qPrintable(library.Last_Error()));
    std::abort();
  }
  TMachineLibrary reread;
  reread.Set_Data_Path(directory.path());
  if(!reread.Load_Data() || reread.Machine_Names().size() != names.size())
  {
    std::fprintf(stderr, "saved file does not load back: %s\n", qPrintable(reread.Last_Error()));
    std::abort();
  }
  return 0;
}
