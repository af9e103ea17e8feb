// The identification's report texts and its JSON.

#include "src/model/identify_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>

#include "src/model/evaluation.h"

namespace
{
using namespace Identify;

const double CORRELATION_LIMIT = 0.9;
const int LARGEST_CORRELATIONS = 20;
const int LARGEST_OUTLIERS = 20;
const int DIRECTION_TERMS = 4;
const int LONGEST_TEXT = 200;

// Fixed-point text with the given decimals, trailing zeros (and a bare point) removed.
QString Fixed(double value, int decimals)
{
  QString text = QString::number(value, 'f', decimals);
  if(text.contains(QLatin1Char('.')))
  {
    while(text.endsWith(QLatin1Char('0')))
    {
      text.chop(1);
    }
    if(text.endsWith(QLatin1Char('.')))
    {
      text.chop(1);
    }
  }
  if(text == QLatin1String("-0"))
  {
    text = QStringLiteral("0");
  }
  return text;
}

// Enough decimals that a coefficient of L^power, rounded, moves its term by less than 1e-12
// over |L| <= extent: the value reproduces to 1e-9 with room to spare.
int Coefficient_Decimals(int power, double extent)
{
  const double magnitude = power > 0 ? std::pow(std::max(extent, 1.0), power) : 1.0;
  return std::min(40, 12 + static_cast<int>(std::ceil(std::log10(magnitude))) + 3);
}

QString Kind_Column(double rms, double largest)
{
  return QStringLiteral("%1 %2").arg(rms, 11, 'f', 3).arg(largest, 11, 'f', 3);
}

QString Number(double value)
{
  return QString::number(value, 'g', 4);
}

// "a X + b Y - c Z + 3 smaller terms", with the leading term's coefficient as it stands.
QString Direction_Text(const TNullDirection& direction)
{
  QString text;
  const int shown = std::min(static_cast<int>(direction.terms.size()), DIRECTION_TERMS);
  for(int index = 0; index < shown; ++index)
  {
    const double value = direction.terms[index].second;
    const QString& name = direction.terms[index].first;
    if(text.isEmpty())
    {
      text = value == 1.0 ? name : value == -1.0 ? QStringLiteral("-") + name : Number(value) + ' ' + name;
    }
    else
    {
      const double magnitude = std::fabs(value);
      text += value < 0.0 ? QStringLiteral(" - ") : QStringLiteral(" + ");
      text += magnitude == 1.0 ? name : Number(magnitude) + ' ' + name;
    }
  }
  const int rest = static_cast<int>(direction.terms.size()) - shown;
  if(rest > 0)
  {
    text += QStringLiteral(" + %1 smaller term%2").arg(rest).arg(rest == 1 ? QString() : QStringLiteral("s"));
  }
  return text;
}

void Write_Statistics(const TOptions& options, TResult* result)
{
  QStringList& report = result->report;
  const TOptions defaults;
  QStringList stated;
  for(int kind = 0; kind < OBSERVATION_KINDS; ++kind)
  {
    const double u = options.uncertainties[kind] > 0.0 ? options.uncertainties[kind] : defaults.uncertainties[kind];
    stated.push_back(QStringLiteral("%1 %2 %3").arg(Kind_Name(kind)).arg(u).arg(Kind_Unit(kind)));
  }
  report.push_back(QStringLiteral("Stated standard uncertainties (k = 1): ") + stated.join(QStringLiteral(", ")));
  report.push_back(options.resolution > 0.0
                       ? QString::fromUtf8("Resolution: %1%2 (µm for scale and deflection, µrad for angles and "
                                           "squareness, within the travel)")
                             .arg(options.resolution)
                             .arg(result->resolution_from_mpe ? QStringLiteral(" from the machine's MPE") : QString())
                       : QStringLiteral("Resolution: 0 (every direction the readings determine at all)"));
  report.push_back(options.absolute_straightness
                       ? QStringLiteral("Alignment: straightness slopes and radius zeros taken as measured")
                       : QStringLiteral("Alignment unknowns: %1 (straightness offset and slope per laser run, radius "
                                        "zero per gauge)")
                             .arg(result->alignment_unknowns));
  for(const QString& notice : result->notices)
  {
    report.push_back(QStringLiteral("Notice: ") + notice);
  }
  report.push_back(QString());
  report.push_back(QStringLiteral("Residuals                      before: RMS    largest      after: RMS    largest"));
  for(int kind = 0; kind < OBSERVATION_KINDS; ++kind)
  {
    if(result->kind_counts[kind] == 0)
    {
      continue;
    }
    report.push_back(QStringLiteral("  %1 %2 %3")
                         .arg(QStringLiteral("%1 (%2)").arg(Kind_Name(kind), Kind_Unit(kind)), -29)
                         .arg(Kind_Column(result->rms_before[kind], result->largest_before[kind]),
                              Kind_Column(result->rms_after[kind], result->largest_after[kind])));
  }
  report.push_back(QStringLiteral("Residual / u, RMS: before %1, after %2")
                       .arg(result->normalized_rms_before, 0, 'f', 3)
                       .arg(result->normalized_rms_after, 0, 'f', 3));
  report.push_back(std::isfinite(result->chi2_per_dof)
                       ? QStringLiteral("Chi-squared per degree of freedom: %1 (Birge ratio %2)")
                             .arg(result->chi2_per_dof, 0, 'f', 3)
                             .arg(std::sqrt(result->chi2_per_dof), 0, 'f', 3)
                       : QStringLiteral("Chi-squared per degree of freedom: none (no degree of freedom)"));
  if(result->birge > 1.0)
  {
    report.push_back(
        QStringLiteral("The uncertainties are multiplied by the Birge ratio %1.").arg(result->birge, 0, 'f', 3));
  }
  if(result->birge > 2.0)
  {
    const QString notice = QStringLiteral("the readings scatter more than stated, or the model misses an error");
    result->notices.push_back(notice);
    report.push_back(QStringLiteral("Notice: ") + notice);
  }
  for(const QString& name : result->turned)
  {
    report.push_back(
        QStringLiteral("%1: the other sign option explains the laser's angle readings; the identified machine takes it")
            .arg(name));
  }
  report.push_back(result->converged
                       ? QStringLiteral("Iterations: %1").arg(result->iterations)
                       : QStringLiteral("Iterations: %1 (%2)").arg(result->iterations).arg(result->failure));
}

void Write_Parameters(TResult* result)
{
  QStringList& report = result->report;
  report.push_back(QString());
  report.push_back(QString::fromUtf8("Fitted parameters (L in metres; angles and squareness in mm/m, scale in mm; "
                                     "± is one standard uncertainty, k = 1):"));
  const int name_width = 26;
  for(const TParameter& parameter : result->parameters)
  {
    QString line = QStringLiteral("  %1 %2").arg(parameter.label, -name_width).arg(parameter.value, 18, 'e', 9);
    line += parameter.identified ? QString::fromUtf8("  ± %1").arg(parameter.u, 9, 'e', 2)
            : parameter.moved    ? QStringLiteral("  not identified on its own; moved by an identified combination "
                                                     "(the value written is one of many that fit)")
                                 : QStringLiteral("  not identified");
    report.push_back(line);
  }
}

void Write_Functions(TResult* result)
{
  QStringList& report = result->report;
  if(result->bands.empty())
  {
    return;
  }
  report.push_back(QString());
  report.push_back(QString::fromUtf8("Error functions at 0, 1/4, 1/2, 3/4 and all of the travel (µm for scale, µrad "
                                     "for angles; ± k = 1):"));
  for(const TFunctionBand& band : result->bands)
  {
    TMachineLibrary::TMapErrorItem item;
    item.axis = band.axis;
    item.parameter = band.parameter;
    QString line = QStringLiteral("  %1").arg(Evaluation::Item_Label(item), -16);
    for(std::size_t index = 0; index < band.printed_positions.size(); ++index)
    {
      line += QStringLiteral("  %1 mm: %2")
                  .arg(Fixed(band.printed_positions[index], 3))
                  .arg(band.printed_values[index] * 1000.0, 0, 'f', 3);
      line += band.printed_u.empty() ? QStringLiteral(" (not identified)")
                                     : QString::fromUtf8(" ± %1").arg(band.printed_u[index] * 1000.0, 0, 'f', 3);
    }
    report.push_back(line);
  }
}

void Write_Correlations(TResult* result)
{
  const int count = result->covariance_labels.size();
  QStringList lines;
  for(int i = 0; i < count; ++i)
  {
    for(int j = i + 1; j < count; ++j)
    {
      const QString& first = result->covariance_labels[i];
      const QString& second = result->covariance_labels[j];
      // Coefficients of one function correlate by the basis alone.
      const TParameterKey& first_key = result->covariance_keys[static_cast<std::size_t>(i)];
      const TParameterKey& second_key = result->covariance_keys[static_cast<std::size_t>(j)];
      if(first_key.axis == second_key.axis && first_key.parameter == second_key.parameter)
      {
        continue;
      }
      const double product = result->covariance[i * count + i] * result->covariance[j * count + j];
      const double correlation = product > 0.0 ? result->covariance[i * count + j] / std::sqrt(product) : 0.0;
      if(std::fabs(correlation) > CORRELATION_LIMIT)
      {
        lines.push_back(QStringLiteral("  %1 / %2: %3").arg(first, second).arg(correlation, 0, 'f', 3));
      }
    }
  }
  if(lines.isEmpty())
  {
    return;
  }
  result->report.push_back(QStringLiteral("Correlations above 0.9 between error functions:"));
  result->report += lines.mid(0, LARGEST_CORRELATIONS);
  if(lines.size() > LARGEST_CORRELATIONS)
  {
    result->report.push_back(QStringLiteral("  and %1 more").arg(lines.size() - LARGEST_CORRELATIONS));
  }
}

void Write_Alignment_And_Outliers(const TOptions& options, TResult* result)
{
  QStringList& report = result->report;
  if(!result->alignment.empty())
  {
    report.push_back(QString());
    report.push_back(QString::fromUtf8("Alignment (± k = 1):"));
    for(const TAlignmentValue& value : result->alignment)
    {
      report.push_back(QString::fromUtf8("  %1 %2 %3 ± %4 %5")
                           .arg(Report_Cut(value.measurement), value.name)
                           .arg(value.value, 0, 'f', 4)
                           .arg(value.u, 0, 'f', 4)
                           .arg(value.unit));
    }
  }
  if(!result->outliers.empty())
  {
    report.push_back(QString());
    report.push_back(QStringLiteral("Outliers (|residual| / u above %1):").arg(options.outlier_limit));
    // A model that misses an error puts many readings here: the largest tell enough.
    const int shown = result->misfit ? std::min(LARGEST_OUTLIERS, static_cast<int>(result->outliers.size()))
                                     : static_cast<int>(result->outliers.size());
    for(int index = 0; index < shown; ++index)
    {
      const TOutlier& outlier = result->outliers[static_cast<std::size_t>(index)];
      report.push_back(QStringLiteral("  %1 line %2: %3 %4, residual %5 (%6 u)%7")
                           .arg(Report_Cut(outlier.file))
                           .arg(outlier.line)
                           .arg(outlier.quantity)
                           .arg(outlier.value, 0, 'f', 6)
                           .arg(outlier.residual, 0, 'f', 3)
                           .arg(outlier.normalized_residual, 0, 'f', 1)
                           .arg(outlier.rejected ? QStringLiteral(", rejected") : QString()));
    }
    if(shown < static_cast<int>(result->outliers.size()))
    {
      report.push_back(QStringLiteral("  and %1 more").arg(static_cast<int>(result->outliers.size()) - shown));
    }
  }
}

void Write_Rank(TResult* result)
{
  QStringList& report = result->report;
  report.push_back(QString());
  report.push_back(QStringLiteral("Rank: %1 of %2 unknowns").arg(result->rank).arg(result->unknowns));
  QString values = QStringLiteral("Singular values of the scaled design: smallest kept %1, largest dropped %2");
  report.push_back(
      values.arg(std::isfinite(result->smallest_kept) ? Number(result->smallest_kept) : QStringLiteral("none"),
                 std::isfinite(result->largest_dropped) ? Number(result->largest_dropped) : QStringLiteral("none")));
  if(!result->directions.empty())
  {
    report.push_back(QStringLiteral("Not identified:"));
  }
  for(const TNullDirection& direction : result->directions)
  {
    QString line = QStringLiteral("  ") + Direction_Text(direction) +
                   (!direction.structural         ? QStringLiteral(": below the resolution")
                    : direction.terms.size() == 1 ? QStringLiteral(": not seen by these tests")
                                                  : QStringLiteral(": not separable with these tests"));
    if(!direction.hint.isEmpty() && direction.terms.size() > 1)
    {
      line += QStringLiteral(" (") + direction.hint + QLatin1Char(')');
    }
    report.push_back(line);
  }
  report.push_back(QStringLiteral("Verdict: ") + Verdict_Text(*result));
  if(result->status == TStatus::FITTED)
  {
    report.push_back(QStringLiteral("Identified machine: %1").arg(Report_Cut(result->machine.name)));
  }
}

// Said first, after the title: the rest of the report is read in its light.
void Write_Misfit(const TOptions& options, TResult* result)
{
  if(!result->misfit)
  {
    return;
  }
  int beyond = 0;
  for(const TOutlier& outlier : result->outliers)
  {
    beyond += outlier.rejected ? 0 : 1;
  }
  QStringList lines;
  lines.push_back(QString::fromUtf8("The model misses an error: %1 of %2 readings beyond the outlier limit %3, "
                                    "χ²/ν %4")
                      .arg(beyond)
                      .arg(result->readings)
                      .arg(options.outlier_limit)
                      .arg(std::isfinite(result->chi2_per_dof) ? Fixed(result->chi2_per_dof, 2) : QStringLiteral("-")));
  if(!result->suggestions.empty())
  {
    lines.push_back(QStringLiteral("What would explain more of the readings, best first:"));
    for(const TSuggestion& suggestion : result->suggestions)
    {
      lines.push_back(QString::fromUtf8("  %1: χ²/ν %2 → %3")
                          .arg(suggestion.label)
                          .arg(result->chi2_per_dof, 0, 'f', 2)
                          .arg(suggestion.chi2_per_dof, 0, 'f', 2));
    }
  }
  else
  {
    lines.push_back(QStringLiteral("No disabled parameter or higher degree would explain the rest: check the readings "
                                   "and their stated uncertainties."));
  }
  lines.push_back(QString());
  for(int index = 0; index < lines.size(); ++index)
  {
    result->report.insert(std::min(1 + index, static_cast<int>(result->report.size())), lines[index]);
  }
}

QJsonValue Json_Number(double value)
{
  return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}
} // namespace

namespace Identify
{
QString Verdict_Name(TVerdict verdict)
{
  switch(verdict)
  {
  case TVerdict::IDENTIFIED:
    return QStringLiteral("identified");
  case TVerdict::PARTLY_IDENTIFIED:
    return QStringLiteral("partly identified");
  case TVerdict::NOT_IDENTIFIED:
    break;
  }
  return QStringLiteral("not identified");
}

QString Verdict_Text(const TResult& result)
{
  QString text = Verdict_Name(result.verdict);
  if(result.verdict == TVerdict::PARTLY_IDENTIFIED)
  {
    text += QStringLiteral(": %1 of %2 directions").arg(result.rank).arg(result.unknowns);
    if(result.none_alone)
    {
      text += QStringLiteral("; no error function is determined on its own");
    }
  }
  else if(result.verdict == TVerdict::NOT_IDENTIFIED)
  {
    switch(result.status)
    {
    case TStatus::NOT_CONVERGED:
      text += QStringLiteral(": ") + result.failure;
      break;
    case TStatus::WORSE:
      text += QStringLiteral(": the fit is worse than the starting machine");
      break;
    case TStatus::OUTSIDE_TRAVEL:
      text += QStringLiteral(": the files do not fit this machine's travel");
      break;
    default:
      break;
    }
  }
  return text;
}

QString Kind_Name(int kind)
{
  switch(kind)
  {
  case OBSERVATION_BALLBAR:
    return QStringLiteral("Ball bar length");
  case OBSERVATION_ISO:
    return QStringLiteral("ISO length");
  case OBSERVATION_LASER_LENGTH:
    return QStringLiteral("Laser length");
  case OBSERVATION_LASER_STRAIGHTNESS:
    return QStringLiteral("Laser straightness");
  case OBSERVATION_LASER_ANGLE:
    return QStringLiteral("Laser angle");
  case OBSERVATION_MCG:
    return QStringLiteral("MCG length");
  default:
    return QString();
  }
}

QString Kind_Unit(int kind)
{
  return kind == OBSERVATION_LASER_ANGLE ? QString::fromUtf8("µrad") : QString::fromUtf8("µm");
}

QString Polynomial_Text(const std::vector<double>& coefficients, double extent)
{
  QString text;
  for(std::size_t index = 0; index < coefficients.size(); ++index)
  {
    const int power = static_cast<int>(index) + 1;
    const QString number = Fixed(std::fabs(coefficients[index]), Coefficient_Decimals(power, extent));
    if(number == QLatin1String("0"))
    {
      continue;
    }
    const bool negative = coefficients[index] < 0.0;
    if(text.isEmpty())
    {
      text = negative ? QStringLiteral("-") : QString();
    }
    else
    {
      text += negative ? QLatin1Char('-') : QLatin1Char('+');
    }
    text += number + QStringLiteral("*L");
    if(power > 1)
    {
      text += QStringLiteral("^%1").arg(power);
    }
  }
  return text.isEmpty() ? QStringLiteral("0") : text;
}

QString Value_Text(double value)
{
  return Fixed(value, Coefficient_Decimals(0, 1.0));
}

QString Report_Cut(const QString& text)
{
  return text.size() > LONGEST_TEXT ? text.left(LONGEST_TEXT) + QStringLiteral("...") : text;
}

QString Direction_Hint(const std::vector<int>& unknowns, const TModel& model)
{
  bool squareness = false;
  bool angle = false;
  QSet<int> scale_axes;
  for(const int index : unknowns)
  {
    const TUnknown& unknown = model.Unknowns()[index];
    squareness = squareness || unknown.parameter == PARAMETER_QXY || unknown.parameter == PARAMETER_QYZ ||
                 unknown.parameter == PARAMETER_QZX;
    angle = angle || unknown.parameter == PARAMETER_RX || unknown.parameter == PARAMETER_RY ||
            unknown.parameter == PARAMETER_RZ || unknown.parameter == PARAMETER_DEFLECTION;
    if(unknown.parameter == PARAMETER_SCALE)
    {
      scale_axes.insert(unknown.axis);
    }
  }
  if(squareness && angle)
  {
    return QStringLiteral("another stylus length would separate it");
  }
  if(squareness || scale_axes.size() > 1)
  {
    return QStringLiteral("a diagonal would separate it");
  }
  if(angle)
  {
    return QStringLiteral("an axis laser run with an offset would separate it");
  }
  if(!scale_axes.isEmpty())
  {
    return QStringLiteral("a laser run along the axis would separate it");
  }
  return QString();
}

void Write_Report(const TOptions& options, TResult* result)
{
  Write_Misfit(options, result);
  Write_Statistics(options, result);
  Write_Parameters(result);
  Write_Functions(result);
  Write_Correlations(result);
  Write_Alignment_And_Outliers(options, result);
  Write_Rank(result);
}

QByteArray Json(const TResult& result)
{
  QJsonObject root;
  root.insert(QStringLiteral("machine"), result.machine_name);
  root.insert(QStringLiteral("identified_machine"),
              result.status == TStatus::FITTED ? QJsonValue(result.machine.name) : QJsonValue(QJsonValue::Null));
  root.insert(QStringLiteral("converged"), result.converged);
  root.insert(QStringLiteral("iterations"), result.iterations);
  root.insert(QStringLiteral("readings"), result.readings);
  root.insert(QStringLiteral("unknowns"), result.unknowns);
  root.insert(QStringLiteral("alignment_unknowns"), result.alignment_unknowns);
  root.insert(QStringLiteral("rank"), result.rank);
  root.insert(QStringLiteral("verdict"), Verdict_Name(result.verdict));
  root.insert(QStringLiteral("chi2_per_dof"), Json_Number(result.chi2_per_dof));
  root.insert(QStringLiteral("birge_ratio"), Json_Number(result.birge));
  root.insert(QStringLiteral("normalized_rms"),
              QJsonObject{{QStringLiteral("before"), Json_Number(result.normalized_rms_before)},
                          {QStringLiteral("after"), Json_Number(result.normalized_rms_after)}});
  QJsonArray parameters;
  for(const TParameter& parameter : result.parameters)
  {
    parameters.append(QJsonObject{
        {QStringLiteral("label"), parameter.label},
        {QStringLiteral("value"), Json_Number(parameter.value)},
        {QStringLiteral("u"), parameter.identified ? Json_Number(parameter.u) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("identified"), parameter.identified}});
  }
  root.insert(QStringLiteral("parameters"), parameters);
  QJsonArray matrix;
  const int count = result.covariance_labels.size();
  for(int i = 0; i < count; ++i)
  {
    QJsonArray row;
    for(int j = 0; j < count; ++j)
    {
      row.append(Json_Number(result.covariance[i * count + j]));
    }
    matrix.append(row);
  }
  root.insert(QStringLiteral("covariance"),
              QJsonObject{{QStringLiteral("labels"), QJsonArray::fromStringList(result.covariance_labels)},
                          {QStringLiteral("matrix"), matrix}});
  QJsonArray directions;
  for(const TNullDirection& direction : result.directions)
  {
    QJsonArray terms;
    for(const auto& term : direction.all_terms)
    {
      terms.append(QJsonObject{{QStringLiteral("label"), term.first},
                               {QStringLiteral("coefficient"), Json_Number(term.second)}});
    }
    directions.append(QJsonObject{{QStringLiteral("kind"), direction.structural ? QStringLiteral("structural")
                                                                                : QStringLiteral("below resolution")},
                                  {QStringLiteral("terms"), terms},
                                  {QStringLiteral("hint"), direction.hint}});
  }
  root.insert(QStringLiteral("null_directions"), directions);
  QJsonArray outliers;
  for(const TOutlier& outlier : result.outliers)
  {
    outliers.append(QJsonObject{{QStringLiteral("file"), outlier.file},
                                {QStringLiteral("line"), outlier.line},
                                {QStringLiteral("quantity"), outlier.quantity},
                                {QStringLiteral("normalized_residual"), Json_Number(outlier.normalized_residual)},
                                {QStringLiteral("rejected"), outlier.rejected}});
  }
  root.insert(QStringLiteral("outliers"), outliers);
  QJsonArray duplicates;
  for(const Measured::TDuplicate& duplicate : result.duplicates)
  {
    duplicates.append(
        QJsonObject{{QStringLiteral("file"), duplicate.file}, {QStringLiteral("same_as"), duplicate.same_as}});
  }
  root.insert(QStringLiteral("duplicates"), duplicates);
  QJsonArray alignment;
  for(const TAlignmentValue& value : result.alignment)
  {
    alignment.append(QJsonObject{{QStringLiteral("file"), value.file},
                                 {QStringLiteral("name"), value.name},
                                 {QStringLiteral("value"), Json_Number(value.value)},
                                 {QStringLiteral("u"), Json_Number(value.u)},
                                 {QStringLiteral("unit"), value.unit}});
  }
  root.insert(QStringLiteral("alignment"), alignment);
  root.insert(QStringLiteral("notices"), QJsonArray::fromStringList(result.notices));
  QJsonArray functions;
  for(const TFunctionBand& band : result.bands)
  {
    TMachineLibrary::TMapErrorItem item;
    item.axis = band.axis;
    item.parameter = band.parameter;
    QJsonArray positions;
    for(std::size_t index = 0; index < band.printed_positions.size(); ++index)
    {
      positions.append(
          QJsonObject{{QStringLiteral("position_mm"), Json_Number(band.printed_positions[index])},
                      {QStringLiteral("value"), Json_Number(band.printed_values[index] * 1000.0)},
                      {QStringLiteral("u"), band.printed_u.empty() ? QJsonValue(QJsonValue::Null)
                                                                   : Json_Number(band.printed_u[index] * 1000.0)}});
    }
    functions.append(
        QJsonObject{{QStringLiteral("label"), Evaluation::Item_Label(item)},
                    {QStringLiteral("unit"),
                     band.parameter == PARAMETER_SCALE ? QString::fromUtf8("µm") : QString::fromUtf8("µrad")},
                    {QStringLiteral("positions"), positions}});
  }
  root.insert(QStringLiteral("functions"), functions);
  root.insert(QStringLiteral("misfit"), result.misfit);
  QJsonArray suggestions;
  for(const TSuggestion& suggestion : result.suggestions)
  {
    suggestions.append(QJsonObject{{QStringLiteral("label"), suggestion.label},
                                   {QStringLiteral("chi2_per_dof"), Json_Number(suggestion.chi2_per_dof)}});
  }
  root.insert(QStringLiteral("suggestions"), suggestions);
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
} // namespace Identify
