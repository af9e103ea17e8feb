// The loop over the error patterns: one set-up of a local model per pattern, the simulation of
// the measurements on it and one line of the evaluation file.

#include <QIODevice>

#include "core/varlume_assert.h"
#include "src/evaluation.h"

namespace
{
using Evaluation::TErrorItem;

void Write_Text(QIODevice* file, const QString& text)
{
  file->write(text.toLatin1());
}

Evaluation::TResult Refuse(QIODevice* file, const QString& message)
{
  Evaluation::TResult result;
  result.end = Evaluation::TEnd::REFUSED;
  result.message = message;
  Write_Text(file, QStringLiteral("Evaluation refused: %1\n").arg(message));
  return result;
}

bool Has_Table(const TErrorItem& item)
{
  return item.parameter == PARAMETER_RX || item.parameter == PARAMETER_RY || item.parameter == PARAMETER_RZ ||
         item.parameter == PARAMETER_SCALE;
}

// Set_Rx ... Set_Scale from the table values evaluated once, anything else as the record says.
// The results are not examined: a parameter whose expression fails part way is simulated with
// what the model made of it, as in the straightforward set-up.
void Apply_Item(TMachineComp* machine, const TErrorItem& item, const TMachineAxisValues* values)
{
  if(!values)
  {
    Simulation::Apply_Error_Item(machine, item);
    return;
  }
  switch(item.parameter)
  {
  case PARAMETER_RX:
    machine->Set_Rx(item.axis, *values, item.sign);
    break;
  case PARAMETER_RY:
    machine->Set_Ry(item.axis, *values, item.sign);
    break;
  case PARAMETER_RZ:
    machine->Set_Rz(item.axis, *values, item.sign);
    break;
  case PARAMETER_SCALE:
    machine->Set_Scale(item.axis, *values, item.sign);
    break;
  default:
    Simulation::Apply_Error_Item(machine, item);
    break;
  }
}

// The simulation turns an axis exception into "<name>: <message>" and leaves the failing
// measurement and the ones after it without rows. The file names the exception's own message,
// as when the model itself throws.
QString Simulation_Failure(const std::vector<TMeasurement*>& measurements, const QStringList& errors)
{
  if(errors.isEmpty())
  {
    return QString();
  }
  const QString& error = errors.back();
  for(const TMeasurement* measurement : measurements)
  {
    if(!measurement->d_measurement_items.empty() ||
       Simulation::Expected_Row_Count(*measurement) > Simulation::MAXIMUM_ROWS)
    {
      continue;
    }
    const QString prefix = measurement->d_name + QStringLiteral(": ");
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
  }
  return error;
}
} // namespace

namespace Evaluation
{
TResult Write_Evaluation(const Simulation::TMachineRecord& record, const std::vector<TMeasurement*>& measurements,
                         QIODevice* file, const TProgress& progress, TMode mode)
{
  VARLUME_ASSERT(file);

  Write_Text(file, Heading(record.name, record.error_items));

  const std::vector<TErrorItem>& items = record.error_items;
  const int item_count = static_cast<int>(items.size());
  if(item_count > MAXIMUM_PARAMETERS)
  {
    // 2^n set-ups would not finish (or not even be countable) for a hand-made record.
    return Refuse(
        file,
        QStringLiteral("%1 enabled parameters; at most %2 can be evaluated").arg(item_count).arg(MAXIMUM_PARAMETERS));
  }

  // The geometry as the window's model holds it after selecting the machine. One that the model
  // refuses would leave the local model with no volume at all.
  TMachineComp::TInitParameters parameters;
  if(!Simulation::Init_Parameters(record, &parameters))
  {
    return Refuse(file, QStringLiteral("unknown kinematic order"));
  }
  TMachineComp geometry;
  if(!geometry.Initialize_Begin(parameters))
  {
    return Refuse(file, geometry.Last_Error());
  }

  // What does not change from pattern to pattern: the codes, and in the fast mode each
  // parameter's table and the measurements' values (they depend on the volume only).
  std::vector<const char*> codes(static_cast<std::size_t>(item_count));
  std::vector<TMachineAxisValues> values(static_cast<std::size_t>(item_count));
  std::vector<char> has_values(static_cast<std::size_t>(item_count), 0);
  for(int j = 0; j < item_count; ++j)
  {
    const TErrorItem& item = items[static_cast<std::size_t>(j)];
    codes[static_cast<std::size_t>(j)] = Item_Code(item, parameters.kinematic);
    if(mode == TMode::FAST && codes[static_cast<std::size_t>(j)] && Has_Table(item))
    {
      has_values[static_cast<std::size_t>(j)] =
          geometry.Evaluate_Axis_Values(item.axis, item.expression, &values[static_cast<std::size_t>(j)]);
    }
  }
  if(mode == TMode::FAST)
  {
    Simulation::Evaluate_Measurement_Expressions(&geometry, &measurements, nullptr);
  }
  std::vector<TErrorPattern> patterns;
  if(mode == TMode::STRAIGHTFORWARD)
  {
    patterns = Get_Evaluation_Error_Patterns(items);
  }

  const int count = item_count == 0 ? 0 : 1 << item_count;
  if(progress.start)
  {
    progress.start(count);
  }

  TResult result;
  TMachineComp machine;
  QString code;
  QStringList errors;
  for(int k = 1; k <= count; ++k)
  {
    if(progress.next && !progress.next(k))
    {
      result.end = TEnd::CANCELLED;
      break;
    }
    ++result.patterns;

    // Pattern k - 1 holds the items whose bits are set in k.
    machine.Initialize_Begin(parameters);
    code = QStringLiteral("|");
    if(mode == TMode::STRAIGHTFORWARD)
    {
      for(const TErrorItem& item : patterns[static_cast<std::size_t>(k - 1)])
      {
        if(const char* item_code = Item_Code(item, parameters.kinematic))
        {
          code += QLatin1String(item_code);
          Simulation::Apply_Error_Item(&machine, item);
        }
      }
    }
    else
    {
      for(int j = 0; j < item_count; ++j)
      {
        const std::size_t index = static_cast<std::size_t>(j);
        if((k & (1 << j)) && codes[index])
        {
          code += QLatin1String(codes[index]);
          Apply_Item(&machine, items[index], has_values[index] ? &values[index] : nullptr);
        }
      }
    }

    try
    {
      machine.Initialize_End();
    }
    catch(const TMachineAxisException& exception)
    {
      result.end = TEnd::STOPPED;
      result.message = exception.Message();
      break;
    }

    // A pattern of items that the evaluation does not apply simulates nothing new.
    if(code.size() > 1)
    {
      if(mode == TMode::STRAIGHTFORWARD)
      {
        Simulation::Evaluate_Measurement_Expressions(&machine, &measurements, nullptr);
      }
      errors.clear();
      if(!Simulation::Update_Measurement_Items(&machine, &measurements, &errors))
      {
        result.end = TEnd::STOPPED;
        result.message = Simulation_Failure(measurements, errors);
        break;
      }
      Write_Text(file, Result_Line(code, &machine, &measurements));
      ++result.lines;
    }

    if(progress.done)
    {
      progress.done(k);
    }
  }

  if(result.end == TEnd::STOPPED)
  {
    Write_Text(file, QStringLiteral("Evaluation stopped: %1\n").arg(result.message));
  }
  return result;
}
} // namespace Evaluation
