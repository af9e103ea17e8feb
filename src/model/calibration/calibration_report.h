#ifndef CALIBRATION_REPORT_H
#define CALIBRATION_REPORT_H

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

#include "src/model/conformity.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"

// The calibration report an engineer signs: what a laboratory's report holds (who, what, when,
// how, the results with their uncertainty, the decision and its rule, the signatures), as a
// document of numbered sections that the PDF writer lays out. GUI-free: the window and
// varlume-batch report build the same document from the same numbers as the conformity command.
namespace Calibration_Report
{
// The administrative facts of a report, as the --info JSON object holds them: every key but the
// two temperatures is a text; a key that is missing is "not stated".
struct TInfo
{
  struct TField
  {
    const char* key;
    const char* label;
    bool number;
  };
  // The keys in the order of the JSON file and of the dialog.
  static const std::vector<TField>& Fields();

  QStringList values;  // by the index of Fields(); empty when not stated
  QStringList present; // the keys given

  QString Value(const char* key) const;
  bool Has(const char* key) const;
  void Set(const char* key, const QString& value);
};

// Reads the --info object. False with the reason (file and key named by the caller's name) when
// it is not a JSON object or a key has the wrong type; warnings gets the keys it does not know.
bool Read_Info(const QByteArray& json, const QString& name, TInfo* info, QString* error, QStringList* warnings);
// The object Read_Info reads back (numbers as numbers).
QByteArray Info_Json(const TInfo& info);

// An identification's --json, as much of it as the report shows.
struct TIdentified
{
  QString machine;
  QString verdict;
  int rank = 0;
  int unknowns = 0;
  bool has_chi2 = false;
  double chi2_per_dof = 0.0;
  struct TValue
  {
    double position = 0.0; // mm
    double value = 0.0;
    double u = 0.0; // k = 1
    bool has_u = true;
  };
  struct TFunction
  {
    QString label;
    QString unit;
    std::vector<TValue> values;
  };
  std::vector<TFunction> functions;
  struct TParameter
  {
    QString label;
    double value = 0.0;
    double u = 0.0;
    bool identified = false;
  };
  // The values that are no functions (squareness, deflection); every parameter when the file has
  // no functions.
  std::vector<TParameter> parameters;
};
bool Read_Identified(const QByteArray& json, const QString& name, TIdentified* identified, QString* error);

// The rows of a compensation CSV: per form and measurement the largest |deviation| before and
// after (µm).
struct TCompensationRow
{
  QString form;
  QString measurement;
  int rows = 0;
  double largest_before = 0.0;
  double largest_after = 0.0;
};
bool Read_Compensation(const QByteArray& csv, const QString& name, std::vector<TCompensationRow>* rows, QString* error);

// A table of the document: heads with their units, rows of cells; numeric columns are
// right-aligned.
struct TTable
{
  QStringList heads;
  std::vector<bool> numeric;
  std::vector<QStringList> rows;
};

struct TBlock
{
  enum class TKind
  {
    PARAGRAPH,    // text
    FIELDS,       // label: value lines (table rows of two cells)
    TABLE,        // table
    PREFORMATTED, // text in a fixed-pitch font, lines kept
    CHART,        // the E-against-L chart of the conformity report
    DECISION,     // the summary decision, in a line of its own
    SIGNATURES    // names and lines to sign on
  };
  TKind kind = TKind::PARAGRAPH;
  QString text;
  TTable table;
};

struct TSection
{
  QString heading; // numbered: "3 Method"
  std::vector<TBlock> blocks;
};

struct TDocument
{
  QString title;
  QString report_number;
  std::vector<TSection> sections;
  Conformity::TReport conformity; // for the chart
  QString end_line;               // after the last section
};

struct TInputs
{
  const TMachineLibrary::TMachineItem* machine = nullptr;
  std::vector<const TMeasurement*> records; // the tests (simulated ones, or those measured files name)
  QStringList measured;                     // the measured files, when the rows come from them
  Conformity::TReport conformity;           // the decision, as the conformity command makes it
  TInfo info;
  QDate report_date;
  bool has_identified = false;
  TIdentified identified;
  bool has_compensation = false;
  std::vector<TCompensationRow> compensation;
};

// The report number of inputs without one: the measurement date (or the report date) and a short
// hash of the inputs, the same for the same inputs.
QString Made_Report_Number(const TInputs& inputs);

TDocument Make(const TInputs& inputs);

// The document as plain text, section by section (tables as fixed columns): what the PDF says.
QStringList Text_Lines(const TDocument& document);
} // namespace Calibration_Report

#endif
