// The five forms of correction: their tables, their predictions and their files.

#include "src/model/compensation/correction.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

#include "src/model/propagation_setup.h"
#include "src/model/units.h"

namespace
{
using Compensation::TCarriageTable;
using Compensation::TGrid;
using Compensation::TPitchTable;

const char* const AXIS_NAMES[3] = {"X", "Y", "Z"};
const int AXES[3] = {AXIS_X, AXIS_Y, AXIS_Z};

int Direction_Of(int axis)
{
  return axis == AXIS_X ? 0 : (axis == AXIS_Y ? 1 : 2);
}

double Component(const TVector3& v, int index)
{
  return index == 0 ? v.x : (index == 1 ? v.y : v.z);
}

double& Component(TVector3& v, int index)
{
  return index == 0 ? v.x : (index == 1 ? v.y : v.z);
}

int Chain_Axis(const TMachineComp& machine, int index)
{
  const TMachineComp::TInitParameters& p = machine.Init_Parameters();
  return index == 0 ? p.first_axis : (index == 1 ? p.second_axis : p.third_axis);
}

// The interval of a table laid out by Compensation::Positions that holds value (the first or the
// last one beyond the ends, for linear extrapolation along the end steps), and where in it.
struct TBracket
{
  std::size_t index = 0;
  double fraction = 0.0;
};

TBracket Bracket(const std::vector<double>& positions, double value)
{
  const std::size_t last = positions.size() - 2;
  const double step = positions[1] - positions[0];
  const double steps = std::floor((value - positions[0]) / step);
  TBracket bracket;
  bracket.index = steps <= 0.0 ? 0 : std::min(last, static_cast<std::size_t>(steps));
  const double low = positions[bracket.index];
  bracket.fraction = (value - low) / (positions[bracket.index + 1] - low);
  return bracket;
}

template <typename T> T Interpolate(const std::vector<T>& values, const TBracket& bracket)
{
  const T& low = values[bracket.index];
  return low + (values[bracket.index + 1] - low) * bracket.fraction;
}

void Append_Number(QByteArray* text, double value)
{
  char buffer[64];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  text->append(buffer, static_cast<int>(result.ptr - buffer));
}

void Append_Numbers(QByteArray* text, std::initializer_list<double> values)
{
  for(const double value : values)
  {
    *text += ',';
    Append_Number(text, value);
  }
  *text += '\n';
}

// The model's stage of a chain axis at position p along it.
TMachineComp::TStage Stage_At(const TMachineComp& source, int chain_index, int direction, double p)
{
  TVector3 position;
  Component(position, direction) = p;
  TMachineComp::TStage stage;
  source.Chain_Stage(chain_index, position, &stage);
  return stage;
}

class TFullCorrection : public TMachineCorrection
{
public:
  explicit TFullCorrection(const TMachineComp& source) : d_source(source) {}

  TVector3 Error(const TVector3& position, const TVector3& probe_offset) const override
  {
    return d_source.Model_Error(position, probe_offset, nullptr);
  }

private:
  TMachineComp d_source;
};

// The source's chain, deflection and squareness with the carriages' components taken from the
// tables in place of the model's own.
class TTablesCorrection : public TMachineCorrection
{
public:
  TTablesCorrection(const TMachineComp& source, const std::vector<TCarriageTable>& tables) : d_source(source)
  {
    for(const TCarriageTable& table : tables)
    {
      d_chain[table.chain_index] = table;
    }
  }

  TVector3 Error(const TVector3& position, const TVector3& probe_offset) const override
  {
    TMachineComp::TStage stages[3];
    const TMachineComp::TStage* pointers[3] = {&stages[0], &stages[1], &stages[2]};
    for(int i = 0; i < 3; ++i)
    {
      const TCarriageTable& table = d_chain[i];
      TMachineComp::TStage& stage = stages[i];
      stage.direction = Direction_Of(table.axis);
      stage.axis_position = Component(position, stage.direction);
      const TBracket bracket = Bracket(table.positions, stage.axis_position);
      stage.linear = Interpolate(table.translation, bracket);
      const TVector3 rotation = Interpolate(table.rotation, bracket);
      for(int r = 0; r < 3; ++r)
      {
        // The chain turns by the negative of a right-handed angle (see TMachineComp).
        stage.angle[r] = -Component(rotation, r);
        stage.cos[r] = stage.angle[r] != 0.0 ? std::cos(stage.angle[r]) : 1.0;
        stage.sin[r] = stage.angle[r] != 0.0 ? std::sin(stage.angle[r]) : 0.0;
      }
    }
    return d_source.Model_Error(position, probe_offset, pointers);
  }

private:
  TMachineComp d_source;
  TCarriageTable d_chain[3];
};

class TGridCorrection : public TMachineCorrection
{
public:
  explicit TGridCorrection(const TGrid& grid) : d_grid(grid) {}

  TVector3 Error(const TVector3& position, const TVector3&) const override
  {
    const TBracket bx = Bracket(d_grid.x, position.x);
    const TBracket by = Bracket(d_grid.y, position.y);
    const TBracket bz = Bracket(d_grid.z, position.z);
    const std::size_t nx = d_grid.x.size();
    const std::size_t ny = d_grid.y.size();
    TVector3 planes[2];
    for(std::size_t k = 0; k < 2; ++k)
    {
      TVector3 rows[2];
      for(std::size_t j = 0; j < 2; ++j)
      {
        const std::size_t node = ((bz.index + k) * ny + by.index + j) * nx + bx.index;
        const TVector3& low = d_grid.errors[node];
        rows[j] = low + (d_grid.errors[node + 1] - low) * bx.fraction;
      }
      planes[k] = rows[0] + (rows[1] - rows[0]) * by.fraction;
    }
    return planes[0] + (planes[1] - planes[0]) * bz.fraction;
  }

private:
  TGrid d_grid;
};

class TPitchCorrection : public TMachineCorrection
{
public:
  explicit TPitchCorrection(const std::vector<TPitchTable>& tables) : d_tables(tables) {}

  TVector3 Error(const TVector3& position, const TVector3&) const override
  {
    TVector3 error;
    for(const TPitchTable& table : d_tables)
    {
      const int direction = Direction_Of(table.axis);
      Component(error, direction) = Interpolate(table.errors, Bracket(table.positions, Component(position, direction)));
    }
    return error;
  }

private:
  std::vector<TPitchTable> d_tables;
};

class TSkewCorrection : public TMachineCorrection
{
public:
  explicit TSkewCorrection(const TMachineComp& source) : d_source(source) {}

  TVector3 Error(const TVector3& position, const TVector3&) const override
  {
    return d_source.Squareness_Error(position);
  }

private:
  TMachineComp d_source;
};
} // namespace

namespace Compensation
{
const std::vector<TForm>& All_Forms()
{
  static const std::vector<TForm> forms = {TForm::FULL, TForm::TABLES, TForm::GRID, TForm::PITCH, TForm::SKEW};
  return forms;
}

QString Form_Name(TForm form)
{
  switch(form)
  {
  case TForm::FULL:
    return QStringLiteral("full");
  case TForm::TABLES:
    return QStringLiteral("tables");
  case TForm::GRID:
    return QStringLiteral("grid");
  case TForm::PITCH:
    return QStringLiteral("pitch");
  case TForm::SKEW:
    break;
  }
  return QStringLiteral("skew");
}

bool Parse_Forms(const QString& text, std::vector<TForm>* forms, QString* error)
{
  std::vector<TForm> parsed;
  for(const QString& field : text.split(QLatin1Char(',')))
  {
    const QString name = field.trimmed();
    const auto known =
        std::find_if(All_Forms().begin(), All_Forms().end(), [&name](TForm form) { return Form_Name(form) == name; });
    if(known == All_Forms().end())
    {
      *error = QStringLiteral("unknown form '%1': --form takes a comma list of full, tables, grid, pitch and skew")
                   .arg(name);
      return false;
    }
    if(std::find(parsed.begin(), parsed.end(), *known) != parsed.end())
    {
      *error = QStringLiteral("the form '%1' is given twice").arg(name);
      return false;
    }
    parsed.push_back(*known);
  }
  *forms = parsed;
  return true;
}

double Default_Spacing(const TMachineComp& machine)
{
  const TVector3 travel = machine.Map_Data_Max() - machine.Map_Data_Min();
  return std::max(1.0, std::max(travel.x, std::max(travel.y, travel.z)) / 50.0);
}

long long Position_Count(double start, double end, double spacing)
{
  const double steps = std::ceil((end - start) / spacing - 1e-9);
  if(!(steps < static_cast<double>(MAXIMUM_NODES)))
  {
    return MAXIMUM_NODES + 1;
  }
  return std::max(1LL, static_cast<long long>(steps)) + 1;
}

std::vector<double> Positions(double start, double end, double spacing)
{
  const long long count = Position_Count(start, end, spacing);
  std::vector<double> positions;
  positions.reserve(static_cast<std::size_t>(count));
  for(long long i = 0; i + 1 < count; ++i)
  {
    positions.push_back(start + static_cast<double>(i) * spacing);
  }
  positions.push_back(end);
  return positions;
}

long long Grid_Nodes(const TMachineComp& machine, double spacing)
{
  const TVector3 low = machine.Map_Data_Min();
  const TVector3 high = machine.Map_Data_Max();
  long long nodes = 1;
  for(int d = 0; d < 3; ++d)
  {
    nodes *= Position_Count(Component(low, d), Component(high, d), spacing);
    if(nodes > MAXIMUM_NODES)
    {
      return MAXIMUM_NODES + 1;
    }
  }
  return nodes;
}

std::vector<TCarriageTable> Carriage_Tables(const TMachineComp& source, double spacing)
{
  std::vector<TCarriageTable> tables;
  const TVector3 low = source.Map_Data_Min();
  const TVector3 high = source.Map_Data_Max();
  for(const int axis : AXES)
  {
    TCarriageTable table;
    table.axis = axis;
    for(int i = 0; i < 3; ++i)
    {
      table.chain_index = Chain_Axis(source, i) == axis ? i : table.chain_index;
    }
    const int direction = Direction_Of(axis);
    table.positions = Positions(Component(low, direction), Component(high, direction), spacing);
    for(const double p : table.positions)
    {
      const TMachineComp::TStage stage = Stage_At(source, table.chain_index, direction, p);
      table.translation.push_back(stage.linear);
      table.rotation.push_back(TVector3(-stage.angle[0], -stage.angle[1], -stage.angle[2]));
    }
    tables.push_back(std::move(table));
  }
  return tables;
}

TConstants Constants(const TMachineComp& source)
{
  TConstants constants;
  for(int i = 0; i < 3; ++i)
  {
    const TMachineStandardComp* table = source.Axis_Table(AXES[i]);
    if(table)
    {
      constants.squareness[i] = table->d_quad_sign < 0 ? -table->d_quad : table->d_quad;
    }
  }
  const int kinematic = source.Init_Parameters().kinematic;
  constants.has_deflection = kinematic == KINEMATIC_XZY || kinematic == KINEMATIC_YZX;
  constants.deflection = constants.has_deflection ? source.Deflection_Table().Deflection() : 0.0;
  return constants;
}

std::vector<TPitchTable> Pitch_Tables(const TMachineComp& source, double spacing)
{
  std::vector<TPitchTable> pitch;
  for(const TCarriageTable& carriage : Carriage_Tables(source, spacing))
  {
    TPitchTable table;
    table.axis = carriage.axis;
    table.positions = carriage.positions;
    const int direction = Direction_Of(carriage.axis);
    for(const TVector3& translation : carriage.translation)
    {
      table.errors.push_back(Component(translation, direction));
    }
    pitch.push_back(std::move(table));
  }
  return pitch;
}

TGrid Grid(const TMachineComp& source, double spacing, const TVector3& probe, int jobs)
{
  TGrid grid;
  const TVector3 low = source.Map_Data_Min();
  const TVector3 high = source.Map_Data_Max();
  grid.x = Positions(low.x, high.x, spacing);
  grid.y = Positions(low.y, high.y, spacing);
  grid.z = Positions(low.z, high.z, spacing);
  grid.probe = probe;
  const std::size_t plane = grid.x.size() * grid.y.size();
  grid.errors.resize(plane * grid.z.size());
  // One task per z plane; each node is written by one thread only. A degenerate tower throws:
  // the message crosses back to this thread, as an exception must not leave a worker.
  std::mutex mutex;
  QString failure;
  Propagation::Run_Tasks(static_cast<int>(grid.z.size()), jobs,
                         [&]()
                         {
                           return [&](int k)
                           {
                             TVector3* errors = &grid.errors[static_cast<std::size_t>(k) * plane];
                             const double z = grid.z[static_cast<std::size_t>(k)];
                             try
                             {
                               for(const double y : grid.y)
                               {
                                 for(const double x : grid.x)
                                 {
                                   *errors++ = source.Model_Error(TVector3(x, y, z), probe, nullptr);
                                 }
                               }
                             }
                             catch(const TMachineAxisException& exception)
                             {
                               const std::lock_guard<std::mutex> lock(mutex);
                               failure = exception.Message();
                               return false;
                             }
                             return true;
                           };
                         });
  if(!failure.isEmpty())
  {
    throw TMachineAxisException(failure);
  }
  return grid;
}

std::shared_ptr<const TMachineCorrection> Full_Correction(const TMachineComp& source)
{
  return std::make_shared<TFullCorrection>(source);
}

std::shared_ptr<const TMachineCorrection> Tables_Correction(const TMachineComp& source,
                                                            const std::vector<TCarriageTable>& tables)
{
  return std::make_shared<TTablesCorrection>(source, tables);
}

std::shared_ptr<const TMachineCorrection> Grid_Correction(const TGrid& grid)
{
  return std::make_shared<TGridCorrection>(grid);
}

std::shared_ptr<const TMachineCorrection> Pitch_Correction(const std::vector<TPitchTable>& tables)
{
  return std::make_shared<TPitchCorrection>(tables);
}

std::shared_ptr<const TMachineCorrection> Skew_Correction(const TMachineComp& source)
{
  return std::make_shared<TSkewCorrection>(source);
}

QByteArray Tables_Csv(const std::vector<TCarriageTable>& tables)
{
  QByteArray text("axis,position_mm,ex_um,ey_um,ez_um,rx_urad,ry_urad,rz_urad\n");
  for(const TCarriageTable& table : tables)
  {
    for(std::size_t i = 0; i < table.positions.size(); ++i)
    {
      text += AXIS_NAMES[Direction_Of(table.axis)];
      text += ',';
      Append_Number(&text, table.positions[i]);
      const TVector3 t = table.translation[i] * Units::UM_PER_MM;
      const TVector3 r = table.rotation[i] * Units::URAD_PER_RAD;
      Append_Numbers(&text, {t.x, t.y, t.z, r.x, r.y, r.z});
    }
  }
  return text;
}

QByteArray Constants_Csv(const TConstants& constants)
{
  QByteArray text("name,value,unit\n");
  const char* const names[3] = {"QXY", "QYZ", "QZX"};
  for(int i = 0; i < 3; ++i)
  {
    text += names[i];
    text += ',';
    Append_Number(&text, constants.squareness[i] * Units::URAD_PER_MM_PER_M);
    text += ",urad\n";
  }
  if(constants.has_deflection)
  {
    text += "deflection,";
    Append_Number(&text, constants.deflection);
    text += ",mm/m\n";
  }
  return text;
}

QByteArray Pitch_Csv(const std::vector<TPitchTable>& tables)
{
  QByteArray text("axis,position_mm,error_um\n");
  for(const TPitchTable& table : tables)
  {
    for(std::size_t i = 0; i < table.positions.size(); ++i)
    {
      text += AXIS_NAMES[Direction_Of(table.axis)];
      text += ',';
      Append_Number(&text, table.positions[i]);
      Append_Numbers(&text, {table.errors[i] * Units::UM_PER_MM});
    }
  }
  return text;
}

void Append_Grid_Csv(const TGrid& grid, std::size_t first, std::size_t last, QByteArray* text)
{
  if(first == 0)
  {
    *text += "x_mm,y_mm,z_mm,dx_um,dy_um,dz_um\n";
  }
  const std::size_t nx = grid.x.size();
  const std::size_t ny = grid.y.size();
  for(std::size_t node = first; node < last; ++node)
  {
    Append_Number(text, grid.x[node % nx]);
    *text += ',';
    Append_Number(text, grid.y[(node / nx) % ny]);
    *text += ',';
    Append_Number(text, grid.z[node / (nx * ny)]);
    const TVector3 e = grid.errors[node] * Units::UM_PER_MM;
    Append_Numbers(text, {e.x, e.y, e.z});
  }
}
} // namespace Compensation
