// The MCG file: the arm end points that the gauge reports, relative to its pivot sphere.

#include <QHash>

#include "core/varlume_assert.h"
#include "core/xmlfile.h"
#include "src/model/export.h"
#include "src/model/export_format.h"

namespace
{
using TItem = TMeasurement::TMeasurementItem;
using Export::Format::Triple;

const int POINT_DECIMALS = 6;
const int LOCATION_DECIMALS = 4;

// QDom writes an element's attributes in the order of a hash whose seed is drawn at random per
// process, so the root's File_Version and Units would swap places from run to run and the same
// export would not give the same bytes twice. A hash takes the global seed when it is created:
// with the seed 0 while the document is built, the order is fixed (File_Version, then Units).
class TFixed_Attribute_Order
{
public:
  TFixed_Attribute_Order() : d_seeded(qGlobalQHashSeed() != 0)
  {
    if(d_seeded)
    {
      qSetGlobalQHashSeed(0);
    }
  }
  // -1 draws a new random seed; a seed fixed by the environment (0) is left alone.
  ~TFixed_Attribute_Order()
  {
    if(d_seeded)
    {
      qSetGlobalQHashSeed(-1);
    }
  }
  TFixed_Attribute_Order(const TFixed_Attribute_Order&) = delete;
  TFixed_Attribute_Order& operator=(const TFixed_Attribute_Order&) = delete;

private:
  bool d_seeded;
};

void Write_Location(TXmlFile* xml, const QString& name, const TVector3& location)
{
  QDomElement parent = xml->Create_Node(xml->Root_Node(), name);
  QDomElement element = xml->Create_Node(&parent, QStringLiteral("Location_XYZ"));
  xml->Write_Text_Node(&element, Triple(location, LOCATION_DECIMALS));
}
} // namespace

namespace Export
{
void Build_MCG_Document(const TMeasurement& measurement, TXmlFile* xml)
{
  VARLUME_ASSERT(xml);
  const TFixed_Attribute_Order attribute_order;
  xml->Reset(QStringLiteral("MCG_Measurement_Data"), 1);
  xml->Write_Attribute(xml->Root_Node(), QStringLiteral("Units"), QStringLiteral("MM"));

  QDomElement environment = xml->Create_Node(xml->Root_Node(), QStringLiteral("Environment"));
  QDomElement temperature = xml->Create_Node(&environment, QStringLiteral("Temperature"));
  xml->Write_Text_Node(&temperature, 20.0, 2);

  QDomElement points = xml->Create_Node(xml->Root_Node(), QStringLiteral("Gauge_Points"));
  // With no rows the final pivot reads 0.0000,0.0000,0.0000.
  TVector3 pivot;
  bool first = true;
  for(const TItem& item : measurement.d_measurement_items)
  {
    pivot = item.reference_nominal + item.probe_offset;
    if(first)
    {
      QDomElement probe = xml->Create_Node(xml->Root_Node(), QStringLiteral("Probe"));
      QDomElement offset = xml->Create_Node(&probe, QStringLiteral("Probe_Offset_XYZ"));
      xml->Write_Text_Node(&offset, Triple(item.probe_offset, LOCATION_DECIMALS));
      QDomElement error = xml->Create_Node(&probe, QStringLiteral("Probe_Error"));
      xml->Write_Text_Node(&error, 0.0, 5);
      Write_Location(xml, QStringLiteral("Pivot_Sphere_Initial"), pivot);
      first = false;
    }
    // The gauge reports the arm end relative to the nominal pivot, without the probe offset.
    QDomElement point = xml->Create_Node(&points, QStringLiteral("Point_XYZ"));
    xml->Write_Text_Node(&point, Triple(item.point_actual - item.reference_nominal, POINT_DECIMALS));
  }
  Write_Location(xml, QStringLiteral("Pivot_Sphere_Final"), pivot);
}

bool Write_MCG_File(const QString& directory, const TMeasurement& measurement, TResult* result,
                    const QString& file_base)
{
  VARLUME_ASSERT(result);
  TXmlFile xml;
  const QString path = Format::Measurement_File_Path(directory, "MCG %1.xml", measurement.d_name, file_base);
  xml.Set_File_Name(path);
  try
  {
    Build_MCG_Document(measurement, &xml);
    xml.Write_File(false);
  }
  catch(const TXmlFileException& exception)
  {
    result->failures.push_back(QStringLiteral("Export MCG: ") + exception.Message());
    return false;
  }
  result->files.push_back(path);
  return true;
}
} // namespace Export
