#ifndef MEASUREMENT_H
#define MEASUREMENT_H

#include <QString>

#include <memory>
#include <vector>

#include "core/vector3.h"

namespace Types
{
// The kinds of measurement; the values are those of TMeasurement::Type().
enum TMeasurementType
{
  MEASUREMENT_ISO = 0,
  MEASUREMENT_LASER = 1,
  MEASUREMENT_MCG = 2,
  MEASUREMENT_BALLBAR = 3
};
} // namespace Types

// One test that a calibration artefact makes on a machine: the expression texts that describe
// it, the values they evaluate to, and the rows of the last simulation. Plain data: all
// members are public and are read and written directly by the simulation and the editors.
class TMeasurement
{
public:
  // One simulated result row.
  struct TMeasurementItem
  {
    TVector3 reference_nominal;
    TVector3 point_nominal;
    TVector3 reference_actual;
    TVector3 point_actual;
    TVector3 reference_angles; // RA, RB, RC at the reference point
    TVector3 point_angles;     // RA, RB, RC at the target point
    TVector3 probe_offset;
    TVector3 axis_nominal;
    TVector3 axis_actual;
    double length_nominal = 0.0;
    double length_actual = 0.0;
  };

  // Takes the next id: 0, 1000, 2000, ... in construction order, so that id + row index names
  // one result row in the 3-D view.
  TMeasurement();
  virtual ~TMeasurement() = 0;

  virtual Types::TMeasurementType Type() const = 0;
  // Replaces the expression texts by the defaults of the kind; name, id, probe offset and
  // rows stay as they are.
  virtual void Initialize() = 0;

  // A copy of row index; the index must be below the number of rows.
  TMeasurementItem Measurement_Item(int index) const;

  int d_id;
  QString d_name;
  bool d_outside_volume = false; // some point of the last simulation was outside the volume
  TVector3 d_probe_offset = TVector3(0.0, 0.0, -150.0);
  std::vector<TMeasurementItem> d_measurement_items;
};

// A ball bar at one position: one row.
class TMeasurement_Ballbar : public TMeasurement
{
public:
  Types::TMeasurementType Type() const override { return Types::MEASUREMENT_BALLBAR; }
  void Initialize() override;

  QString d_position_x_expression;
  QString d_position_y_expression;
  QString d_position_z_expression;
  QString d_direction_i_expression;
  QString d_direction_j_expression;
  QString d_direction_k_expression;
  QString d_length_expression;

  TVector3 d_position;
  TVector3 d_direction; // unit length once evaluated
  double d_length = 0.0;
};

// An ISO 10360-2 length test along one line: five rows.
class TMeasurement_ISO : public TMeasurement
{
public:
  Types::TMeasurementType Type() const override { return Types::MEASUREMENT_ISO; }
  void Initialize() override;

  QString d_start_x_expression;
  QString d_start_y_expression;
  QString d_start_z_expression;
  QString d_end_x_expression;
  QString d_end_y_expression;
  QString d_end_z_expression;

  TVector3 d_start;
  TVector3 d_end;
};

// A laser displacement run along one line: one row per step.
class TMeasurement_Laser : public TMeasurement
{
public:
  Types::TMeasurementType Type() const override { return Types::MEASUREMENT_LASER; }
  void Initialize() override;

  QString d_start_x_expression;
  QString d_start_y_expression;
  QString d_start_z_expression;
  QString d_end_x_expression;
  QString d_end_y_expression;
  QString d_end_z_expression;
  QString d_increment_expression;

  TVector3 d_start;
  TVector3 d_end;
  double d_increment = 0.0;
};

// A machine checking gauge swept over a grid of directions: one row per direction.
class TMeasurement_MCG : public TMeasurement
{
public:
  Types::TMeasurementType Type() const override { return Types::MEASUREMENT_MCG; }
  void Initialize() override;

  QString d_position_x_expression;
  QString d_position_y_expression;
  QString d_position_z_expression;
  QString d_length_expression;
  QString d_azimuth_count_expression;
  QString d_elevation_count_expression;
  QString d_start_elevation_expression; // degrees
  QString d_end_elevation_expression;   // degrees

  TVector3 d_position;
  double d_length = 0.0;
  double d_start_elevation = 0.0;
  double d_end_elevation = 0.0;
  int d_azimuth_count = 0;
  int d_elevation_count = 0;
};

// One stored field of a measurement: the element name under which the library file keeps it,
// and either its expression text or, for the probe offset, a number. The library file, the
// measurement editor and the simulation's messages all go through this one table, so that a new
// field is added in one place.
struct TMeasurementField
{
  const char* element;
  QString* text;
  double* number;
};

// Every field of the measurement's kind in the order of the library file. The pointers are into
// measurement.
std::vector<TMeasurementField> Measurement_Fields(TMeasurement& measurement);

// A copy of a measurement of any kind, values and rows included.
std::unique_ptr<TMeasurement> Copy_Measurement(const TMeasurement& measurement);

#endif
