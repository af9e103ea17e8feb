#include "src/model/libraryfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <limits>

#include "core/safefile.h"
#include "core/xmlfile.h"
#include "core/xmltree.h"
#include "core/xmlwriter.h"

namespace LibraryFile
{
TNameParts Split_Name(const QString& name, const QString& empty_base)
{
  TNameParts parts;
  const QString simplified = name.simplified();
  if(simplified.isEmpty())
  {
    parts.base = empty_base;
    return parts;
  }

  // The second class spells A-z, which also admits [ \ ] ^ and the backquote: names made
  // that way by earlier versions keep splitting the same way.
  static const QRegularExpression pattern(QStringLiteral("^([A-Za-z_ ][A-za-z_ ]*)([0-9]{1,10})$"));
  const QRegularExpressionMatch match = pattern.match(simplified);
  if(!match.hasMatch())
  {
    parts.base = simplified;
    return parts;
  }

  parts.base = match.captured(1).trimmed();
  bool valid = false;
  const int number = match.captured(2).toInt(&valid, 10);
  parts.number = valid ? number : 0;
  return parts;
}

QString Name_Candidate(const TNameParts& parts, qint64 count)
{
  const qint64 number = parts.number + count;
  if(number == 0)
  {
    return parts.base;
  }
  // One call with both: a base that holds "%1" itself must not take the number.
  return QStringLiteral("%1 %2").arg(parts.base, QString::number(number));
}

QString Take_Free_Name(const TNameParts& parts, qint64& count, QSet<QString>& taken)
{
  while(taken.contains(Name_Candidate(parts, count).toCaseFolded()))
  {
    ++count;
  }
  const QString name = Name_Candidate(parts, count);
  taken.insert(name.toCaseFolded());
  return name;
}

int Open(TXmlFile& xml, const QByteArray* data, const QString& identification, TXmlTree* tree)
{
  int version = 0;
  if(data)
  {
    xml.Open_Data(*data, identification, &version, true, tree);
  }
  else
  {
    xml.Open(identification, &version, true, tree);
  }
  return version;
}

void Write(const QString& file_name, const std::function<bool(TSafeFile*)>& write, bool& keep_unloaded_file)
{
  // A link or a FIFO in the place of the file is neither copied (a FIFO would block) nor
  // replaced.
  const QString problem = SafeFile::Target_Problem(file_name);
  if(!problem.isEmpty())
  {
    throw TXmlFileException(QStringLiteral("ERR:  Cannot write file '%1'.  Reason: %2").arg(file_name, problem),
                            TXmlFileException::DATA_ERROR);
  }
  if(keep_unloaded_file && QFileInfo::exists(file_name))
  {
    Keep_Copy(file_name);
  }
  keep_unloaded_file = false;
  TXmlFile::Write_Through(file_name, write);
}

QString Element_Text(const TXmlTree& xml, const TXmlTree::TElement& parent, const QString& name)
{
  const TXmlTree::TElement element = xml.Get_Node(&parent, name, false);
  return xml.Read_Text_Node(&element, true);
}

void Keep_Copy(const QString& file_name)
{
  QString copy_name = file_name + QStringLiteral(".bak");
  // A dangling link counts as taken: it is someone's, and a copy must not go through it.
  const auto taken = [](const QString& name) { return QFileInfo::exists(name) || QFileInfo(name).isSymLink(); };
  for(int number = 1; taken(copy_name); ++number)
  {
    copy_name = QStringLiteral("%1.bak.%2").arg(file_name).arg(number);
  }
  if(!QFile::copy(file_name, copy_name))
  {
    throw TXmlFileException(
        QStringLiteral("ERR:  Cannot keep the file '%1' that did not load as '%2'").arg(file_name, copy_name),
        TXmlFileException::DATA_ERROR);
  }
}
} // namespace LibraryFile

TLibraryFile::TLibraryFile(const char* file_name, const char* identification, int write_version, const char* what)
    : d_file_name(file_name), d_identification(identification), d_write_version(write_version), d_what(what)
{
}

QString TLibraryFile::File_Name() const
{
  return QStringLiteral("%1/%2").arg(d_data_path, QLatin1String(d_file_name));
}

bool TLibraryFile::Load_Data()
{
  return Load(nullptr);
}

bool TLibraryFile::Load_Data(const QByteArray& data)
{
  return Load(&data);
}

bool TLibraryFile::Load(const QByteArray* data)
{
  TXmlFile xml;
  xml.Set_File_Name(File_Name());
  TXmlTree tree;
  bool loaded = true;
  d_load_warnings.clear();
  if(!data)
  {
    d_keep_unloaded_file = false;
  }
  try
  {
    const int version = LibraryFile::Open(xml, data, QLatin1String(d_identification), &tree);
    if(!Read_Version(tree, version))
    {
      // A file of a version this program cannot read is reported, not taken for an empty
      // library, and is not replaced without a copy.
      throw TXmlFileException(QStringLiteral("ERR:  File_Version '%1' is not a version this program reads")
                                  .arg(tree.Root_Node()->attribute(QStringLiteral("File_Version"))),
                              TXmlFileException::DATA_ERROR);
    }
  }
  catch(const TXmlFileException& exception)
  {
    d_last_error = QStringLiteral("ERR:  Loading %1 exception: %2").arg(QLatin1String(d_what), exception.Message());
    if(!data && QFileInfo::exists(File_Name()))
    {
      d_keep_unloaded_file = true;
    }
    loaded = false;
  }
  // A save would drop what was left out: the file as it was is kept first.
  if(!data && !d_load_warnings.isEmpty() && QFileInfo(File_Name()).isFile())
  {
    d_keep_unloaded_file = true;
  }

  Name_Unnamed_Records();
  return loaded;
}

void TLibraryFile::Leave_Out(int line, const QString& reason)
{
  d_load_warnings.push_back(QStringLiteral("%1:%2: %3").arg(File_Name()).arg(line).arg(reason));
}

bool TLibraryFile::Save_Data() const
{
  if(!d_modified)
  {
    return true;
  }
  if(!Save())
  {
    return false;
  }
  d_modified = false;
  return true;
}

QByteArray TLibraryFile::Snapshot() const
{
  TXmlWriter xml;
  try
  {
    xml.Reset(QLatin1String(d_identification), d_write_version, true);
    Write_Records(xml);
  }
  catch(const TXmlFileException&)
  {
    return QByteArray();
  }
  return xml.Data();
}

bool TLibraryFile::Restore(const QByteArray& snapshot)
{
  Clear_Records();
  const bool loaded = Load_Data(snapshot);
  d_modified = true;
  return loaded;
}

bool TLibraryFile::Save() const
{
  // A library that the user linked to a file elsewhere (a synchronised folder) is written
  // there, and the link stays; any other link or special file is refused by the write.
  QString file_name = File_Name();
  const QFileInfo info(file_name);
  if(info.isSymLink() && QFileInfo(info.canonicalFilePath()).isFile())
  {
    file_name = info.canonicalFilePath();
  }
  return Write(file_name, d_keep_unloaded_file);
}

bool TLibraryFile::Save_As(const QString& file_name) const
{
  // A file of the user's choice: the message names it with the system's reason, once (the
  // library's "Saving ... exception" wording is for its own file).
  const QFileInfo info(file_name);
  TSafeFile probe(file_name);
  if(info.exists() && !info.isSymLink() && !info.isWritable())
  {
    d_last_error = QStringLiteral("cannot write '%1': %2").arg(file_name, qt_error_string(EACCES));
    return false;
  }
  if(!probe.Open())
  {
    d_last_error = QStringLiteral("cannot write '%1': %2").arg(file_name, probe.Error_String());
    return false;
  }
  probe.Cancel();
  // The copy of an unloaded library file is the library file's business, not this one's.
  bool keep_unloaded_file = false;
  if(!Write(file_name, keep_unloaded_file))
  {
    const int inner = d_last_error.lastIndexOf(QLatin1String("ERR:  "));
    d_last_error = d_last_error.mid(inner < 0 ? 0 : inner + 6);
    return false;
  }
  return true;
}

bool TLibraryFile::Write(const QString& file_name, bool& keep_unloaded_file) const
{
  try
  {
    LibraryFile::Write(
        file_name,
        [this](TSafeFile* file)
        {
          // Straight into the file: a library of tens of thousands of records is never held
          // whole in memory, and a text that cannot be written leaves the old file as it was.
          // A failed write fails every later one, the last included.
          TXmlWriter xml;
          xml.Stream([file](const QByteArray& bytes) { static_cast<void>(file->Write(bytes)); }, 1 << 20);
          xml.Reset(QLatin1String(d_identification), d_write_version, false);
          Write_Records(xml);
          return file->Write(xml.Data());
        },
        keep_unloaded_file);
  }
  catch(const TXmlFileException& exception)
  {
    d_last_error = QStringLiteral("ERR:  Saving %1 exception: %2").arg(QLatin1String(d_what), exception.Message());
    return false;
  }
  return true;
}
