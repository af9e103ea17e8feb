#include "src/model/measurement.h"

#include <limits>

#include "core/varlume_assert.h"

namespace
{
// The ISO and the laser measurement start on the same line: along X through the middle of
// the travel.
template <class TLineMeasurement> void Initialize_Line(TLineMeasurement& measurement)
{
  measurement.d_start_x_expression = QStringLiteral("XMin");
  measurement.d_start_y_expression = QStringLiteral("YMid");
  measurement.d_start_z_expression = QStringLiteral("ZMid");
  measurement.d_end_x_expression = QStringLiteral("XMax");
  measurement.d_end_y_expression = QStringLiteral("YMid");
  measurement.d_end_z_expression = QStringLiteral("ZMid");
}

TMeasurementField Text(const char* element, QString& text)
{
  return TMeasurementField{element, &text, nullptr};
}
TMeasurementField Number(const char* element, double& number)
{
  return TMeasurementField{element, nullptr, &number};
}

// The laser measurement stores the ISO one's children first, then its increment.
template <class TLineMeasurement> std::vector<TMeasurementField> Line_Fields(TLineMeasurement& m)
{
  TVector3& probe = m.d_probe_offset;
  return {Text("Start_Position_X", m.d_start_x_expression),
          Text("Start_Position_Y", m.d_start_y_expression),
          Text("Start_Position_Z", m.d_start_z_expression),
          Text("End_Position_X", m.d_end_x_expression),
          Text("End_Position_Y", m.d_end_y_expression),
          Text("End_Position_Z", m.d_end_z_expression),
          Number("Probe_Offset_X", probe.x),
          Number("Probe_Offset_Y", probe.y),
          Number("Probe_Offset_Z", probe.z)};
}
} // namespace

TMeasurement::TMeasurement()
{
  static int next_id = 0;
  d_id = next_id;
  // Starting over after two million constructions keeps the arithmetic defined; no session
  // holds measurements from both ends of that range.
  next_id = next_id > std::numeric_limits<int>::max() - 2000 ? 0 : next_id + 1000;
}

TMeasurement::~TMeasurement() = default;

TMeasurement::TMeasurementItem TMeasurement::Measurement_Item(int index) const
{
  VARLUME_ASSERT(static_cast<unsigned int>(index) < d_measurement_items.size());
  return d_measurement_items[static_cast<std::size_t>(index)];
}

void TMeasurement_Ballbar::Initialize()
{
  d_position_x_expression = QStringLiteral("XMid");
  d_position_y_expression = QStringLiteral("YMid");
  d_position_z_expression = QStringLiteral("ZMid");
  d_direction_i_expression = QStringLiteral("1.00000");
  d_direction_j_expression = QStringLiteral("0.00000");
  d_direction_k_expression = QStringLiteral("0.00000");
  d_length_expression = QStringLiteral("100.0000");
}

void TMeasurement_ISO::Initialize()
{
  Initialize_Line(*this);
}

void TMeasurement_Laser::Initialize()
{
  Initialize_Line(*this);
  d_increment_expression = QStringLiteral("100.0000");
}

void TMeasurement_MCG::Initialize()
{
  d_position_x_expression = QStringLiteral("XMid");
  d_position_y_expression = QStringLiteral("YMid");
  d_position_z_expression = QStringLiteral("ZMid");
  d_length_expression = QStringLiteral("150.0000");
  d_azimuth_count_expression = QStringLiteral("8");
  d_elevation_count_expression = QStringLiteral("3");
  d_start_elevation_expression = QStringLiteral("-45.0000");
  d_end_elevation_expression = QStringLiteral("45.0000");
}

std::vector<TMeasurementField> Measurement_Fields(TMeasurement& measurement)
{
  TVector3& probe = measurement.d_probe_offset;
  switch(measurement.Type())
  {
  case Types::MEASUREMENT_BALLBAR:
  {
    auto& m = static_cast<TMeasurement_Ballbar&>(measurement);
    return {Text("Position_X", m.d_position_x_expression),
            Text("Position_Y", m.d_position_y_expression),
            Text("Position_Z", m.d_position_z_expression),
            Text("Direction_I", m.d_direction_i_expression),
            Text("Direction_J", m.d_direction_j_expression),
            Text("Direction_K", m.d_direction_k_expression),
            Number("Probe_Offset_X", probe.x),
            Number("Probe_Offset_Y", probe.y),
            Number("Probe_Offset_Z", probe.z),
            Text("Length", m.d_length_expression)};
  }
  case Types::MEASUREMENT_LASER:
  {
    auto& m = static_cast<TMeasurement_Laser&>(measurement);
    std::vector<TMeasurementField> fields = Line_Fields(m);
    fields.push_back(Text("Increment", m.d_increment_expression));
    return fields;
  }
  case Types::MEASUREMENT_MCG:
  {
    auto& m = static_cast<TMeasurement_MCG&>(measurement);
    return {Text("Position_X", m.d_position_x_expression),
            Text("Position_Y", m.d_position_y_expression),
            Text("Position_Z", m.d_position_z_expression),
            Number("Probe_Offset_X", probe.x),
            Number("Probe_Offset_Y", probe.y),
            Number("Probe_Offset_Z", probe.z),
            Text("Length", m.d_length_expression),
            Text("Azimuth_Count", m.d_azimuth_count_expression),
            Text("Elevation_Count", m.d_elevation_count_expression),
            Text("Start_Elevation", m.d_start_elevation_expression),
            Text("End_Elevation", m.d_end_elevation_expression)};
  }
  case Types::MEASUREMENT_ISO:
  {
    return Line_Fields(static_cast<TMeasurement_ISO&>(measurement));
  }
  }
  VARLUME_ASSERT(false);
  return {};
}

std::unique_ptr<TMeasurement> Copy_Measurement(const TMeasurement& measurement)
{
  switch(measurement.Type())
  {
  case Types::MEASUREMENT_ISO:
    return std::make_unique<TMeasurement_ISO>(static_cast<const TMeasurement_ISO&>(measurement));
  case Types::MEASUREMENT_LASER:
    return std::make_unique<TMeasurement_Laser>(static_cast<const TMeasurement_Laser&>(measurement));
  case Types::MEASUREMENT_MCG:
    return std::make_unique<TMeasurement_MCG>(static_cast<const TMeasurement_MCG&>(measurement));
  case Types::MEASUREMENT_BALLBAR:
    return std::make_unique<TMeasurement_Ballbar>(static_cast<const TMeasurement_Ballbar&>(measurement));
  }
  VARLUME_ASSERT(false);
  return nullptr;
}
