// The loop over the error patterns: one set-up of a local model per pattern, the simulation of
// the measurements on it and one line of the evaluation file. Two runners share the heading,
// the refusals and the progress: the straightforward one, which sets every pattern up from the
// record's texts and is kept as the reference, and the fast one (see evaluation_staged.h).

#include <QIODevice>

#include "core/varlume_assert.h"
#include "src/model/evaluation.h"
#include "src/model/evaluation_staged.h"

namespace
{
using Evaluation::TEnd;
using Evaluation::TErrorItem;
using Evaluation::TPatternSetUp;
using Evaluation::TProgress;
using Evaluation::TResult;

void Write_Text(QIODevice* file, const QString& text)
{
  file->write(text.toLatin1());
}

TResult Refuse(QIODevice* file, const QString& message)
{
  TResult result;
  result.end = TEnd::REFUSED;
  result.message = message;
  Write_Text(file, QStringLiteral("Evaluation refused: %1\n").arg(message));
  return result;
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

// Patterns 1 .. count with the progress hooks around each; simulate(k) writes pattern k and
// returns false to stop (the result then says why).
template <class TSimulate> void Run_Patterns(int count, const TProgress& progress, TResult* result, TSimulate simulate)
{
  for(int k = 1; k <= count; ++k)
  {
    if(progress.next && !progress.next(k))
    {
      result->end = TEnd::CANCELLED;
      return;
    }
    ++result->patterns;
    if(!simulate(static_cast<std::size_t>(k)))
    {
      return;
    }
    if(progress.done)
    {
      progress.done(k);
    }
  }
}

// Ends the set-up of a pattern on machine and, when its code applies anything, simulates the
// measurements and writes its line. False, with the result STOPPED, on an axis exception.
bool Simulate_In_Full(TMachineComp* machine, const QString& code, bool evaluate_expressions,
                      const std::vector<TMeasurement*>& measurements, QIODevice* file, TResult* result)
{
  try
  {
    machine->Initialize_End();
  }
  catch(const TMachineAxisException& exception)
  {
    result->end = TEnd::STOPPED;
    result->message = exception.Message();
    return false;
  }
  // A pattern of items that the evaluation does not apply simulates nothing new.
  if(code.size() <= 1)
  {
    return true;
  }
  if(evaluate_expressions)
  {
    Simulation::Evaluate_Measurement_Expressions(machine, &measurements, nullptr);
  }
  QStringList errors;
  if(!Simulation::Update_Measurement_Items(machine, &measurements, &errors))
  {
    result->end = TEnd::STOPPED;
    result->message = Simulation_Failure(measurements, errors);
    return false;
  }
  Write_Text(file, Evaluation::Result_Line(code, machine, &measurements));
  ++result->lines;
  return true;
}

// Every pattern set up from the record's texts, as the window's model would be.
TResult Run_Straightforward(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements,
                            QIODevice* file, const TProgress& progress, int count)
{
  const std::vector<Evaluation::TErrorPattern> patterns = Evaluation::Get_Evaluation_Error_Patterns(set_up.items);
  TResult result;
  TMachineComp machine;
  Run_Patterns(count, progress, &result,
               [&](std::size_t k)
               {
                 machine.Initialize_Begin(set_up.parameters);
                 QString code = QStringLiteral("|");
                 for(const TErrorItem& item : patterns[k - 1])
                 {
                   if(const char* item_code = Evaluation::Item_Code(item, set_up.parameters.kinematic))
                   {
                     code += QLatin1String(item_code);
                     Simulation::Apply_Error_Item(&machine, item);
                   }
                 }
                 return Simulate_In_Full(&machine, code, true, measurements, file, &result);
               });
  return result;
}

// The tables and the measurements' values evaluated once, and the patterns combined from staged
// look-ups where they can be; a pattern that cannot is set up in full, and so is every later one.
TResult Run_Fast(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements, QIODevice* file,
                 const TProgress& progress, int count)
{
  Evaluation::TStagedPatterns staged;
  staged.Prepare(set_up, measurements);

  TResult result;
  TMachineComp machine;
  // A combined pattern writes only the rows' lengths. The measurements must hold the whole rows
  // of the last pattern simulated, so that one is simulated in full once it is known to be the
  // last. Its set-up and simulation succeeded when combined, so they succeed here.
  std::size_t last_staged = 0;
  const auto complete_last_staged = [&]()
  {
    if(last_staged == 0)
    {
      return;
    }
    set_up.Set_Up(last_staged, &machine);
    last_staged = 0;
    try
    {
      machine.Initialize_End();
    }
    catch(const TMachineAxisException&)
    {
      return;
    }
    QStringList errors;
    Simulation::Update_Measurement_Items(&machine, &measurements, &errors);
  };

  Run_Patterns(count, progress, &result,
               [&](std::size_t k)
               {
                 const QString code = set_up.Code(k);
                 if(staged.Ready())
                 {
                   // Without a code the set-up is the perfect machine's, which Prepare saw succeed.
                   if(code.size() == 1)
                   {
                     return true;
                   }
                   if(staged.Simulate(k))
                   {
                     Write_Text(file, Evaluation::Result_Line(code, &machine, &measurements));
                     ++result.lines;
                     last_staged = k;
                     return true;
                   }
                   // This pattern raises an axis exception: the full set-up below reports it,
                   // and from here on every pattern is set up in full.
                   complete_last_staged();
                   staged.Disable();
                 }
                 set_up.Set_Up(k, &machine);
                 return Simulate_In_Full(&machine, code, false, measurements, file, &result);
               });
  complete_last_staged();
  return result;
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
  if(items.size() > static_cast<std::size_t>(MAXIMUM_PARAMETERS))
  {
    // 2^n set-ups would not finish (or not even be countable) for a hand-made record.
    return Refuse(
        file,
        QStringLiteral("%1 enabled parameters; at most %2 can be evaluated").arg(items.size()).arg(MAXIMUM_PARAMETERS));
  }

  // The geometry as the window's model holds it after selecting the machine. One that the model
  // refuses would leave the local model with no volume at all.
  TPatternSetUp set_up;
  if(!Simulation::Init_Parameters(record, &set_up.parameters))
  {
    return Refuse(file, QStringLiteral("unknown kinematic order"));
  }
  TMachineComp geometry;
  if(!geometry.Initialize_Begin(set_up.parameters))
  {
    return Refuse(file, geometry.Last_Error());
  }

  // What does not change from pattern to pattern: the codes, and in the fast mode each
  // parameter's table and the measurements' values (they depend on the volume only).
  set_up.items = items;
  set_up.codes.resize(items.size());
  set_up.values.resize(items.size());
  set_up.has_values.assign(items.size(), 0);
  for(std::size_t j = 0; j < items.size(); ++j)
  {
    const TErrorItem& item = items[j];
    set_up.codes[j] = Item_Code(item, set_up.parameters.kinematic);
    if(mode == TMode::FAST && set_up.codes[j] && Has_Table(item))
    {
      set_up.has_values[j] = geometry.Evaluate_Axis_Values(item.axis, item.expression, &set_up.values[j]);
    }
  }
  if(mode == TMode::FAST)
  {
    Simulation::Evaluate_Measurement_Expressions(&geometry, &measurements, nullptr);
  }

  const int count = items.empty() ? 0 : 1 << items.size();
  if(progress.start)
  {
    progress.start(count);
  }

  const TResult result = mode == TMode::FAST ? Run_Fast(set_up, measurements, file, progress, count)
                                             : Run_Straightforward(set_up, measurements, file, progress, count);
  if(result.end == TEnd::STOPPED)
  {
    Write_Text(file, QStringLiteral("Evaluation stopped: %1\n").arg(result.message));
  }
  return result;
}
} // namespace Evaluation
