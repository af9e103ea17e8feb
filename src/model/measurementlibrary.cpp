#include "src/model/measurementlibrary.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <array>

#include "core/varlume_assert.h"
#include "core/xmlfile.h"
#include "core/xmltree.h"
#include "core/xmlwriter.h"
#include "src/model/libraryfile.h"

namespace
{
const int FILE_VERSION = 1;

struct TKind
{
  Types::TMeasurementType type;
  const char* element;
  const char* default_name;
};
// In the order in which a file is read.
const std::array<TKind, 4> KINDS = {{{Types::MEASUREMENT_LASER, "Measurement_Laser", "Laser"},
                                     {Types::MEASUREMENT_ISO, "Measurement_ISO", "ISO"},
                                     {Types::MEASUREMENT_MCG, "Measurement_MCG", "MCG"},
                                     {Types::MEASUREMENT_BALLBAR, "Measurement_BallBar", "BallBar"}}};

const TKind* Find_Kind(int type)
{
  const auto kind = std::find_if(KINDS.begin(), KINDS.end(), [type](const TKind& k) { return k.type == type; });
  return kind == KINDS.end() ? nullptr : &*kind;
}

QString Default_Name(int type)
{
  const TKind* kind = Find_Kind(type);
  return kind ? QLatin1String(kind->default_name) : QStringLiteral("Untitled");
}

std::unique_ptr<TMeasurement> New_Measurement(Types::TMeasurementType type)
{
  switch(type)
  {
  case Types::MEASUREMENT_ISO:
    return std::make_unique<TMeasurement_ISO>();
  case Types::MEASUREMENT_LASER:
    return std::make_unique<TMeasurement_Laser>();
  case Types::MEASUREMENT_MCG:
    return std::make_unique<TMeasurement_MCG>();
  case Types::MEASUREMENT_BALLBAR:
    return std::make_unique<TMeasurement_Ballbar>();
  }
  VARLUME_ASSERT(false);
  return nullptr;
}
} // namespace

TMeasurementLibrary::TMeasurementLibrary()
    : TLibraryFile("measurements.xml", "Measurements", FILE_VERSION, "measurements")
{
}

bool TMeasurementLibrary::Read_Version(const TXmlTree& xml, int version)
{
  if(version != FILE_VERSION)
  {
    return false;
  }
  Load_Version1(xml);
  return true;
}

void TMeasurementLibrary::Load_Version1(const TXmlTree& xml)
{
  const TXmlTree::TElement* root = xml.Root_Node();
  for(const TKind& kind : KINDS)
  {
    const QString element_name = QLatin1String(kind.element);
    TXmlTree::TElement node = xml.Get_Node(root, element_name, true);
    while(!node.isNull())
    {
      std::unique_ptr<TMeasurement> measurement = New_Measurement(kind.type);
      measurement->d_name = LibraryFile::Element_Text(xml, node, QStringLiteral("Name"));
      for(const TMeasurementField& field : Measurement_Fields(*measurement))
      {
        const QString text = LibraryFile::Element_Text(xml, node, QLatin1String(field.element));
        if(field.text)
        {
          *field.text = text;
        }
        else
        {
          *field.number = text.toDouble();
        }
      }
      d_measurements.push_back(std::move(measurement));
      d_positions.push_back(node.Position());
      node = xml.Get_Sibling_Node(&node, element_name, true);
    }
  }
}

void TMeasurementLibrary::Name_Unnamed_Records()
{
  // As sequential Generate_Unique_Name calls on an empty name, counting on per kind from the
  // last name given so that many unnamed records stay linear.
  QSet<QString> taken;
  for(const auto& measurement : d_measurements)
  {
    if(!measurement->d_name.simplified().isEmpty())
    {
      taken.insert(measurement->d_name.toCaseFolded());
    }
  }

  qint64 counts[KINDS.size()] = {};
  for(const auto& measurement : d_measurements)
  {
    if(!measurement->d_name.simplified().isEmpty())
    {
      continue;
    }
    const std::size_t kind = static_cast<std::size_t>(
        std::distance(KINDS.begin(), std::find_if(KINDS.begin(), KINDS.end(),
                                                  [&](const TKind& k) { return k.type == measurement->Type(); })));
    const LibraryFile::TNameParts parts = LibraryFile::Split_Name(QString(), Default_Name(measurement->Type()));
    measurement->d_name = LibraryFile::Take_Free_Name(parts, counts[kind], taken);
  }
}

void TMeasurementLibrary::Write_Records(TXmlWriter& xml) const
{
  auto* root = xml.Root_Node();

  for(const auto& measurement : d_measurements)
  {
    const TKind* kind = Find_Kind(measurement->Type());
    if(!kind)
    {
      VARLUME_ASSERT(false);
    }
    auto measurement_node = xml.Create_Node(root, QLatin1String(kind->element));
    auto node = xml.Create_Node(&measurement_node, QStringLiteral("Name"));
    xml.Write_Text_Node(&node, measurement->d_name);

    for(const TMeasurementField& field : Measurement_Fields(*measurement))
    {
      node = xml.Create_Node(&measurement_node, QLatin1String(field.element));
      if(field.text)
      {
        xml.Write_Text_Node(&node, *field.text);
      }
      else
      {
        xml.Write_Text_Node(&node, *field.number, 4);
      }
    }
  }
}

bool TMeasurementLibrary::Restore(const QByteArray& snapshot)
{
  const bool restored = TLibraryFile::Restore(snapshot);
  // A load takes each kind's records in document order; the snapshot's order is where each
  // record stood in it.
  VARLUME_ASSERT(d_positions.size() == d_measurements.size());
  std::vector<std::size_t> order(d_measurements.size());
  for(std::size_t index = 0; index < order.size(); ++index)
  {
    order[index] = index;
  }
  std::stable_sort(order.begin(), order.end(),
                   [this](std::size_t a, std::size_t b) { return d_positions[a] < d_positions[b]; });
  std::vector<std::unique_ptr<TMeasurement>> ordered;
  ordered.reserve(order.size());
  for(const std::size_t index : order)
  {
    ordered.push_back(std::move(d_measurements[index]));
  }
  d_measurements = std::move(ordered);
  d_positions.clear();
  return restored;
}

QStringList TMeasurementLibrary::Measurement_Names() const
{
  QStringList names;
  names.reserve(static_cast<int>(d_measurements.size()));
  for(const auto& measurement : d_measurements)
  {
    names.push_back(measurement->d_name);
  }
  return names;
}

std::vector<int> TMeasurementLibrary::Measurement_Ids() const
{
  std::vector<int> ids;
  ids.reserve(d_measurements.size());
  for(const auto& measurement : d_measurements)
  {
    ids.push_back(measurement->d_id);
  }
  return ids;
}

int TMeasurementLibrary::Measurement_Id(const QString& name) const
{
  if(name.isEmpty())
  {
    return -1;
  }
  for(const auto& measurement : d_measurements)
  {
    if(measurement->d_name.compare(name, Qt::CaseInsensitive) == 0)
    {
      return measurement->d_id;
    }
  }
  return -1;
}

TMeasurement* TMeasurementLibrary::Measurement(int id) const
{
  if(id < 0)
  {
    return nullptr;
  }
  for(const auto& measurement : d_measurements)
  {
    if(measurement->d_id == id)
    {
      return measurement.get();
    }
  }
  return nullptr;
}

std::vector<TMeasurement*> TMeasurementLibrary::Measurements(const QStringList& names) const
{
  std::vector<TMeasurement*> measurements;
  for(const QString& name : names)
  {
    if(TMeasurement* measurement = Measurement(Measurement_Id(name)))
    {
      measurements.push_back(measurement);
    }
  }
  return measurements;
}

std::vector<TMeasurement*> TMeasurementLibrary::All_Measurements() const
{
  std::vector<TMeasurement*> measurements;
  measurements.reserve(d_measurements.size());
  for(const auto& measurement : d_measurements)
  {
    measurements.push_back(measurement.get());
  }
  return measurements;
}

TMeasurement* TMeasurementLibrary::Append_Measurement(std::unique_ptr<TMeasurement> measurement)
{
  VARLUME_ASSERT(measurement);
  d_measurements.push_back(std::move(measurement));
  d_modified = true;
  return d_measurements.back().get();
}

QString TMeasurementLibrary::Rename_Measurement(int id, const QString& name)
{
  d_modified = true;
  TMeasurement* measurement = Measurement(id);
  if(!measurement)
  {
    return name;
  }
  measurement->d_name = Generate_Unique_Name(measurement->Type(), name, id);
  return measurement->d_name;
}

bool TMeasurementLibrary::Remove_Measurement(int id)
{
  const auto measurement = std::find_if(d_measurements.begin(), d_measurements.end(),
                                        [id](const std::unique_ptr<TMeasurement>& m) { return m->d_id == id; });
  if(measurement == d_measurements.end())
  {
    return false;
  }
  d_measurements.erase(measurement);
  d_modified = true;
  return true;
}

TMeasurementLibrary::TTaken TMeasurementLibrary::Take_Measurements(const std::vector<int>& ids)
{
  d_modified = true;
  return LibraryFile::Take_Records(&d_measurements, ids,
                                   [](const std::unique_ptr<TMeasurement>& measurement) { return measurement->d_id; });
}

void TMeasurementLibrary::Put_Back_Measurements(TTaken taken)
{
  d_modified = true;
  LibraryFile::Put_Back_Records(&d_measurements, std::move(taken));
}

std::unique_ptr<TLibraryFile> TMeasurementLibrary::Copy_Records() const
{
  auto copy = std::make_unique<TMeasurementLibrary>();
  copy->d_measurements.reserve(d_measurements.size());
  for(const auto& measurement : d_measurements)
  {
    copy->d_measurements.push_back(Copy_Measurement(*measurement));
  }
  return copy;
}

QString TMeasurementLibrary::Generate_Unique_Name(Types::TMeasurementType type, const QString& name, int id) const
{
  const LibraryFile::TNameParts parts = LibraryFile::Split_Name(name, Default_Name(type));
  for(qint64 count = 0;; ++count)
  {
    const QString candidate = LibraryFile::Name_Candidate(parts, count);
    const bool taken = std::any_of(d_measurements.begin(), d_measurements.end(),
                                   [&](const auto& measurement) {
                                     return measurement->d_id != id &&
                                            measurement->d_name.compare(candidate, Qt::CaseInsensitive) == 0;
                                   });
    if(!taken)
    {
      return candidate;
    }
  }
}

bool TMeasurementLibrary::Name_Valid(const QString& name) const
{
  const QString simplified = name.simplified();
  if(simplified.isEmpty())
  {
    return false;
  }
  return std::none_of(d_measurements.begin(), d_measurements.end(),
                      [&](const auto& measurement)
                      { return measurement->d_name.compare(simplified, Qt::CaseInsensitive) == 0; });
}
