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
