#ifndef MEASUREDFILE_H
#define MEASUREDFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "core/vector3.h"

class QIODevice;

// Readers of measured data in the layouts that "Export Measurements" writes (and that the
// instruments' own programs record): the ball bar file, the Zarnik and Lumetra pair of a laser
// run or an ISO 10360-2 test, and the MCG file. They read what was measured and the nominal
// data written beside it; matching with the measurement records is the identification's job.
// GUI-free; nothing throws: a file that does not parse comes back as a problem line.
namespace Measured
{
enum class TKind
{
  BALLBAR,
  ISO,
  LASER,
  MCG
};

// One measured row.
struct TReading
{
  // Ball bar: sphere 1 centre (probe offset included); laser: the nominal target (probe
  // offset included); ISO: the B target (L_nom, 0, 0); MCG: the gauge point.
  TVector3 target;
  TVector3 second; // ball bar: sphere 2 centre (probe offset included)
  bool forward = true;
  int point = 0; // ISO point number
  // Ball bar: values[0] the length. Laser and ISO: scale, XX, YY, RA, RB, RC.
  double values[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  // The 1-based line of the file that holds the reading (for a laser or ISO run the file with
  // the readings; for an MCG its point), for messages about a suspect reading.
  int line = 0;
};

// The measured data of one measurement.
struct TSet
{
  TKind kind = TKind::BALLBAR;
  QString name; // the measurement it belongs to
  QString file; // the file name (without directory) for messages
  // The file (without directory) that holds the readings: the Lumetra file of a laser or ISO
  // run, otherwise file.
  QString readings_file;
  TVector3 probe;
  TVector3 pivot; // MCG: initial pivot location (probe offset included)
  std::vector<TReading> readings;
};

// A file (or a row of one) that was left out, with the reason.
struct TProblem
{
  QString file;
  QString reason;
};

// A file whose bytes another file given already holds (a copy, a link or the same path twice):
// read once.
struct TDuplicate
{
  QString file;    // the one left out
  QString same_as; // the one read
};

struct TCollection
{
  std::vector<TSet> sets;
  std::vector<TProblem> problems;
  std::vector<TDuplicate> duplicates;
};

// The parsers. Each fills what it read and returns false with a reason when the text is not
// complete and well-formed. They read a device as a stream (text a line at a time, MCG with a
// streaming XML reader) with caps on the line length and the readings of one file, so that
// what they hold stays bounded whatever the input; going over a cap is a reason that names it.
// Every row of a ball bar file; each becomes a set named by its row.
bool Parse_Ballbar(QIODevice* device, std::vector<TSet>* sets, QString* error);
bool Parse_Ballbar(const QByteArray& text, std::vector<TSet>* sets, QString* error);
// A laser run or an ISO test from its Zarnik and Lumetra texts; the kind comes from the headers.
bool Parse_Line(QIODevice* zarnik, QIODevice* lumetra, TSet* set, QString* error);
bool Parse_Line(const QByteArray& zarnik, const QByteArray& lumetra, TSet* set, QString* error);
bool Parse_MCG(QIODevice* device, TSet* set, QString* error);
bool Parse_MCG(const QByteArray& text, TSet* set, QString* error);

// What the batch tool and the window take: a file, a directory (every measured data file in it)
// or NAME=FILE, which gives the measurement name explicitly. A laser or ISO file may be given
// by either of its two files. Only regular files are read (a link to one is followed). A file
// that another one given already holds (the same path twice, a hard link, a copy with the same
// bytes) is read once and noted in duplicates, a pair by its Lumetra files; a directory that
// gives nothing at all, and a folder given as NAME=FILE, are problems.
TCollection Read(const QStringList& paths);
// Every file that Read would take its data from, for the writers that must not replace one: a
// file given (with the partner of a laser or ISO file) and everything a folder given holds, as
// the paths would reach them, whether or not they hold measured data.
QStringList Input_Files(const QStringList& paths);
} // namespace Measured

#endif
