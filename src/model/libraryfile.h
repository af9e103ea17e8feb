#ifndef LIBRARYFILE_H
#define LIBRARYFILE_H

#include <QDomElement>
#include <QSet>
#include <QString>

class TXmlFile;

// Helpers shared by the machine and the measurement library.
namespace LibraryFile
{
// A name split into a base and a trailing number, as unique names are made from it.
struct TNameParts
{
  QString base;
  qint64 number = 0;
};

// White space simplified; a name that is then empty gives empty_base and 0; a trailing number
// of up to ten digits after letters, blanks and underscores is split off (0 when it is too
// large for an int); otherwise the whole simplified name with 0.
TNameParts Split_Name(const QString& name, const QString& empty_base);

// The base alone when number + count is 0, otherwise "<base> <number + count>".
QString Name_Candidate(const TNameParts& parts, qint64 count);

// The first candidate from count on that no name in taken (case-folded) holds; count is left
// at it and the name is added to taken, so that the next call counts on from there.
QString Take_Free_Name(const TNameParts& parts, qint64& count, QSet<QString>& taken);

// Reads the library from data, or from the file set on xml when data is null, and returns
// the file's version.
int Open(TXmlFile& xml, const QByteArray* data, const QString& identification);

// Writes the file set on xml; when keep_unloaded_file is set and that file exists, it is
// first kept as a copy; the flag is cleared before the write.
void Write(const TXmlFile& xml, bool& keep_unloaded_file);

// The text of the required child element name. An element without text (an empty element,
// or blanks, which the DOM drops) reads as an empty text instead of failing the whole load.
QString Element_Text(const TXmlFile& xml, const QDomElement& parent, const QString& name);

// Copies the file to "<file>.bak", replacing an older copy; throws TXmlFileException
// (DATA_ERROR) when that fails, so that the file is not replaced without its copy.
void Keep_Copy(const QString& file_name);
} // namespace LibraryFile

#endif
