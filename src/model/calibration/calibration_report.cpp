// The calibration report's document: the sections, their fields and tables, from the machine,
// the tests, the conformity decision and the administrative facts.

#include "src/model/calibration/calibration_report.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <memory>

#include "src/model/evaluation.h"
#include "src/model/machine_labels.h"
#include "src/model/plotseries.h"
#include "src/model/report.h"
#include "src/model/simulation.h"
#include "src/model/textformat.h"

namespace
{
using namespace Calibration_Report;
using TKind = TBlock::TKind;

const char* const NOT_STATED = "not stated";
// The map tables of the machine section: every 100 mm, as the window's increment fields start.
const double MAP_INCREMENT = 100.0;

QString Kinematic_Name(int kinematic)
{
  switch(kinematic)
  {
  case KINEMATIC_XYZ:
    return QStringLiteral("X-Y-Z (X carries Y, Y carries Z)");
  case KINEMATIC_YXZ:
    return QStringLiteral("Y-X-Z (Y carries X, X carries Z)");
  case KINEMATIC_XZY:
    return QStringLiteral("X-Z-Y, horizontal arm along Y");
  case KINEMATIC_YZX:
    return QStringLiteral("Y-Z-X, horizontal arm along X");
  default:
    break;
  }
  return QStringLiteral("unknown");
}

QString Number(double value, int decimals)
{
  return std::isinf(value) ? QStringLiteral("inf") : Text::Number(value, 0, decimals);
}

TBlock Paragraph(const QString& text, TKind kind = TKind::PARAGRAPH)
{
  TBlock block;
  block.kind = kind;
  block.text = text;
  return block;
}

TBlock Table(const QStringList& heads, const std::vector<bool>& numeric, const std::vector<QStringList>& rows)
{
  TBlock block;
  block.kind = TKind::TABLE;
  block.table.heads = heads;
  block.table.numeric = numeric;
  block.table.rows = rows;
  return block;
}

// "Label: value" lines of the info fields named.
TBlock Fields(const TInfo& info, const std::vector<std::pair<QString, QString>>& extra,
              std::initializer_list<const char*> keys)
{
  TBlock block;
  block.kind = TKind::FIELDS;
  block.table.heads = QStringList{QStringLiteral("Field"), QStringLiteral("Value")};
  block.table.numeric = {false, false};
  for(const auto& [label, value] : extra)
  {
    block.table.rows.push_back({label, value});
  }
  for(const char* key : keys)
  {
    for(const TInfo::TField& field : TInfo::Fields())
    {
      if(QLatin1String(field.key) == QLatin1String(key))
      {
        const QString value = info.Has(key) ? info.Value(key) : QLatin1String(NOT_STATED);
        block.table.rows.push_back({QString::fromUtf8(field.label), value});
      }
    }
  }
  return block;
}

QString Triple(const TVector3& v)
{
  return QStringLiteral("%1, %2, %3").arg(Number(v.x, 1), Number(v.y, 1), Number(v.z, 1));
}

TSection Machine_Section(const TInputs& inputs, int number)
{
  const TMachineLibrary::TMachineItem& machine = *inputs.machine;
  TSection section{QStringLiteral("%1 The machine").arg(number), {}};
  QString mpe = QLatin1String(NOT_STATED);
  Conformity::TMpe record_mpe;
  if(Conformity::Record_Mpe(machine, &record_mpe))
  {
    mpe = QStringLiteral("A = %1 µm, K = %2, %3")
              .arg(Text::Shortest_Number(record_mpe.a), Text::Shortest_Number(record_mpe.k),
                   record_mpe.has_b ? QStringLiteral("B = %1 µm").arg(Text::Shortest_Number(record_mpe.b))
                                    : QStringLiteral("no cap B"));
  }
  section.blocks.push_back(Fields(TInfo(),
                                  {{QStringLiteral("Machine"), machine.name},
                                   {QStringLiteral("Travel, start (mm)"), Triple(machine.axis_minimum)},
                                   {QStringLiteral("Travel, end (mm)"), Triple(machine.axis_maximum)},
                                   {QStringLiteral("Kinematic order"), Kinematic_Name(machine.kinematic)},
                                   {QStringLiteral("E0, MPE = min(A + L/K, B) of the record"), mpe}},
                                  {}));
  std::vector<QStringList> rows;
  for(const TMachineLibrary::TMapErrorItem& item : Simulation::Machine_Record(machine).error_items)
  {
    const bool function = !item.expression.isEmpty();
    rows.push_back({Evaluation::Item_Label(item),
                    function ? item.expression + QStringLiteral("  (L in m)") : Text::Shortest_Number(item.value),
                    function && item.parameter == PARAMETER_SCALE ? QStringLiteral("mm") : QStringLiteral("mm/m"),
                    item.sign < 0 ? QStringLiteral("second (-1)") : QStringLiteral("first (+1)")});
  }
  section.blocks.push_back(Paragraph(rows.empty() ? QStringLiteral("The machine has no enabled error parameter.")
                                                  : QStringLiteral("Enabled error parameters:")));
  if(!rows.empty())
  {
    section.blocks.push_back(Table({QStringLiteral("Parameter"), QStringLiteral("Function or value"),
                                    QStringLiteral("Unit"), QStringLiteral("Sign option")},
                                   {false, false, false, false}, rows));
  }
  TMachineComp model;
  if(Simulation::Setup_Machine_Comp(Simulation::Machine_Record(machine), &model, nullptr))
  {
    section.blocks.push_back(
        Paragraph(QStringLiteral("The error tables as the \"Machine Errors\" tab lists them (every %1 mm; lengths in "
                                 "mm, angles and squareness in mm/m):")
                      .arg(MAP_INCREMENT)));
    section.blocks.push_back(
        Paragraph(Report::Map_Display(model, machine.name, MAP_INCREMENT, MAP_INCREMENT, MAP_INCREMENT)
                      .mid(2)
                      .join(QLatin1Char('\n')),
                  TKind::PREFORMATTED));
  }
  return section;
}

// Where each test stands and what it measures, from its evaluated texts and simulated rows.
std::vector<QStringList> Test_Rows(const TInputs& inputs)
{
  std::vector<std::unique_ptr<TMeasurement>> copies;
  std::vector<TMeasurement*> list;
  for(const TMeasurement* record : inputs.records)
  {
    copies.push_back(Copy_Measurement(*record));
    list.push_back(copies.back().get());
  }
  TMachineComp model;
  QStringList errors;
  const bool simulated = Simulation::Setup_Machine_Comp(Simulation::Machine_Record(*inputs.machine), &model, nullptr) &&
                         Report::Simulate_Measurements(&model, &list, &errors);
  std::vector<QStringList> rows;
  for(const TMeasurement* measurement : list)
  {
    QString position;
    QStringList lengths;
    for(const TMeasurement::TMeasurementItem& item : measurement->d_measurement_items)
    {
      lengths.push_back(Number(item.length_nominal, 1));
    }
    if(simulated && !measurement->d_measurement_items.empty())
    {
      const TMeasurement::TMeasurementItem& first = measurement->d_measurement_items.front();
      const TMeasurement::TMeasurementItem& last = measurement->d_measurement_items.back();
      position = measurement->Type() == Types::MEASUREMENT_ISO || measurement->Type() == Types::MEASUREMENT_LASER
                     ? QStringLiteral("(%1) to (%2)").arg(Triple(first.reference_nominal), Triple(last.point_nominal))
                     : QStringLiteral("centre (%1)").arg(Triple((first.reference_nominal + first.point_nominal) * 0.5));
      if(measurement->Type() == Types::MEASUREMENT_MCG)
      {
        position = QStringLiteral("centre (%1)").arg(Triple(first.reference_nominal));
      }
    }
    if(lengths.size() > 6)
    {
      lengths =
          QStringList{QStringLiteral("%1 rows, %2 to %3").arg(lengths.size()).arg(lengths.front(), lengths.back())};
    }
    int repetitions = 1;
    if(!inputs.measured.isEmpty())
    {
      repetitions = static_cast<int>(std::count_if(inputs.conformity.rows.begin(), inputs.conformity.rows.end(),
                                                   [measurement](const Conformity::TRow& row)
                                                   { return row.measurement == measurement->d_name && row.row == 1; }));
    }
    rows.push_back({measurement->d_name, Plot_Series::Kind_Name(measurement->Type()),
                    simulated ? position : QStringLiteral("not evaluated"), lengths.join(QStringLiteral(", ")),
                    QString::number(repetitions)});
  }
  return rows;
}

TSection Method_Section(const TInputs& inputs, int number)
{
  const Conformity::TOptions& options = inputs.conformity.options;
  TSection section{QStringLiteral("%1 Method").arg(number), {}};
  section.blocks.push_back(Paragraph(
      inputs.measured.isEmpty()
          ? QStringLiteral("The tests below were simulated on the machine's error model; each row's deviation E is "
                           "the simulated length minus the nominal length.")
          : QStringLiteral("The tests below were measured; each row's deviation E is the measured length minus the "
                           "calibrated length. Files: %1.")
                .arg(inputs.measured.join(QStringLiteral(", ")))));
  section.blocks.push_back(
      Table({QStringLiteral("Measurement"), QStringLiteral("Kind"), QStringLiteral("Position (mm)"),
             QStringLiteral("Nominal lengths (mm)"), QStringLiteral("Repetitions")},
            {false, false, false, false, true}, Test_Rows(inputs)));
  section.blocks.push_back(
      Paragraph(QStringLiteral("Test set-up uncertainty: U(L) = a + b·L with a = %1 µm and b = %2 µm/m (k = 2).")
                    .arg(Text::Shortest_Number(options.test.a), Text::Shortest_Number(options.test.b))));
  QString uncertainty;
  if(inputs.conformity.propagated)
  {
    uncertainty = options.draws > 0 ? QStringLiteral(" The standard uncertainty u of each simulated reading comes from "
                                                     "the machine's covariance by Monte Carlo (%1 draws, seed %2); "
                                                     "U = √(U(L)² + (2u)²).")
                                          .arg(options.draws)
                                          .arg(options.seed)
                                    : QStringLiteral(" The standard uncertainty u of each simulated reading comes from "
                                                     "the machine's covariance by linear propagation; "
                                                     "U = √(U(L)² + (2u)²).");
  }
  section.blocks.push_back(Paragraph(
      (options.rule == Conformity::TRule::SIMPLE
           ? QStringLiteral("Decision rule: simple acceptance, a row passes when |E| ≤ MPE(L), with "
                            "MPE(L) = min(A + L/K, B) and the expanded uncertainty U stated with k = 2.")
           : QStringLiteral("Decision rule: guarded acceptance (ISO 14253-1), a row passes when |E| + U ≤ MPE(L), "
                            "fails when |E| − U > MPE(L) and is otherwise inconclusive, with MPE(L) = min(A + L/K, B) "
                            "and the expanded uncertainty U stated with k = 2.")) +
      uncertainty));
  section.blocks.push_back(Paragraph(QStringLiteral("The results relate only to the item calibrated.")));
  return section;
}

TSection Results_Section(const TInputs& inputs, int number)
{
  const Conformity::TReport& report = inputs.conformity;
  TSection section{QStringLiteral("%1 Results").arg(number), {}};
  if(report.rows.empty())
  {
    section.blocks.push_back(
        Paragraph(QStringLiteral("No ISO 10360-2 test was selected: there is nothing to decide.")));
    return section;
  }
  const Conformity::TMpe& mpe = report.options.mpe;
  section.blocks.push_back(Paragraph(
      QStringLiteral("E0, MPE = min(A + L/K, B) with A = %1 µm, K = %2, %3; L in mm.")
          .arg(Text::Shortest_Number(mpe.a), Text::Shortest_Number(mpe.k),
               mpe.has_b ? QStringLiteral("B = %1 µm").arg(Text::Shortest_Number(mpe.b)) : QStringLiteral("no cap"))));
  std::vector<QStringList> rows;
  for(const Conformity::TRow& row : report.rows)
  {
    rows.push_back({row.measurement, QString::number(row.row), Number(row.length, 4), Number(row.deviation, 4),
                    Number(row.mpe, 4), row.has_u ? Number(row.u, 4) : QStringLiteral("-"), Number(row.expanded, 4),
                    Number(row.utilisation, 4), Conformity::Decision_Name(row.decision)});
  }
  section.blocks.push_back(
      Table({QStringLiteral("Measurement"), QStringLiteral("Row"), QStringLiteral("L (mm)"), QStringLiteral("E (µm)"),
             QStringLiteral("MPE (µm)"), QStringLiteral("u (µm, k = 1)"), QStringLiteral("U (µm, k = 2)"),
             QStringLiteral("|E|/MPE"), QStringLiteral("Decision")},
            {false, true, true, true, true, true, true, true, false}, rows));
  for(const QString& note : report.notes)
  {
    section.blocks.push_back(Paragraph(QStringLiteral("Note: ") + note));
  }
  section.blocks.push_back(Paragraph(QString(), TKind::CHART));
  section.blocks.push_back(Paragraph(Conformity::Summary(report), TKind::DECISION));
  return section;
}

TSection Identified_Section(const TIdentified& identified, int number)
{
  TSection section{QStringLiteral("%1 Identified errors").arg(number), {}};
  QString chi2 = identified.has_chi2 ? Number(identified.chi2_per_dof, 3) : QLatin1String(NOT_STATED);
  section.blocks.push_back(Fields(
      TInfo(),
      {{QStringLiteral("Identified from"), identified.machine},
       {QStringLiteral("Verdict"), identified.verdict},
       {QStringLiteral("Rank"), QStringLiteral("%1 of %2 directions").arg(identified.rank).arg(identified.unknowns)},
       {QStringLiteral("χ²/ν"), chi2}},
      {}));
  std::vector<QStringList> rows;
  for(const TIdentified::TFunction& function : identified.functions)
  {
    for(const TIdentified::TValue& value : function.values)
    {
      rows.push_back({function.label, function.unit, Number(value.position, 1), Number(value.value, 4),
                      value.has_u ? Number(value.u, 4) : QStringLiteral("not determined"),
                      value.has_u ? Number(2.0 * value.u, 4) : QString()});
    }
  }
  for(const TIdentified::TParameter& parameter : identified.parameters)
  {
    // A coefficient of an older file's function has the unit of its power; a value is in mm/m.
    TParameterKey key;
    const bool coefficient = Machine_Labels::Read_Key_Label(parameter.label, &key) && key.power > 0;
    rows.push_back({parameter.label, coefficient ? QString() : QStringLiteral("mm/m"), QString(),
                    Number(parameter.value, 6),
                    parameter.identified ? Number(parameter.u, 6) : QStringLiteral("not identified"),
                    parameter.identified ? Number(2.0 * parameter.u, 6) : QString()});
  }
  section.blocks.push_back(Table({QStringLiteral("Error"), QStringLiteral("Unit"), QStringLiteral("Position (mm)"),
                                  QStringLiteral("Value"), QStringLiteral("u (k = 1)"), QStringLiteral("U (k = 2)")},
                                 {false, false, true, true, true, true}, rows));
  return section;
}

TSection Compensation_Section(const std::vector<TCompensationRow>& compensation, int number)
{
  TSection section{QStringLiteral("%1 Compensation").arg(number), {}};
  section.blocks.push_back(Paragraph(
      QStringLiteral("The tests simulated before and after each form of correction built from the machine: the largest "
                     "|deviation| of each measurement.")));
  std::vector<QStringList> rows;
  for(const TCompensationRow& row : compensation)
  {
    rows.push_back({row.form, row.measurement, QString::number(row.rows), Number(row.largest_before, 3),
                    Number(row.largest_after, 3)});
  }
  section.blocks.push_back(Table({QStringLiteral("Form"), QStringLiteral("Measurement"), QStringLiteral("Rows"),
                                  QStringLiteral("Largest |E| before (µm)"), QStringLiteral("Largest |E| after (µm)")},
                                 {false, false, true, true, true}, rows));
  return section;
}
} // namespace

namespace Calibration_Report
{
const std::vector<TInfo::TField>& TInfo::Fields()
{
  static const std::vector<TField> fields = {
      {"report_number", "Report number", false},
      {"laboratory", "Laboratory", false},
      {"customer", "Customer", false},
      {"serial_number", "Serial number", false},
      {"location", "Location", false},
      {"measurement_date", "Date of measurement", false},
      {"temperature_c", "Temperature (°C)", true},
      {"temperature_variation_k", "Temperature variation (K)", true},
      {"operator", "Operator", false},
      {"approved_by", "Approved by", false},
      {"remarks", "Remarks", false},
  };
  return fields;
}

namespace
{
int Field_Index(const char* key)
{
  const std::vector<TInfo::TField>& fields = TInfo::Fields();
  for(std::size_t i = 0; i < fields.size(); ++i)
  {
    if(QLatin1String(fields[i].key) == QLatin1String(key))
    {
      return static_cast<int>(i);
    }
  }
  return -1;
}
} // namespace

QString TInfo::Value(const char* key) const
{
  const int index = Field_Index(key);
  return index >= 0 && index < values.size() ? values[index] : QString();
}

bool TInfo::Has(const char* key) const
{
  return present.contains(QLatin1String(key));
}

void TInfo::Set(const char* key, const QString& value)
{
  const int index = Field_Index(key);
  while(values.size() < static_cast<int>(Fields().size()))
  {
    values.push_back(QString());
  }
  values[index] = value;
  present.removeAll(QLatin1String(key));
  if(!value.isEmpty())
  {
    present.push_back(QLatin1String(key));
  }
}

bool Read_Info(const QByteArray& json, const QString& name, TInfo* info, QString* error, QStringList* warnings)
{
  QJsonParseError parse;
  const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
  if(parse.error != QJsonParseError::NoError || !document.isObject())
  {
    *error = parse.error != QJsonParseError::NoError
                 ? QStringLiteral("'%1' is not JSON: %2 at byte %3").arg(name, parse.errorString()).arg(parse.offset)
                 : QStringLiteral("'%1' is not a JSON object").arg(name);
    return false;
  }
  const QJsonObject object = document.object();
  TInfo read;
  for(auto it = object.begin(); it != object.end(); ++it)
  {
    const QByteArray key = it.key().toUtf8();
    const int index = Field_Index(key.constData());
    if(index < 0)
    {
      warnings->push_back(
          QStringLiteral("'%1': the key '%2' is not one the report knows; left out").arg(name, it.key()));
      continue;
    }
    const TInfo::TField& field = TInfo::Fields()[static_cast<std::size_t>(index)];
    if(it.value().isNull())
    {
      continue;
    }
    if(field.number ? !it.value().isDouble() : !it.value().isString())
    {
      *error =
          QStringLiteral("'%1': the key '%2' must be %3").arg(name, it.key(), field.number ? "a number" : "a text");
      return false;
    }
    read.Set(field.key, field.number ? Text::Shortest_Number(it.value().toDouble()) : it.value().toString());
  }
  *info = read;
  return true;
}

QByteArray Info_Json(const TInfo& info)
{
  QJsonObject object;
  for(const TInfo::TField& field : TInfo::Fields())
  {
    if(!info.Has(field.key))
    {
      continue;
    }
    double number = 0.0;
    if(field.number && Text::Read_Number(info.Value(field.key), &number) && std::isfinite(number))
    {
      object.insert(QLatin1String(field.key), number);
    }
    else if(!field.number)
    {
      object.insert(QLatin1String(field.key), info.Value(field.key));
    }
  }
  return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool Read_Identified(const QByteArray& json, const QString& name, TIdentified* identified, QString* error)
{
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if(!document.isObject() || !document.object().contains(QStringLiteral("rank")))
  {
    *error = QStringLiteral("'%1' is not the --json of varlume-batch identify").arg(name);
    return false;
  }
  const QJsonObject root = document.object();
  TIdentified read;
  read.machine =
      root.value(QStringLiteral("identified_machine")).toString(root.value(QStringLiteral("machine")).toString());
  read.rank = root.value(QStringLiteral("rank")).toInt();
  read.unknowns = root.value(QStringLiteral("unknowns")).toInt();
  read.has_chi2 = root.value(QStringLiteral("chi2_per_dof")).isDouble();
  read.chi2_per_dof = root.value(QStringLiteral("chi2_per_dof")).toDouble();
  read.verdict = root.value(QStringLiteral("verdict")).toString();
  if(read.verdict.isEmpty())
  {
    read.verdict = read.rank >= read.unknowns && read.unknowns > 0
                       ? QStringLiteral("identified")
                       : QStringLiteral("partly identified: %1 of %2 directions").arg(read.rank).arg(read.unknowns);
  }
  for(const QJsonValue& entry : root.value(QStringLiteral("functions")).toArray())
  {
    const QJsonObject object = entry.toObject();
    TIdentified::TFunction function;
    function.label = object.value(QStringLiteral("label")).toString();
    function.unit = object.value(QStringLiteral("unit")).toString();
    for(const QString& list : {QStringLiteral("values"), QStringLiteral("points"), QStringLiteral("positions")})
    {
      for(const QJsonValue& point : object.value(list).toArray())
      {
        const QJsonObject value = point.toObject();
        function.values.push_back(
            {value.value(QStringLiteral("position_mm")).toDouble(), value.value(QStringLiteral("value")).toDouble(),
             value.value(QStringLiteral("u")).toDouble(), value.value(QStringLiteral("u")).isDouble()});
      }
    }
    read.functions.push_back(function);
  }
  // Coefficients of functions are in the functions' values already.
  for(const QJsonValue& entry : root.value(QStringLiteral("parameters")).toArray())
  {
    const QJsonObject object = entry.toObject();
    const QString label = object.value(QStringLiteral("label")).toString();
    TParameterKey key;
    if(read.functions.empty() || !Machine_Labels::Read_Key_Label(label, &key) || key.power == 0)
    {
      read.parameters.push_back({label, object.value(QStringLiteral("value")).toDouble(),
                                 object.value(QStringLiteral("u")).toDouble(),
                                 object.value(QStringLiteral("identified")).toBool()});
    }
  }
  *identified = read;
  return true;
}

bool Read_Compensation(const QByteArray& csv, const QString& name, std::vector<TCompensationRow>* rows, QString* error)
{
  const QStringList lines = QString::fromUtf8(csv).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if(lines.isEmpty() || !lines.front().startsWith(QLatin1String("form,measurement,kind,row,deviation_before_um,"
                                                                "deviation_after_um")))
  {
    *error = QStringLiteral("'%1' is not the --csv of varlume-batch compensate").arg(name);
    return false;
  }
  std::vector<TCompensationRow> read;
  for(int i = 1; i < lines.size(); ++i)
  {
    // The measurement may be quoted with commas in it; the numbers are the last fields.
    static const QRegularExpression LINE(QStringLiteral("^([a-z]+),(\"(?:[^\"]|\"\")*\"|[^,]*),[a-z]+,([0-9]+),"
                                                        "([^,]*),([^,]*),"));
    const QRegularExpressionMatch match = LINE.match(lines[i]);
    double before = 0.0;
    double after = 0.0;
    if(!match.hasMatch() || !Text::Read_Number(match.captured(4), &before) ||
       !Text::Read_Number(match.captured(5), &after))
    {
      *error = QStringLiteral("'%1', line %2: not a row of the compensation CSV").arg(name).arg(i + 1);
      return false;
    }
    QString measurement = match.captured(2);
    if(measurement.startsWith(QLatin1Char('"')))
    {
      measurement = measurement.mid(1, measurement.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    }
    if(read.empty() || read.back().form != match.captured(1) || read.back().measurement != measurement)
    {
      read.push_back({match.captured(1), measurement, 0, 0.0, 0.0});
    }
    TCompensationRow& row = read.back();
    ++row.rows;
    row.largest_before = std::max(row.largest_before, std::fabs(before));
    row.largest_after = std::max(row.largest_after, std::fabs(after));
  }
  *rows = read;
  return true;
}

QString Made_Report_Number(const TInputs& inputs)
{
  QString date = inputs.info.Value("measurement_date");
  date.remove(QRegularExpression(QStringLiteral("[^0-9]")));
  if(date.size() < 8)
  {
    date = inputs.report_date.toString(QStringLiteral("yyyyMMdd"));
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(inputs.machine->name.toUtf8());
  hash.addData(Conformity::Csv(inputs.conformity));
  hash.addData(Info_Json(inputs.info));
  for(const TMeasurement* record : inputs.records)
  {
    hash.addData(record->d_name.toUtf8());
  }
  hash.addData(inputs.measured.join(QLatin1Char('\n')).toUtf8());
  return QStringLiteral("VR-%1-%2").arg(date.left(8), QString::fromLatin1(hash.result().toHex().left(6).toUpper()));
}

TDocument Make(const TInputs& inputs)
{
  TDocument document;
  document.title = QStringLiteral("Calibration report");
  document.report_number =
      inputs.info.Has("report_number") ? inputs.info.Value("report_number") : Made_Report_Number(inputs);
  document.conformity = inputs.conformity;
  document.end_line = QStringLiteral("End of report");
  int number = 1;
  document.sections.push_back({QStringLiteral("%1 Laboratory and customer").arg(number++),
                               {Fields(inputs.info, {}, {"laboratory", "customer"})}});
  document.sections.push_back({QStringLiteral("%1 Item calibrated").arg(number++),
                               {Fields(inputs.info, {{QStringLiteral("Machine"), inputs.machine->name}},
                                       {"serial_number", "location", "remarks"})}});
  document.sections.push_back(
      {QStringLiteral("%1 Dates, environment and personnel").arg(number++),
       {Fields(inputs.info, {{QStringLiteral("Date of report"), inputs.report_date.toString(Qt::ISODate)}},
               {"measurement_date", "temperature_c", "temperature_variation_k", "operator", "approved_by"})}});
  document.sections.push_back(Machine_Section(inputs, number++));
  document.sections.push_back(Method_Section(inputs, number++));
  document.sections.push_back(Results_Section(inputs, number++));
  if(inputs.has_identified)
  {
    document.sections.push_back(Identified_Section(inputs.identified, number++));
  }
  if(inputs.has_compensation)
  {
    document.sections.push_back(Compensation_Section(inputs.compensation, number++));
  }
  TSection signatures{QStringLiteral("%1 Signatures").arg(number++), {}};
  TBlock block;
  block.kind = TKind::SIGNATURES;
  block.table.rows = {{QStringLiteral("Tested by"),
                       inputs.info.Has("operator") ? inputs.info.Value("operator") : QLatin1String(NOT_STATED)},
                      {QStringLiteral("Approved by"),
                       inputs.info.Has("approved_by") ? inputs.info.Value("approved_by") : QLatin1String(NOT_STATED)}};
  signatures.blocks.push_back(block);
  document.sections.push_back(signatures);
  return document;
}

QStringList Text_Lines(const TDocument& document)
{
  QStringList lines = {document.title, QStringLiteral("Report number: %1").arg(document.report_number)};
  for(const TSection& section : document.sections)
  {
    lines << QString() << section.heading;
    for(const TBlock& block : section.blocks)
    {
      switch(block.kind)
      {
      case TKind::PARAGRAPH:
      case TKind::PREFORMATTED:
      case TKind::DECISION:
        lines.push_back(block.text);
        break;
      case TKind::CHART:
        lines.push_back(QStringLiteral("[chart: E against L]"));
        break;
      case TKind::FIELDS:
      case TKind::SIGNATURES:
      case TKind::TABLE:
        if(block.kind == TKind::TABLE)
        {
          lines.push_back(block.table.heads.join(QStringLiteral(" | ")));
        }
        for(const QStringList& row : block.table.rows)
        {
          lines.push_back(row.join(QStringLiteral(" | ")));
        }
        break;
      }
    }
  }
  lines << QString() << document.end_line;
  return lines;
}
} // namespace Calibration_Report
