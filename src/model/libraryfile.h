#ifndef LIBRARYFILE_H
#define LIBRARYFILE_H

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/xmltree.h"

class QByteArray;
class TSafeFile;
class TXmlFile;
class TXmlWriter;

// The file skeleton of the machine and the measurement library: a data directory, loading from
// the file or from bytes, keeping a file that exists but did not load before the first save
// replaces it, saving only when modified, and naming the records that came without a name.
// A library supplies the reading of one file version, the writing of its records and the
// naming. Problems come back as false with Last_Error; nothing here throws.
class TLibraryFile
{
public:
  virtual ~TLibraryFile() = default;

  void Set_Data_Path(const QString& path) { d_data_path = path; }
  QString Data_Path() const { return d_data_path; }
  // "<data path>/<file name>".
  QString File_Name() const;

  // Reads the file; false with Last_Error when it is missing, unreadable, not a regular file
  // or of a version this program does not read (the records read before the fault are kept).
  bool Load_Data();
  // The same from bytes in memory (no file access).
  bool Load_Data(const QByteArray& data);
  // Saves only when something changed; the flag is cleared on success.
  bool Save_Data() const;
  // Writes the file. A file that existed but did not load is first kept as "<file>.bak".
  bool Save() const;
  // Writes the library to another file (the data directory is not used, no copy is kept).
  bool Save_As(const QString& file_name) const;

  // The records as the file would hold them in one line (TXmlFile's compact form), for undo and
  // the copy kept for recovery; empty when they cannot be written. Safe on any thread.
  QByteArray Snapshot() const;
  // Replaces the records by those of a snapshot and marks the library modified.
  bool Restore(const QByteArray& snapshot);
  // A copy of the records alone, for a Snapshot on another thread while this library changes.
  virtual std::unique_ptr<TLibraryFile> Copy_Records() const = 0;
  QString Last_Error() const { return d_last_error; }
  // What the last load left out of records that it otherwise read (an optional element that
  // breaks a rule of its own), one line each: "<file>:<line>: <what and why>". The file is then
  // kept as a copy before the first save replaces it, as a file that did not load.
  QStringList Load_Warnings() const { return d_load_warnings; }
  bool Is_Modified() const { return d_modified; }
  void Set_Modified(bool modified) { d_modified = modified; }

protected:
  // file_name in the data directory, the identification and version written into the file,
  // and the word of the error texts ("ERR:  Loading <what> exception: ...").
  TLibraryFile(const char* file_name, const char* identification, int write_version, const char* what);
  TLibraryFile(const TLibraryFile&) = default;
  TLibraryFile& operator=(const TLibraryFile&) = default;

  mutable bool d_modified = false;

  // For Read_Version: a part of a record on that line of the file was left out, for the reason.
  void Leave_Out(int line, const QString& reason);

private:
  bool Load(const QByteArray* data);
  bool Write(const QString& file_name, bool& keep_unloaded_file) const;
  // Reads the records of a file of this version; false for a version the library cannot read
  // (the load then fails, and the file is kept before a save replaces it). Throws
  // TXmlFileException.
  virtual bool Read_Version(const TXmlTree& xml, int version) = 0;
  // Writes every record below the root node of the reset xml (the file and the snapshots alike).
  // Throws TXmlFileException.
  virtual void Write_Records(TXmlWriter& xml) const = 0;
  // Drops every record (before a snapshot is restored).
  virtual void Clear_Records() = 0;
  // Gives every record without a name a unique one; runs after every load, also a failed one.
  virtual void Name_Unnamed_Records() = 0;

  const char* d_file_name;
  const char* d_identification;
  int d_write_version;
  const char* d_what;
  QString d_data_path;
  mutable QString d_last_error;
  QStringList d_load_warnings;
  // The file exists but did not load: keep it before the first save replaces it.
  mutable bool d_keep_unloaded_file = false;
};

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

// Reads the library from data, or from the file set on xml when data is null, into tree, and
// returns the file's version.
int Open(TXmlFile& xml, const QByteArray* data, const QString& identification, TXmlTree* tree);

// Writes the document that write streams into the file (through TXmlFile::Write_Through); when
// keep_unloaded_file is set and that file exists, it is first kept as a copy; the flag is
// cleared before the write.
void Write(const QString& file_name, const std::function<bool(TSafeFile*)>& write, bool& keep_unloaded_file);

// The text of the required child element name. An element without text (an empty element,
// or blanks, which the DOM drops) reads as an empty text instead of failing the whole load.
QString Element_Text(const TXmlTree& xml, const TXmlTree::TElement& parent, const QString& name);

// Records taken out of a list with the places they had, in list order.
template <class TRecord> using TTaken = std::vector<std::pair<std::size_t, TRecord>>;

// Takes the records whose id is in ids out of the list, in one pass.
template <class TRecord, class TId_Of>
TTaken<TRecord> Take_Records(std::vector<TRecord>* records, const std::vector<int>& ids, TId_Of id_of)
{
  const std::unordered_set<int> wanted(ids.begin(), ids.end());
  TTaken<TRecord> taken;
  std::vector<TRecord> kept;
  kept.reserve(records->size());
  for(std::size_t position = 0; position < records->size(); ++position)
  {
    TRecord& record = (*records)[position];
    if(wanted.count(id_of(record)))
    {
      taken.emplace_back(position, std::move(record));
    }
    else
    {
      kept.push_back(std::move(record));
    }
  }
  *records = std::move(kept);
  return taken;
}

// Puts records that Take_Records took back in their places, in one pass.
template <class TRecord> void Put_Back_Records(std::vector<TRecord>* records, TTaken<TRecord> taken)
{
  std::vector<TRecord> merged;
  merged.reserve(records->size() + taken.size());
  auto next = taken.begin();
  for(TRecord& record : *records)
  {
    for(; next != taken.end() && next->first <= merged.size(); ++next)
    {
      merged.push_back(std::move(next->second));
    }
    merged.push_back(std::move(record));
  }
  for(; next != taken.end(); ++next)
  {
    merged.push_back(std::move(next->second));
  }
  *records = std::move(merged);
}

// Copies the file to "<file>.bak", or to "<file>.bak.N" with the first N not taken when an older
// copy is there: a copy is the only trace of what did not load and is never replaced. Throws
// TXmlFileException (DATA_ERROR) when that fails, so that the file is not replaced without its
// copy.
void Keep_Copy(const QString& file_name);
} // namespace LibraryFile

#endif
