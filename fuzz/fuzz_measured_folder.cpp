// Feeds arbitrary bytes to the reader of measured data folders: the input, split at NUL bytes,
// becomes up to five files under the names the export gives (and one it does not), which are
// then read as a folder and one by one.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "fuzz/measured_checks.h"

namespace
{
const char* const NAMES[] = {"Ballbar Measurements.dat", "Zarnik Run.dat", "Lumetra Run.dat", "MCG Gauge.xml",
                             "notes.txt"};

void Check(const Measured::TCollection& collection)
{
  for(const Measured::TSet& set : collection.sets)
  {
    Fuzz_Measured::Check_Set(set);
    if(set.file.isEmpty() || set.readings_file.isEmpty())
    {
      Fuzz_Measured::Fail("a set without its file");
    }
  }
  for(const Measured::TProblem& problem : collection.problems)
  {
    if(problem.file.isEmpty() || problem.reason.isEmpty())
    {
      Fuzz_Measured::Fail("a problem without a file or a reason");
    }
  }
  for(const Measured::TDuplicate& duplicate : collection.duplicates)
  {
    if(duplicate.file.isEmpty() || duplicate.same_as.isEmpty())
    {
      Fuzz_Measured::Fail("a duplicate without its files");
    }
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  QTemporaryDir folder;
  const QDir directory(folder.path());
  const QList<QByteArray> parts = Fuzz_Measured::Bytes(data, size).split('\0');
  QStringList files;
  for(int index = 0; index < parts.size() && index < 5; ++index)
  {
    QFile file(directory.filePath(QLatin1String(NAMES[index])));
    if(!file.open(QIODevice::WriteOnly) || file.write(parts[index]) != parts[index].size())
    {
      Fuzz_Measured::Fail("the input could not be written");
    }
    files << file.fileName();
  }
  Check(Measured::Read({folder.path()}));
  Check(Measured::Read(files + files));
  return 0;
}
