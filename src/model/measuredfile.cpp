// Readers of the measured data files, one layout each; measuredfile_read.cpp collects the files.

#include "src/model/measuredfile.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <cmath>

#include "src/model/measuredfile_type.h"

namespace
{
const char* const BALLBAR_HEADER = "B89.4.1_Data:Version=1:Type=BallBar";
const char* const LASER_ZARNIK_HEADER = "Zarnik_Raw_Measurement:Version=1:Type=Laser";
const char* const ISO_ZARNIK_HEADER = "B89.4.10360_Raw_Measurement:Version=1:Type=Five_Laser";
const char* const LASER_LUMETRA_HEADER = "Lumetra_Data:Version=1:Type=Laser";
const char* const ISO_LUMETRA_HEADER = "Lumetra_Data:Version=1:Type=Laser_10360";
const char* const MCG_ROOT = "MCG_Measurement_Data";
// A ball bar row: the name, then length, two sphere centres, two form values, the probe.
const int BALLBAR_NUMBERS = 12;
// A Lumetra line: six readings and the two temperatures.
const int LUMETRA_FIELDS = 8;

// Caps that keep reading bounded whatever a file holds, each ten times or more what a real file
// needs. A text line: a row of numbers is about a hundred characters, a ball bar row adds the
// measurement's name.
const int MAXIMUM_LINE = 4096;
// A laser run at 0.1 mm steps over 5 m, both ways, is 100,000 readings.
const int MAXIMUM_LINE_READINGS = 1000000;
// A gauge in 36 positions of 144 points is 5,184 points.
const int MAXIMUM_MCG_POINTS = 100000;
// Each row is a measurement of its own; a few hundred are many.
const int MAXIMUM_BALLBAR_ROWS = 10000;

// The lines of a text, one at a time, without their line ends (a file written on another
// system may end them in CR LF). A line longer than MAXIMUM_LINE ends the text.
class TLineReader
{
public:
  explicit TLineReader(QIODevice* device) : d_device(device) {}

  bool Next(QByteArray* line)
  {
    if(d_too_long || d_device->atEnd())
    {
      return false;
    }
    // One buffer for every line: a long run has a million of them.
    if(d_buffer.size() < MAXIMUM_LINE + 4)
    {
      d_buffer.resize(MAXIMUM_LINE + 4);
    }
    const qint64 read = d_device->readLine(d_buffer.data(), d_buffer.size());
    if(read < 0)
    {
      return false;
    }
    ++d_number;
    int size = static_cast<int>(read);
    const bool ended = size > 0 && d_buffer.at(size - 1) == '\n';
    if(ended)
    {
      --size;
    }
    if(size > 0 && d_buffer.at(size - 1) == '\r')
    {
      --size;
    }
    if(size > MAXIMUM_LINE || (!ended && !d_device->atEnd()))
    {
      d_too_long = true;
      return false;
    }
    *line = QByteArray(d_buffer.constData(), size);
    return true;
  }

  // The 1-based number of the line read last.
  int Number() const { return d_number; }
  bool Too_Long() const { return d_too_long; }
  QString Too_Long_Reason() const
  {
    return QStringLiteral("line %1: longer than %2 characters").arg(d_number).arg(MAXIMUM_LINE);
  }

private:
  QIODevice* d_device;
  QByteArray d_buffer;
  int d_number = 0;
  bool d_too_long = false;
};

bool Number(const QString& text, double* value)
{
  bool ok = false;
  *value = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(*value);
}

// "x,y,z" of three finite numbers.
bool Triple(const QString& text, TVector3* vector)
{
  const QStringList parts = text.split(QLatin1Char(','));
  return parts.size() == 3 && Number(parts[0], &vector->x) && Number(parts[1], &vector->y) &&
         Number(parts[2], &vector->z);
}

bool Fail(QString* error, const QString& reason)
{
  *error = reason;
  return false;
}

QString Line_Reason(int number, const QString& what)
{
  return QStringLiteral("line %1: %2").arg(number).arg(what);
}

// A Zarnik target, kept small: a long run holds a million of them next to the readings.
struct TTarget
{
  TVector3 target;
  int point = 0;
  bool forward = true;
};

QByteArray First_Line(const QByteArray& text)
{
  const int end = text.indexOf('\n');
  QByteArray line = end < 0 ? text : text.left(end);
  if(line.endsWith('\r'))
  {
    line.chop(1);
  }
  return line;
}

// The text of the element the reader is at, with that of its children, as the DOM gives it.
QString Element_Text(QXmlStreamReader* xml)
{
  return xml->readElementText(QXmlStreamReader::IncludeChildElements);
}
} // namespace

namespace Measured
{
// The layout from the start of a file.
TFileType File_Type(const QByteArray& head)
{
  const QByteArray first = First_Line(head);
  if(first == BALLBAR_HEADER)
  {
    return TFileType::BALLBAR;
  }
  if(first == LASER_ZARNIK_HEADER || first == ISO_ZARNIK_HEADER)
  {
    return TFileType::ZARNIK;
  }
  if(first == LASER_LUMETRA_HEADER || first == ISO_LUMETRA_HEADER)
  {
    return TFileType::LUMETRA;
  }
  if(head.startsWith("<?xml") && head.contains(MCG_ROOT))
  {
    return TFileType::MCG;
  }
  return TFileType::OTHER;
}

bool Parse_Ballbar(QIODevice* device, std::vector<TSet>* sets, QString* error)
{
  TLineReader lines(device);
  QByteArray line;
  if(!lines.Next(&line) || line != BALLBAR_HEADER)
  {
    return Fail(error, lines.Too_Long() ? lines.Too_Long_Reason() : QStringLiteral("not a ball bar file"));
  }
  // The rows follow the rule of hyphens.
  bool rule = false;
  while(!rule && lines.Next(&line))
  {
    rule = line.startsWith("-----");
  }
  if(!rule)
  {
    return Fail(error, lines.Too_Long() ? lines.Too_Long_Reason()
                                        : QStringLiteral("ball bar file incomplete (no column rule)"));
  }
  std::vector<TSet> read;
  while(lines.Next(&line))
  {
    const QString text = QString::fromLatin1(line);
    if(text.trimmed().isEmpty())
    {
      continue;
    }
    if(read.size() >= static_cast<std::size_t>(MAXIMUM_BALLBAR_ROWS))
    {
      return Fail(error,
                  QStringLiteral("more than %1 rows, the most read from one ball bar file").arg(MAXIMUM_BALLBAR_ROWS));
    }
    // The name may hold commas: the numbers are the last twelve fields.
    const QStringList fields = text.split(QLatin1Char(','));
    if(fields.size() < BALLBAR_NUMBERS + 1)
    {
      return Fail(error, Line_Reason(lines.Number(), QStringLiteral("not a ball bar row")));
    }
    const int first = fields.size() - BALLBAR_NUMBERS;
    double numbers[BALLBAR_NUMBERS];
    for(int value = 0; value < BALLBAR_NUMBERS; ++value)
    {
      if(!Number(fields[first + value], &numbers[value]))
      {
        return Fail(error, Line_Reason(lines.Number(), QStringLiteral("not a ball bar row")));
      }
    }
    TSet set;
    set.kind = TKind::BALLBAR;
    set.name = QStringList(fields.mid(0, first)).join(QLatin1Char(','));
    TReading reading;
    reading.values[0] = numbers[0];
    reading.target = TVector3(numbers[1], numbers[2], numbers[3]);
    reading.second = TVector3(numbers[4], numbers[5], numbers[6]);
    set.probe = TVector3(numbers[9], numbers[10], numbers[11]);
    reading.line = lines.Number();
    set.readings.push_back(reading);
    read.push_back(std::move(set));
  }
  if(lines.Too_Long())
  {
    return Fail(error, lines.Too_Long_Reason());
  }
  if(read.empty())
  {
    return Fail(error, QStringLiteral("ball bar file without rows"));
  }
  for(TSet& set : read)
  {
    sets->push_back(std::move(set));
  }
  return true;
}

bool Parse_Ballbar(const QByteArray& text, std::vector<TSet>* sets, QString* error)
{
  QBuffer buffer;
  buffer.setData(text);
  buffer.open(QIODevice::ReadOnly);
  return Parse_Ballbar(&buffer, sets, error);
}

namespace
{
// The targets of a Zarnik file: its probe offset and the "Point:" lines of its measurement block.
bool Parse_Zarnik(TLineReader* lines, bool laser, TVector3* probe, std::vector<TTarget>* targets, QString* error)
{
  // The first of each marker counts, wherever it is; a fault is reported in the order of the
  // checks below, so the whole file is looked through first.
  bool probe_found = false;
  QString probe_text;
  enum
  {
    BEFORE,
    INSIDE,
    AFTER
  } block = BEFORE;
  bool end_first = false;
  QString target_error;
  QByteArray line;
  while(lines->Next(&line))
  {
    if(!probe_found && line.startsWith("Probe_Offset:"))
    {
      probe_found = true;
      probe_text = QString::fromLatin1(line.mid(13));
    }
    if(block == BEFORE)
    {
      if(line == "Measurement_Begin:")
      {
        block = end_first ? AFTER : INSIDE;
      }
      else if(line == "Measurement_End:")
      {
        end_first = true;
      }
      continue;
    }
    if(block == AFTER)
    {
      if(probe_found)
      {
        break;
      }
      continue;
    }
    if(line == "Measurement_End:")
    {
      block = AFTER;
      continue;
    }
    if(!line.startsWith("Point:") || !target_error.isEmpty())
    {
      continue;
    }
    if(targets->size() >= static_cast<std::size_t>(MAXIMUM_LINE_READINGS))
    {
      target_error = QStringLiteral("Zarnik file with more than %1 targets, the most read from one file")
                         .arg(MAXIMUM_LINE_READINGS);
      continue;
    }
    const QStringList fields = QString::fromLatin1(line.mid(6)).split(QLatin1Char(','));
    TTarget target;
    bool ok = fields.size() == 5;
    if(ok)
    {
      target.point = fields[0].toInt(&ok);
    }
    const QString pass = ok ? fields[1] : QString();
    ok = ok && (laser ? (pass == QLatin1String("F") || pass == QLatin1String("B"))
                      : (pass == QLatin1String("A") || pass == QLatin1String("B")));
    ok = ok && Number(fields[2], &target.target.x) && Number(fields[3], &target.target.y) &&
         Number(fields[4], &target.target.z);
    if(!ok)
    {
      target_error = QStringLiteral("Zarnik file ") + Line_Reason(lines->Number(), QStringLiteral("not a target"));
      continue;
    }
    target.forward = pass != QLatin1String("B");
    targets->push_back(target);
  }
  if(lines->Too_Long())
  {
    return Fail(error, QStringLiteral("Zarnik file ") + lines->Too_Long_Reason());
  }
  if(!probe_found || !Triple(probe_text, probe))
  {
    return Fail(error, QStringLiteral("Zarnik file without a probe offset"));
  }
  if(block == BEFORE || end_first || block == INSIDE)
  {
    return Fail(error, QStringLiteral("Zarnik file incomplete (no measurement block)"));
  }
  if(!target_error.isEmpty())
  {
    return Fail(error, target_error);
  }
  return true;
}

// The readings of a Lumetra file, each joined to its target; an ISO test keeps the B rows.
bool Parse_Lumetra(TLineReader* lines, bool iso, const std::vector<TTarget>& targets, std::vector<TReading>* readings,
                   QString* error)
{
  bool begun = false;
  bool ended = false;
  bool end_first = false;
  std::size_t count = 0;
  QString row_error;
  QByteArray line;
  while(!ended && lines->Next(&line))
  {
    if(!begun)
    {
      if(line == ":Data_Begin")
      {
        begun = !end_first;
        ended = end_first;
      }
      else if(line == ":Data_End")
      {
        end_first = true;
      }
      continue;
    }
    if(line == ":Data_End")
    {
      ended = true;
      continue;
    }
    const QString text = QString::fromLatin1(line);
    if(!row_error.isEmpty() || text.trimmed().isEmpty())
    {
      continue;
    }
    const QStringList fields = text.split(QLatin1Char(','));
    TReading reading;
    bool ok = fields.size() == LUMETRA_FIELDS;
    for(int value = 0; ok && value < 6; ++value)
    {
      ok = Number(fields[value], &reading.values[value]);
    }
    if(!ok)
    {
      row_error = QStringLiteral("Lumetra file ") + Line_Reason(lines->Number(), QStringLiteral("not a reading"));
      continue;
    }
    // Readings beyond the targets are only counted, for the message.
    if(count < targets.size())
    {
      const TTarget& target = targets[count];
      reading.line = lines->Number();
      reading.target = target.target;
      reading.forward = target.forward;
      reading.point = target.point;
      // ISO: A holds the zero reading; B the length.
      if(!iso || !target.forward)
      {
        readings->push_back(reading);
      }
    }
    ++count;
  }
  if(lines->Too_Long())
  {
    return Fail(error, QStringLiteral("Lumetra file ") + lines->Too_Long_Reason());
  }
  if(!begun || !ended)
  {
    return Fail(error, QStringLiteral("Lumetra file incomplete (no data block)"));
  }
  if(!row_error.isEmpty())
  {
    return Fail(error, row_error);
  }
  if(count != targets.size())
  {
    return Fail(error, QStringLiteral("%1 targets but %2 readings").arg(targets.size()).arg(count));
  }
  return true;
}
} // namespace

bool Parse_Line(QIODevice* zarnik, QIODevice* lumetra, TSet* set, QString* error)
{
  TLineReader zarnik_lines(zarnik);
  TLineReader lumetra_lines(lumetra);
  QByteArray zarnik_header;
  QByteArray lumetra_header;
  zarnik_lines.Next(&zarnik_header);
  lumetra_lines.Next(&lumetra_header);
  if(zarnik_lines.Too_Long() || lumetra_lines.Too_Long())
  {
    return Fail(error, zarnik_lines.Too_Long() ? QStringLiteral("Zarnik file ") + zarnik_lines.Too_Long_Reason()
                                               : QStringLiteral("Lumetra file ") + lumetra_lines.Too_Long_Reason());
  }
  const bool laser = zarnik_header == LASER_ZARNIK_HEADER;
  const bool iso = zarnik_header == ISO_ZARNIK_HEADER;
  if(!(laser && lumetra_header == LASER_LUMETRA_HEADER) && !(iso && lumetra_header == ISO_LUMETRA_HEADER))
  {
    return Fail(error, QStringLiteral("the Zarnik and Lumetra headers are not those of one laser run or ISO test"));
  }
  set->kind = laser ? TKind::LASER : TKind::ISO;
  std::vector<TTarget> targets;
  if(!Parse_Zarnik(&zarnik_lines, laser, &set->probe, &targets, error))
  {
    return false;
  }
  set->readings.clear();
  // Exactly what the readings need: a long run then never holds a grown copy besides.
  set->readings.reserve(targets.size());
  return Parse_Lumetra(&lumetra_lines, iso, targets, &set->readings, error);
}

bool Parse_Line(const QByteArray& zarnik_text, const QByteArray& lumetra_text, TSet* set, QString* error)
{
  QBuffer zarnik;
  zarnik.setData(zarnik_text);
  zarnik.open(QIODevice::ReadOnly);
  QBuffer lumetra;
  lumetra.setData(lumetra_text);
  lumetra.open(QIODevice::ReadOnly);
  return Parse_Line(&zarnik, &lumetra, set, error);
}

} // namespace Measured

namespace
{
// What an MCG document holds, gathered in one pass. The first element of each name counts, as
// the DOM's first child; a fault is reported in the order of Parse_MCG's checks, so the whole
// document is read first.
struct TMcgDocument
{
  bool root = false;
  bool probe_seen = false;
  bool pivot_seen = false;
  bool points_seen = false;
  bool offset_seen = false;
  bool location_seen = false;
  QString offset_text;
  QString location_text;
  QString point_error; // the first gauge point that is not read
};

// The Point_XYZ element the reader is at: one more reading, unless a point failed before.
void Read_Point(QXmlStreamReader* xml, std::vector<Measured::TReading>* readings, QString* point_error)
{
  Measured::TReading reading;
  reading.line = static_cast<int>(xml->lineNumber());
  const QString text = Element_Text(xml);
  if(!point_error->isEmpty())
  {
    return;
  }
  if(readings->size() >= static_cast<std::size_t>(MAXIMUM_MCG_POINTS))
  {
    *point_error =
        QStringLiteral("MCG file with more than %1 gauge points, the most read from one file").arg(MAXIMUM_MCG_POINTS);
  }
  else if(!Triple(text, &reading.target))
  {
    *point_error = QStringLiteral("MCG file with an unreadable gauge point");
  }
  else
  {
    readings->push_back(reading);
  }
}

void Read_MCG_Document(QXmlStreamReader* xml, TMcgDocument* document, std::vector<Measured::TReading>* readings)
{
  enum
  {
    OTHER,
    PROBE,
    PIVOT,
    POINTS
  } parent = OTHER;
  int depth = 0;
  while(!xml->atEnd())
  {
    const QXmlStreamReader::TokenType token = xml->readNext();
    if(token == QXmlStreamReader::EndElement)
    {
      --depth;
      continue;
    }
    if(token != QXmlStreamReader::StartElement)
    {
      continue;
    }
    ++depth;
    const QStringRef name = xml->qualifiedName();
    if(depth == 1)
    {
      document->root = name == QLatin1String(MCG_ROOT);
      continue;
    }
    if(!document->root)
    {
      continue;
    }
    if(depth == 2)
    {
      parent = OTHER;
      if(!document->probe_seen && name == QLatin1String("Probe"))
      {
        document->probe_seen = true;
        parent = PROBE;
      }
      else if(!document->pivot_seen && name == QLatin1String("Pivot_Sphere_Initial"))
      {
        document->pivot_seen = true;
        parent = PIVOT;
      }
      else if(!document->points_seen && name == QLatin1String("Gauge_Points"))
      {
        document->points_seen = true;
        parent = POINTS;
      }
      continue;
    }
    if(depth != 3)
    {
      continue;
    }
    if(parent == PROBE && !document->offset_seen && name == QLatin1String("Probe_Offset_XYZ"))
    {
      document->offset_seen = true;
      document->offset_text = Element_Text(xml);
      --depth;
    }
    else if(parent == PIVOT && !document->location_seen && name == QLatin1String("Location_XYZ"))
    {
      document->location_seen = true;
      document->location_text = Element_Text(xml);
      --depth;
    }
    else if(parent == POINTS && name == QLatin1String("Point_XYZ"))
    {
      Read_Point(xml, readings, &document->point_error);
      --depth;
    }
  }
}
} // namespace

namespace Measured
{
bool Parse_MCG(QIODevice* device, TSet* set, QString* error)
{
  QXmlStreamReader xml(device);
  xml.setNamespaceProcessing(false);
  set->readings.clear();
  TMcgDocument document;
  Read_MCG_Document(&xml, &document, &set->readings);
  if(xml.hasError())
  {
    return Fail(error, QStringLiteral("XML error at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
  }
  if(!document.root)
  {
    return Fail(error, QStringLiteral("not an MCG file"));
  }
  set->kind = TKind::MCG;
  if(!document.probe_seen || !document.pivot_seen)
  {
    return Fail(error, QStringLiteral("MCG file without probe or pivot sphere"));
  }
  if(!Triple(document.offset_text, &set->probe) || !Triple(document.location_text, &set->pivot))
  {
    return Fail(error, QStringLiteral("MCG file with an unreadable probe offset or pivot location"));
  }
  if(!document.point_error.isEmpty())
  {
    return Fail(error, document.point_error);
  }
  if(set->readings.empty())
  {
    return Fail(error, QStringLiteral("MCG file without gauge points"));
  }
  return true;
}

bool Parse_MCG(const QByteArray& text, TSet* set, QString* error)
{
  QBuffer buffer;
  buffer.setData(text);
  buffer.open(QIODevice::ReadOnly);
  return Parse_MCG(&buffer, set, error);
}

} // namespace Measured
