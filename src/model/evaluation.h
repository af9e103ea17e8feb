#ifndef EVALUATION_H
#define EVALUATION_H

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "src/model/machinecomp.h"
#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"
#include "src/model/simulation.h"

class QIODevice;

// The compensation parameter evaluation: the measurements are simulated once for every
// non-empty combination of the machine's enabled error parameters, each applied alone to an
// otherwise perfect machine, and one line per combination tells the smallest and largest error
// that each kind of test shows. GUI-free, so that the window and varlume-batch write the same
// bytes.
namespace Evaluation
{
using TErrorItem = TMachineLibrary::TMapErrorItem;
using TErrorPattern = std::vector<TErrorItem>;

// 2^n patterns must stay countable and finishable; a machine record made by the program holds
// at most this many parameters.
inline constexpr int MAXIMUM_PARAMETERS = 16;
// Column of the bar after the pattern code.
inline constexpr int CODE_WIDTH = 66;
inline constexpr int RULE_WIDTH = 246;

// For n items, 2^n patterns: pattern k holds, in item order, the items whose bit is set in k + 1.
// So the first 2^n - 1 are the non-empty subsets in counting order (item 0, item 1, items 0 and
// 1, item 2, ...) and the last one is empty. No items give no patterns. More than
// MAXIMUM_PARAMETERS items give none either (the count would not be finishable).
std::vector<TErrorPattern> Get_Evaluation_Error_Patterns(const std::vector<TErrorItem>& items);

// The smallest and largest error over all rows of the measurements of one kind, in list order,
// and the simulated lengths of the rows at which they occur. The error of a row is actual minus
// nominal length; ISO rows longer than 1 mm and laser rows longer than 10 mm are compared
// relative to their nominal length, but the outputs are absolute. Ties keep the earlier row.
// False, with all four outputs 0, when no row of that kind exists. No pointer may be null.
bool Get_Min_Max_Ballbar_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                               double* max, double* min_length, double* max_length);
bool Get_Min_Max_ISO_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                           double* max, double* min_length, double* max_length);
bool Get_Min_Max_MCG_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                           double* max, double* min_length, double* max_length);
bool Get_Min_Max_Laser_Error(const TMachineComp* machine, const std::vector<TMeasurement*>* measurements, double* min,
                             double* max, double* min_length, double* max_length);

// The smallest and largest error of a sequence of rows, fed in list order, and the simulated
// lengths of the rows at which they occur. The error of a row is actual minus nominal length;
// with a relative length, rows longer than it are compared relative to their nominal length,
// but the results are absolute. Ties keep the earlier row.
class TExtremes
{
public:
  TExtremes() = default;
  explicit TExtremes(double relative_length) : d_relative(true), d_relative_length(relative_length) {}

  void Add(double nominal, double actual)
  {
    double error = actual - nominal;
    if(d_relative && nominal > d_relative_length)
    {
      error /= nominal;
    }
    if(!d_found)
    {
      d_found = true;
      d_min = d_max = error;
      d_min_length = d_max_length = actual;
      d_min_nominal = d_max_nominal = nominal;
    }
    else if(error > d_max)
    {
      d_max = error;
      d_max_length = actual;
      d_max_nominal = nominal;
    }
    else if(error < d_min)
    {
      d_min = error;
      d_min_length = actual;
      d_min_nominal = nominal;
    }
  }

  // False, with all four outputs 0, when no row was added.
  bool Get(double* min, double* max, double* min_length, double* max_length) const;

private:
  bool d_relative = false;
  double d_relative_length = 0.0;
  bool d_found = false;
  double d_min = 0.0;
  double d_max = 0.0;
  double d_min_length = 0.0;
  double d_max_length = 0.0;
  double d_min_nominal = 0.0;
  double d_max_nominal = 0.0;
};

// The kinds of test in the column order of the file (ball bar, ISO, MCG, laser), and an empty
// TExtremes that compares the errors of a kind as the file does.
inline constexpr int KIND_COUNT = 4;
Types::TMeasurementType Kind_Type(int kind);
TExtremes Kind_Extremes(int kind);

// The four-character code of an item ("RXX|" for X Rx, "LYY|" for Y scale, "QXY|", "RXD|" for
// the tower of an X-Z-Y machine), or null for an item that the evaluation does not apply: an
// angle or scale of no linear axis, a deflection on anything but a horizontal-arm machine.
const char* Item_Code(const TErrorItem& item, int kinematic);

// The label of an item in the heading: "X Axis Rx", "Z Axis Scale", "D Axis Deflection", "QXY".
QString Item_Label(const TErrorItem& item);

// The file's heading: machine name, the enabled parameters with their values or expressions,
// two empty lines, the two column headings and the rule; each line ends with a line feed.
QString Heading(const QString& machine_name, const std::vector<TErrorItem>& items);

// The data line of a simulated pattern: the code padded to CODE_WIDTH, a bar, then minimum,
// maximum and their lengths for ball bar, ISO, MCG and laser, or dashes for a kind without rows.
QString Result_Line(const QString& code, const TMachineComp* machine, const std::vector<TMeasurement*>* measurements);
// The same line from the extremes of each kind, in column order.
QString Result_Line(const QString& code, const TExtremes (&kinds)[KIND_COUNT]);

// How the patterns are set up. FAST evaluates each parameter's table and the measurement
// expressions once; STRAIGHTFORWARD re-evaluates every text for every pattern. Both write the
// same bytes; the second is kept as the reference that the first is checked against.
enum class TMode
{
  FAST,
  STRAIGHTFORWARD
};

// Hooks of a caller that shows progress; each may be empty.
struct TProgress
{
  // Once, after the heading, before the first pattern.
  std::function<void(int count)> start;
  // Before pattern 1 .. count; false stops the evaluation before that pattern is simulated.
  std::function<bool(int pattern)> next;
  // After each pattern, simulated or not.
  std::function<void(int pattern)> done;
  // While the lines to write next are still being worked out, after each share of that work or
  // every few tens of milliseconds: how many patterns are worked out so far, in any order. False
  // stops the evaluation like next.
  std::function<bool(int ready)> working;
};

enum class TEnd
{
  FINISHED,
  CANCELLED,  // progress said stop: "Evaluation cancelled: <patterns> of <count> patterns" ends the file
  STOPPED,    // the model raised an axis exception: "Evaluation stopped: <message>" ends the file
  REFUSED,    // not started: "Evaluation refused: <message>" follows the heading
  NOT_WRITTEN // the file refused a write (a full disk): the evaluation ended there, the file is incomplete
};

struct TResult
{
  TEnd end = TEnd::FINISHED;
  int patterns = 0; // patterns begun (simulated or skipped for want of a code)
  int lines = 0;    // data lines written
  QString message;  // of STOPPED and REFUSED
};

// The number of threads that an evaluation uses unless told otherwise: one per core.
int Default_Jobs();
// More threads than this are not started, whatever is asked for: a few per core, as more only
// take turns on the cores and starve the thread that writes and answers a cancel.
inline constexpr int JOBS_PER_CORE = 4;
int Maximum_Jobs();
// A number of threads as a person writes it: a whole number from 1, else 0.
int Parse_Jobs(const QString& text);
// What to tell whoever asked for jobs threads when fewer are used ("... at most 8 (4 per
// core) are used"); empty when jobs are used as asked.
QString Jobs_Note(int jobs);

// Writes the whole evaluation text of a machine record and the measurements into file (open for
// writing), in Latin-1. The record's geometry is set up as the window's model holds it; a
// geometry that the model refuses, or more than MAXIMUM_PARAMETERS items, refuse the evaluation
// after the heading. Writes into the measurements that the list points to (the list is taken
// by value, the measurements are not copied): their values, and the rows of the last simulated
// pattern. A write that the device refuses ends the evaluation (NOT_WRITTEN); the caller must
// then discard the file.
//
// The fast mode works the patterns out on jobs threads (0: Default_Jobs(); 1: on the calling
// thread alone), each with its own models and rows; the calling thread writes the lines in
// pattern order and calls the progress hooks, so the file is the same for any number of jobs.
// The straightforward mode runs on the calling thread.
TResult Write_Evaluation(const Simulation::TMachineRecord& record, std::vector<TMeasurement*> measurements,
                         QIODevice* file, const TProgress& progress = TProgress(), TMode mode = TMode::FAST,
                         int jobs = 0);

// What each enabled parameter does alone, for plots of how sensitive each kind of test is to
// it: the pattern of that one item, set up the fast way (as in the evaluation file), simulated
// on copies of the measurements, which themselves are left alone.
struct TSingleParameter
{
  QString code; // Item_Code ("RXX|"); empty for an item that the evaluation does not apply
  bool simulated = false;
  QString message; // why not simulated: the axis exception of the set-up or the simulation
  bool found[KIND_COUNT] = {false, false, false, false}; // the kind has rows (column order)
  double largest[KIND_COUNT] = {0.0, 0.0, 0.0, 0.0};     // largest |actual - nominal| length, mm
  // The simulated rows of each measurement, in list order.
  std::vector<std::vector<TMeasurement::TMeasurementItem>> rows;
};

// One entry per item of the record, in item order. False, with message, when the evaluation
// would refuse the record (an unknown kinematic order, a geometry that the model refuses).
bool Single_Parameter_Patterns(const Simulation::TMachineRecord& record, const std::vector<TMeasurement*>& measurements,
                               std::vector<TSingleParameter>* results, QString* message);
} // namespace Evaluation

#endif
