// The error blocks, the selection summary of one picked row, the machine map pane, and the
// measurement pane as one call for the window and the batch tool.

#include "src/model/report.h"

#include "core/varlume_assert.h"
#include "src/model/simulation.h"

namespace
{
// The smallest map increment in millimetres.
const double MINIMUM_MAP_INCREMENT = 10.0;
} // namespace

namespace Report
{
QStringList Error_Block(const QString& heading, int rule_width, const QStringList& errors)
{
  QStringList lines;
  lines.push_back(heading);
  lines.push_back(QString(rule_width, QLatin1Char('-')));
  lines += errors;
  return lines;
}

QStringList Map_Initialization_Errors(const QStringList& errors)
{
  return Error_Block(QStringLiteral("Map Initialization Errors"), MAP_ERRORS_RULE_WIDTH, errors);
}

QStringList Measurement_Expression_Errors(const QStringList& errors)
{
  return Error_Block(QStringLiteral("Measurement Expression Errors"), EXPRESSION_ERRORS_RULE_WIDTH, errors);
}

bool Simulate_Measurements(const TMachineComp* machine, std::vector<TMeasurement*>* measurements, QStringList* lines)
{
  VARLUME_ASSERT(machine);
  VARLUME_ASSERT(measurements);
  VARLUME_ASSERT(lines);

  QStringList errors;
  if(!Simulation::Evaluate_Measurement_Expressions(machine, measurements, &errors))
  {
    *lines = Measurement_Expression_Errors(errors);
    return false;
  }
  // The evaluation's list may hold notes (a ball bar direction replaced by +X); a successful
  // evaluation shows none of them.
  errors.clear();
  if(!Simulation::Update_Measurement_Items(machine, measurements, &errors))
  {
    *lines = Measurement_Expression_Errors(errors);
    return false;
  }
  *lines = Measurement_Results(*machine, *measurements);
  return true;
}

QStringList Selected_Item(const TMeasurement& measurement, int index)
{
  // Pick names hold at most 1000 rows per measurement, so a pick can name a row that this
  // measurement does not have.
  if(index < 0 || static_cast<std::size_t>(index) >= measurement.d_measurement_items.size())
  {
    return QStringList();
  }
  const TMeasurement::TMeasurementItem item = measurement.Measurement_Item(index);

  QStringList lines;
  lines.push_back(QLatin1String("Name:           ") + measurement.d_name);
  if(measurement.Type() != Types::MEASUREMENT_BALLBAR)
  {
    lines.push_back(QLatin1String("Index:          ") + QString::number(index + 1));
  }
  lines.push_back(QStringLiteral("Nominal Length: %1").arg(item.length_nominal, 0, 'f', 4));
  lines.push_back(QStringLiteral("Actual Length:  %1").arg(item.length_actual, 0, 'f', 4));
  lines.push_back(QStringLiteral("Deviation:       %1").arg(item.length_actual - item.length_nominal, 0, 'f', 4));
  if(measurement.d_outside_volume)
  {
    lines.push_back(QStringLiteral("Note:  Feature outside of the machine volume."));
  }
  return lines;
}

QStringList Map_Display(const TMachineComp& machine, const QString& machine_name, double increment_x,
                        double increment_y, double increment_z)
{
  if(!(increment_x >= MINIMUM_MAP_INCREMENT && increment_y >= MINIMUM_MAP_INCREMENT &&
       increment_z >= MINIMUM_MAP_INCREMENT))
  {
    return QStringList(QStringLiteral("ERR:  Map increment too small for X,Y, or Z axis"));
  }

  QStringList lines;
  lines.push_back(QLatin1String("Selected Machine: ") + machine_name);
  lines.push_back(QString());
  lines += machine.Map_Data_Quad();
  lines.push_back(QString());
  lines += machine.Map_Data_X(increment_x);
  lines.push_back(QString());
  lines += machine.Map_Data_Y(increment_y);
  lines.push_back(QString());
  lines += machine.Map_Data_Z(increment_z);
  lines.push_back(QString());
  // The tower table runs over the vertical travel.
  lines += machine.Map_Data_D(increment_z);
  return lines;
}

QString Pane_Text(const QStringList& lines)
{
  QString text;
  bool empty = true;
  for(const QString& line : lines)
  {
    // An empty pane takes an empty line without starting a new one.
    if(empty && line.isEmpty())
    {
      continue;
    }
    if(!empty)
    {
      text += QLatin1Char('\n');
    }
    text += line;
    empty = false;
  }

  // The pane keeps line breaks inside a line as breaks, and reads them back, like its other
  // separators and the no-break space, as plain characters.
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  for(QChar& ch : text)
  {
    switch(ch.unicode())
    {
    case 0x000d:
    case 0x2028:
    case 0x2029:
    case 0xfdd0:
    case 0xfdd1:
      ch = QLatin1Char('\n');
      break;
    case 0x00a0:
      ch = QLatin1Char(' ');
      break;
    default:
      break;
    }
  }
  return text;
}
} // namespace Report
