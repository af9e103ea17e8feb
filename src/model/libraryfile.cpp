#include "src/model/libraryfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <limits>

#include "core/xmlfile.h"

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

int Open(TXmlFile& xml, const QByteArray* data, const QString& identification)
{
  int version = 0;
  if(data)
  {
    xml.Open_Data(*data, identification, &version, true);
  }
  else
  {
    xml.Open(identification, &version, true);
  }
  return version;
}

void Write(const TXmlFile& xml, bool& keep_unloaded_file)
{
  if(keep_unloaded_file && QFileInfo::exists(xml.File_Name()))
  {
    Keep_Copy(xml.File_Name());
  }
  keep_unloaded_file = false;
  xml.Write_File(false);
}

QString Element_Text(const TXmlFile& xml, const QDomElement& parent, const QString& name)
{
  const QDomElement element = xml.Get_Node(&parent, name, false);
  return xml.Read_Text_Node(&element, true);
}

void Keep_Copy(const QString& file_name)
{
  const QString copy_name = file_name + QStringLiteral(".bak");
  if(QFile::exists(copy_name))
  {
    QFile::remove(copy_name);
  }
  if(!QFile::copy(file_name, copy_name))
  {
    throw TXmlFileException(
        QStringLiteral("ERR:  Cannot keep the file '%1' that did not load as '%2'").arg(file_name, copy_name),
        TXmlFileException::DATA_ERROR);
  }
}
} // namespace LibraryFile
