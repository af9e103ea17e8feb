// What a compensation run says: the text report, the CSV of every row before and after, and the
// files a controller loads.

#include <QDir>

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/safefile.h"
#include "src/model/compensation/compensation.h"
#include "src/model/plotseries.h"
#include "src/model/propagation_setup.h"

namespace
{
using namespace Compensation;

// Below this (µm) a correction holds the whole error, up to rounding.
const double NOTHING_LEFT_UM = 1e-4;

// µm with three decimals, right-aligned in width; "inf" for an undetermined u.
QString Micrometres(double value, int width)
{
  if(std::isinf(value))
  {
    return QStringLiteral("inf").rightJustified(width);
  }
  // Beyond the columns a fixed number would run to hundreds of digits.
  if(std::fabs(value) >= 1e9)
  {
    return QString::number(value, 'e', 3).rightJustified(width);
  }
  return QStringLiteral("%1").arg(value, width, 'f', 3);
}

QString Point_Text(const TVector3& point)
{
  return QStringLiteral("(%1, %2, %3)")
      .arg(Plot_Series::Number_Text(point.x), Plot_Series::Number_Text(point.y), Plot_Series::Number_Text(point.z));
}

QString Rule_Text(const TResult& result)
{
  const Conformity::TOptions& d = result.decision;
  const QString rule = d.rule == Conformity::TRule::GUARDED ? QStringLiteral("guarded rule: pass when |E| + U <= MPE")
                                                            : QStringLiteral("simple rule: pass when |E| <= MPE");
  const QString cap =
      d.mpe.has_b
          ? QStringLiteral("min(%1 + L/%2, %3)")
                .arg(Plot_Series::Number_Text(d.mpe.a), Plot_Series::Number_Text(d.mpe.k),
                     Plot_Series::Number_Text(d.mpe.b))
          : QStringLiteral("%1 + L/%2").arg(Plot_Series::Number_Text(d.mpe.a), Plot_Series::Number_Text(d.mpe.k));
  return QStringLiteral("Decision after correction (%1; U with k = 2; MPE = %2 µm, L in mm)").arg(rule, cap);
}

void Add_Grid_Lines(const TResult& result, QStringList* lines)
{
  lines->push_back(
      QStringLiteral("Check grid: %1 x %1 x %1 points over the travel at the probe offset").arg(CHECK_POINTS));
  lines->push_back(QStringLiteral("Form    Largest |E| before (µm)   after (µm)   u of |E| after (µm, k = 1)   "
                                  "Where |E| after is largest (mm)"));
  for(const TFormResult& form : result.forms)
  {
    const QString u = form.has_u ? Micrometres(form.u, 26) : QStringLiteral("no covariance").rightJustified(26);
    // Without a covariance a correction that holds everything has no worst point to name.
    const bool nothing = !form.has_u && form.grid_largest[1] < NOTHING_LEFT_UM;
    lines->push_back(QStringLiteral("%1%2%3%4   %5")
                         .arg(Form_Name(form.form).leftJustified(8), Micrometres(form.grid_largest[0], 23),
                              Micrometres(form.grid_largest[1], 13), u,
                              nothing ? QStringLiteral("nothing remains") : Point_Text(form.worst_point)));
  }
}

void Add_Measurement_Lines(const TResult& result, QStringList* lines)
{
  int width = 11;
  for(const TFormResult& form : result.forms)
  {
    for(const TMeasurementSummary& summary : form.measurements)
    {
      width = std::max(width, static_cast<int>(summary.measurement.size()));
    }
  }
  lines->push_back(QString());
  lines->push_back(QStringLiteral("Measurements: the largest |deviation| and the range of the deviations (µm)"));
  lines->push_back(QStringLiteral("Form    %1  Kind     Rows  Largest before     after  Range before     after")
                       .arg(QStringLiteral("Measurement").leftJustified(width)));
  for(const TFormResult& form : result.forms)
  {
    for(const TMeasurementSummary& summary : form.measurements)
    {
      lines->push_back(QStringLiteral("%1%2  %3%4%5%6%7%8")
                           .arg(Form_Name(form.form).leftJustified(8), summary.measurement.leftJustified(width),
                                Plot_Series::Kind_Name(summary.type).leftJustified(7))
                           .arg(summary.rows, 6)
                           .arg(Micrometres(summary.largest[0], 16), Micrometres(summary.largest[1], 10),
                                Micrometres(summary.range[0], 14), Micrometres(summary.range[1], 10)));
    }
  }
}

void Add_Decision_Lines(const TResult& result, QStringList* lines)
{
  const TFormResult& first = result.forms.front();
  if(first.verdict == TVerdict::NO_ISO)
  {
    return;
  }
  lines->push_back(QString());
  if(first.verdict == TVerdict::NO_MPE)
  {
    lines->push_back(QStringLiteral("After correction: no decision, '%1' has no MPE").arg(result.source));
    return;
  }
  lines->push_back(Rule_Text(result));
  if(!result.has_covariance)
  {
    lines->push_back(QStringLiteral("'%1' has no covariance: U is the test set-up's alone, the correction's own "
                                    "uncertainty is not in it")
                         .arg(result.source));
  }
  for(const TFormResult& form : result.forms)
  {
    const auto count = [&form](Conformity::TDecision decision)
    {
      return std::count_if(form.decisions.begin(), form.decisions.end(),
                           [decision](const Conformity::TRow& row) { return row.decision == decision; });
    };
    QString detail;
    if(form.verdict == TVerdict::DOES_NOT_CONFORM)
    {
      detail =
          QStringLiteral(" (%1 of %2 rows fail)").arg(count(Conformity::TDecision::FAIL)).arg(form.decisions.size());
    }
    else if(form.verdict == TVerdict::NOT_PROVEN)
    {
      detail = QStringLiteral(" (%1 of %2 rows inconclusive)")
                   .arg(count(Conformity::TDecision::INCONCLUSIVE))
                   .arg(form.decisions.size());
    }
    lines->push_back(QStringLiteral("%1After correction: %2%3")
                         .arg(Form_Name(form.form).leftJustified(8), Verdict_Text(form.verdict), detail));
  }
}

// Two numbers of a row, or two empty fields.
void Append_Pair(QStringList* fields, const double (&values)[2], bool present)
{
  fields->push_back(present ? Plot_Series::Number_Text(values[0]) : QString());
  fields->push_back(present ? Plot_Series::Number_Text(values[1]) : QString());
}
// grid.csv in rounds of pieces formatted on every core, so that a grid of millions of nodes is
// never held as text whole and the numbers' text does not wait on one thread.
bool Write_Grid(const TGrid& grid, TSafeFile* file, QString* error)
{
  const std::size_t piece = 32768;
  const std::size_t round = 16;
  const std::size_t nodes = grid.errors.size();
  std::vector<QByteArray> texts(round);
  for(std::size_t first = 0; file && first < nodes; first += piece * round)
  {
    Propagation::Run_Tasks(static_cast<int>(round), 0,
                           [&]()
                           {
                             return [&](int task)
                             {
                               const std::size_t begin = first + static_cast<std::size_t>(task) * piece;
                               QByteArray& text = texts[static_cast<std::size_t>(task)];
                               text.clear();
                               Append_Grid_Csv(grid, std::min(begin, nodes), std::min(begin + piece, nodes), &text);
                               return true;
                             };
                           });
    for(const QByteArray& text : texts)
    {
      if(!file->Write(text))
      {
        *error = QStringLiteral("cannot write '%1': %2").arg(file->File_Name(), file->Error_String());
        return false;
      }
    }
  }
  return file != nullptr;
}
} // namespace

namespace Compensation
{
QString Verdict_Text(TVerdict verdict)
{
  switch(verdict)
  {
  case TVerdict::CONFORMS:
    return QStringLiteral("conforms");
  case TVerdict::DOES_NOT_CONFORM:
    return QStringLiteral("does not conform");
  case TVerdict::NOT_PROVEN:
    return QStringLiteral("not proven");
  case TVerdict::NO_MPE:
    return QStringLiteral("no decision: no MPE");
  case TVerdict::NO_ISO:
    break;
  }
  return QStringLiteral("no decision: no ISO 10360-2 test");
}

QStringList Report_Lines(const TResult& result)
{
  QStringList lines;
  lines.push_back(QStringLiteral("Compensation of '%1' on '%2'").arg(result.source, result.against));
  lines.push_back(QStringLiteral("Values are errors (actual - nominal); a controller applies their negative."));
  lines.push_back(QStringLiteral("Table and grid spacing %1 mm; probe offset %2 mm")
                      .arg(Plot_Series::Number_Text(result.spacing), Point_Text(result.probe)));
  lines.push_back(
      result.has_covariance
          ? QStringLiteral("u (k = 1): what remains is as uncertain as '%1', by linear propagation of "
                           "its covariance")
                .arg(result.source)
          : QStringLiteral("'%1' has no covariance: what remains has no stated uncertainty").arg(result.source));
  for(const QString& note : result.notes)
  {
    lines.push_back(note);
  }
  lines.push_back(QString());
  if(result.forms.empty())
  {
    return lines;
  }
  Add_Grid_Lines(result, &lines);
  if(!result.forms.front().measurements.empty())
  {
    Add_Measurement_Lines(result, &lines);
  }
  Add_Decision_Lines(result, &lines);
  return lines;
}

QByteArray Csv(const TResult& result)
{
  QByteArray text("form,measurement,kind,row,deviation_before_um,deviation_after_um,xx_before_um,xx_after_um,"
                  "yy_before_um,yy_after_um,ra_before_urad,ra_after_urad,rb_before_urad,rb_after_urad,rc_before_urad,"
                  "rc_after_urad\n");
  for(const TFormResult& form : result.forms)
  {
    for(const TRow& row : form.rows)
    {
      const bool laser = row.type == Types::MEASUREMENT_LASER;
      QStringList fields = {Form_Name(form.form), Plot_Series::Csv_Field(row.measurement),
                            Plot_Series::Kind_Name(row.type), QString::number(row.row)};
      Append_Pair(&fields, row.deviation, true);
      Append_Pair(&fields, row.xx, laser);
      Append_Pair(&fields, row.yy, laser);
      Append_Pair(&fields, row.ra, laser);
      Append_Pair(&fields, row.rb, laser);
      Append_Pair(&fields, row.rc, laser);
      text += fields.join(QLatin1Char(',')).toUtf8();
      text += '\n';
    }
  }
  return text;
}

bool Write_Files(const TResult& result, const QString& directory, QStringList* written, QString* error)
{
  struct TFile
  {
    QString name;
    std::unique_ptr<TSafeFile> file;
  };
  std::vector<TFile> files;
  const auto open = [&](const char* name)
  {
    TFile file{QDir(directory).filePath(QLatin1String(name)), nullptr};
    file.file = std::make_unique<TSafeFile>(file.name);
    const bool ok = file.file->Open();
    if(!ok)
    {
      *error = QStringLiteral("cannot write '%1': %2").arg(file.name, file.file->Error_String());
    }
    files.push_back(std::move(file));
    return ok ? files.back().file.get() : nullptr;
  };
  const auto write = [&](TSafeFile* file, const QByteArray& bytes)
  {
    if(file && !file->Write(bytes))
    {
      *error = QStringLiteral("cannot write '%1': %2").arg(file->File_Name(), file->Error_String());
      return false;
    }
    return file != nullptr;
  };
  bool ok = true;
  if(result.has_tables)
  {
    ok = write(open("tables.csv"), Tables_Csv(result.tables));
  }
  if(ok && result.has_constants)
  {
    ok = write(open("constants.csv"), Constants_Csv(result.constants));
  }
  if(ok && result.has_pitch)
  {
    ok = write(open("pitch.csv"), Pitch_Csv(result.pitch));
  }
  if(ok && result.has_grid)
  {
    ok = Write_Grid(result.grid, open("grid.csv"), error);
  }
  // Files that belong together: every one flushed before any replaces its old version.
  for(std::size_t i = 0; ok && i < files.size(); ++i)
  {
    if(!files[i].file->Flush())
    {
      *error = QStringLiteral("cannot write '%1': %2").arg(files[i].name, files[i].file->Error_String());
      ok = false;
    }
  }
  for(std::size_t i = 0; ok && i < files.size(); ++i)
  {
    ok = files[i].file->Commit();
    if(!ok)
    {
      *error = QStringLiteral("cannot write '%1': %2").arg(files[i].name, files[i].file->Error_String());
    }
    written->push_back(files[i].name);
  }
  return ok;
}
} // namespace Compensation
