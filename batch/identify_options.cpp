#include "batch/identify_options.h"

#include <QCommandLineParser>

#include <cmath>

namespace
{
// The kinds of --uncertainty, in the order of Identify::TObservationKind.
const char* const UNCERTAINTY_KINDS[Identify::OBSERVATION_KINDS] = {
    "ballbar", "iso", "laser-length", "laser-straightness", "laser-angle", "mcg"};

// "KIND=VALUE" into options; false for an unknown kind or a value outside the stated range.
bool Read_Uncertainty(const QString& text, Identify::TOptions* options)
{
  const int equals = text.indexOf(QLatin1Char('='));
  if(equals <= 0)
  {
    return false;
  }
  bool ok = false;
  const double value = text.mid(equals + 1).toDouble(&ok);
  if(!ok || !(value >= Identify::SMALLEST_UNCERTAINTY && value <= Identify::LARGEST_UNCERTAINTY))
  {
    return false;
  }
  for(int kind = 0; kind < Identify::OBSERVATION_KINDS; ++kind)
  {
    if(text.left(equals) == QLatin1String(UNCERTAINTY_KINDS[kind]))
    {
      options->uncertainties[kind] = value;
      return true;
    }
  }
  return false;
}
} // namespace

namespace Batch
{
QString Read_Identify_Options(const TArguments& arguments, Identify::TOptions* options)
{
  const QStringList degrees = arguments.Values(QStringLiteral("degree"));
  if(!degrees.isEmpty())
  {
    bool ok = false;
    options->degree = degrees.back().toInt(&ok);
    if(!ok || options->degree < Identify::MINIMUM_DEGREE || options->degree > Identify::MAXIMUM_DEGREE)
    {
      return QStringLiteral("--degree must be a whole number from %1 to %2")
          .arg(Identify::MINIMUM_DEGREE)
          .arg(Identify::MAXIMUM_DEGREE);
    }
  }
  for(const QString& text : arguments.Values(QStringLiteral("uncertainty")))
  {
    if(!Read_Uncertainty(text, options))
    {
      return QStringLiteral("--uncertainty takes KIND=VALUE (µm, µrad for laser-angle; from %1 to %2) with KIND one "
                            "of ballbar, iso, laser-length, laser-straightness, laser-angle, mcg; got '%3'")
          .arg(Identify::SMALLEST_UNCERTAINTY)
          .arg(Identify::LARGEST_UNCERTAINTY)
          .arg(text);
    }
  }
  const QString resolution = arguments.Value(QStringLiteral("resolution"));
  options->resolution_from_machine = resolution.isEmpty();
  if(!resolution.isEmpty())
  {
    bool ok = false;
    options->resolution = resolution.toDouble(&ok);
    if(!ok || !Option_Limits::RESOLUTION.Contains(options->resolution))
    {
      return QStringLiteral("--resolution must be a number from 0 to %1; got '%2'")
          .arg(Option_Limits::RESOLUTION.maximum)
          .arg(resolution);
    }
  }
  options->absolute_straightness = arguments.parser->isSet(QStringLiteral("absolute-straightness"));
  return QString();
}
} // namespace Batch
