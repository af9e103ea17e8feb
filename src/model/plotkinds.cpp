#include "src/model/plotkinds.h"

namespace
{
QByteArray Errors_Csv(const Plot_Kinds::TData& data)
{
  return Plot_Series::Errors_Csv(data.error_table);
}

QByteArray Results_Csv(const Plot_Kinds::TData& data)
{
  return Plot_Series::Results_Csv(data.results);
}

QByteArray Sensitivity_Csv(const Plot_Kinds::TData& data)
{
  return Sensitivity::Csv(data.sensitivity.rows, data.sensitivity.scale);
}

QByteArray Conformity_Csv(const Plot_Kinds::TData& data)
{
  return Conformity::Csv(data.conformity);
}

QByteArray Compensation_Csv(const Plot_Kinds::TData& data)
{
  return Compensation::Csv(data.compensation);
}
} // namespace

namespace Plot_Kinds
{
const std::vector<TKind>& Kinds()
{
  // The titles are translated where they are shown, in the context "Plot_Kinds".
  static const std::vector<TKind> kinds = {
      {"errors", QT_TRANSLATE_NOOP("Plot_Kinds", "Machine errors"), QT_TRANSLATE_NOOP("Plot_Kinds", "Machine errors"),
       TSource::MACHINE, Errors_Csv},
      {"results", QT_TRANSLATE_NOOP("Plot_Kinds", "Measurement results"),
       QT_TRANSLATE_NOOP("Plot_Kinds", "Measurement results"), TSource::RESULTS, Results_Csv},
      {"sensitivity", QT_TRANSLATE_NOOP("Plot_Kinds", "Sensitivity"),
       QT_TRANSLATE_NOOP("Plot_Kinds", "Sensitivity (which test detects which error)"), TSource::SENSITIVITY,
       Sensitivity_Csv},
      {"conformity", QT_TRANSLATE_NOOP("Plot_Kinds", "Conformity"),
       QT_TRANSLATE_NOOP("Plot_Kinds", "Conformity (ISO 10360-2 tests against the MPE)"), TSource::CONFORMITY,
       Conformity_Csv},
      {"compensation", QT_TRANSLATE_NOOP("Plot_Kinds", "Compensation"),
       QT_TRANSLATE_NOOP("Plot_Kinds", "Compensation (the tests before and after each correction)"),
       TSource::COMPENSATION, Compensation_Csv},
  };
  return kinds;
}

const TKind* Find(const QString& name)
{
  for(const TKind& kind : Kinds())
  {
    if(name == QLatin1String(kind.name))
    {
      return &kind;
    }
  }
  return nullptr;
}

QString Names_Text()
{
  QString text;
  const std::vector<TKind>& kinds = Kinds();
  for(std::size_t index = 0; index < kinds.size(); ++index)
  {
    if(index > 0)
    {
      text += index + 1 == kinds.size() ? QStringLiteral(" or ") : QStringLiteral(", ");
    }
    text += QLatin1String(kinds[index].name);
  }
  return text;
}

bool Needs_Measurements(const TKind& kind)
{
  return kind.source != TSource::MACHINE;
}

bool Ready(const TKind& kind, const TData& data)
{
  switch(kind.source)
  {
  case TSource::MACHINE:
    return data.has_machine;
  case TSource::RESULTS:
    return data.has_machine && data.has_results;
  case TSource::SENSITIVITY:
    return data.has_sensitivity && data.sensitivity.end == Sensitivity::TEnd::FINISHED;
  case TSource::CONFORMITY:
    return data.has_conformity;
  case TSource::COMPENSATION:
    return data.has_compensation;
  }
  return false;
}
} // namespace Plot_Kinds
