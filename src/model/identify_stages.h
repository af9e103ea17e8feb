#ifndef IDENTIFY_STAGES_H
#define IDENTIFY_STAGES_H

// The stages of an identification, each usable alone: the unknowns of a machine in a basis that
// is well conditioned over the travel (TModel), the readings a measurement gives (observations),
// the matching of measured sets with their records, the simulated readings and the design
// matrix, the decision of what the readings determine (rank), and the fit. The planner uses the
// same stages without measured files. GUI-free.

#include <Eigen/Dense>

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "src/model/identify.h"
#include "src/model/machinecomp.h"
#include "src/model/simulation.h"

namespace Identify
{
using Eigen::MatrixXd;
using Eigen::VectorXd;

enum TQuantity
{
  QUANTITY_BALLBAR,
  QUANTITY_LINE_LENGTH,
  QUANTITY_XX,
  QUANTITY_YY,
  QUANTITY_RA,
  QUANTITY_RB,
  QUANTITY_RC,
  QUANTITY_MCG
};

// "length", "straightness XX", "angle RC", "radius".
QString Quantity_Name(int quantity);

// One scalar reading.
struct TObservation
{
  int measurement = 0; // index into the simulated records
  int item = 0;        // result row of that record
  int quantity = QUANTITY_BALLBAR;
  int kind = OBSERVATION_BALLBAR;
  double measured = 0.0; // mm, or mm/m for the angles
  int set = -1;          // the measured set it came from (-1 when planned, not measured)
  int line = 0;          // of the file that holds it
  // Alignment: the first unknown of its run or gauge (-1 when none) and, for a straightness
  // reading, the distance of its target from the run's first one in metres (the slope's lever).
  int alignment = -1;
  double along = 0.0;
};

// The readings a record gives in the order its measured file lists them (a laser run out and
// back with six readings per target, every ISO length three times), without measured values.
std::vector<TObservation> Record_Observations(const TMeasurement& record, int measurement);

// The record that a measured set belongs to (by name, or by the name as the export writes it);
// -1 when none.
int Find_Record(const std::vector<std::unique_ptr<TMeasurement>>& records, const Measured::TSet& set);
// Checks the measured rows against the record's expansion and appends the observations with
// their measured values, file lines and set; the reason when they do not match.
QString Add_Observations(const Measured::TSet& set, int set_index, const TMeasurement& record, int measurement,
                         std::vector<TObservation>* observations);

// The alignment unknowns of the observations' runs and gauges (four per laser run: offset and
// slope of each straightness direction; one radius zero per gauge): numbers the observations'
// alignment fields and returns the count. Names as the report lists them, per unknown.
int Number_Alignment(std::vector<TObservation>* observations, QStringList* names, std::vector<int>* sets);

// An error function: its unknowns are the coefficients a_k of b_k(L) = P_k(x) - P_k(x(0)), with
// P_k the Legendre polynomials and x the position scaled to [-1, 1] over the travel: zero at
// L = 0 as the machine's texts are, and well conditioned where L, L^2, L^3 are not.
struct TFunction
{
  TMachineLibrary::TMapErrorItem item;
  int first = 0;
  int degree = 0;
  double start = 0.0; // travel, mm
  double end = 0.0;
  std::vector<double> positions; // of the error table, mm
  double alpha = 1.0;            // x = alpha * L + beta, L in metres
  double beta = 0.0;
  // c = transform * a: the monomial coefficients (L in metres) of the basis coefficients.
  MatrixXd transform;
  // What the basis cannot express of the starting function (its value at L = 0, terms of a higher
  // degree or of another kind), per table position, kept in every machine once the model keeps
  // the start; empty when the start is a polynomial of the basis.
  std::vector<double> remainder;
  VectorXd start_coefficients; // of the basis, when a remainder is kept
};

// One unknown of the machine.
struct TUnknown
{
  int axis = 0;
  int parameter = 0;
  int power = 0; // of the basis (and of the monomial it is reported as); 0 for a value
  // The largest effect of one unit within the travel, in µm (scale, deflection) or µrad.
  double effect = 1.0;
};

// The machine as a function of its unknowns.
class TModel
{
public:
  TModel(const Simulation::TMachineRecord& record, int degree);

  int Size() const { return static_cast<int>(d_unknowns.size()); }
  const std::vector<TUnknown>& Unknowns() const { return d_unknowns; }
  const std::vector<TFunction>& Functions() const { return d_functions; }
  const std::vector<std::pair<TMachineLibrary::TMapErrorItem, int>>& Values() const { return d_values; }
  // "X Axis Rx c2", "QXY", per unknown.
  QStringList Names() const;

  // The unknowns of the record's own parameters (each function less its value at L = 0, as a
  // least-squares polynomial over the table positions); false when an expression does not
  // evaluate.
  bool Start(VectorXd* u) const;
  // From now on every machine keeps what the basis cannot express of the start's functions, so
  // that the unknowns are corrections on top of the start: at the start's unknowns the machine is
  // the starting machine. Before, the unknowns describe the whole function (0: no error).
  bool Keep_Start();
  // Sets machine up with the unknowns u; false with the model's message when it fails.
  bool Setup(const VectorXd& u, TMachineComp* machine, QString* error) const;

  // The basis values b_1..b_degree of a function at L (metres).
  VectorXd Basis(const TFunction& function, double l) const;
  // The monomial coefficients (L in metres) per unknown: c = Monomials() * u (block diagonal;
  // the values map to themselves).
  MatrixXd Monomials() const;
  // The function's text: the polynomial, or the start's own text with the correction added when
  // the start is kept.
  QString Function_Text(const TFunction& function, const VectorXd& u) const;
  // The function's values at its table positions, the kept remainder included.
  double Function_Value(const TFunction& function, int position, const VectorXd& u) const;
  // The same at any position (mm) of the travel.
  double Function_Value_At(const TFunction& function, double position, const VectorXd& u) const;
  // Per unknown, the effect of one unit of its monomial coefficient at the end of the travel in
  // µm or µrad (the values: their own effect): the basis in which shares are compared.
  VectorXd Monomial_Effects() const;

  // Sign groups of the angles and the deflection (first unknown, count) and turning one.
  std::vector<std::pair<int, int>> Sign_Groups() const;
  void Flip_Sign(int first);

private:
  // A function's start: its basis coefficients and, when asked, what they leave at each position.
  bool Start_Function(const TFunction& function, VectorXd* coefficients, std::vector<double>* remainder) const;

  TMachineComp::TInitParameters d_init;
  std::vector<TUnknown> d_unknowns;
  std::vector<TFunction> d_functions;
  std::vector<std::pair<TMachineLibrary::TMapErrorItem, int>> d_values;
  std::vector<TMachineLibrary::TMapErrorItem> d_others;
};

// The simulated readings of the observations on a trial machine (alignment not included).
class TPredictor
{
public:
  TPredictor(const TModel& model, std::vector<TMeasurement*> records, const std::vector<TObservation>& observations);
  // False with the reason when the machine cannot be set up or simulated.
  bool Predict(const VectorXd& u, VectorXd* predicted, QString* error);
  bool Predict(const TMachineComp& machine, VectorXd* predicted, QString* error);
  int Simulations() const { return d_simulations; }

private:
  const TModel& d_model;
  std::vector<TMeasurement*> d_records;
  const std::vector<TObservation>& d_observations;
  int d_simulations = 0;
};

// Called before each simulation; false stops the work.
using TSimulate = std::function<bool(const VectorXd& at, VectorXd* values)>;

// The derivatives of the readings by the machine's unknowns at u, by central differences
// (unweighted, readings x unknowns); false when a simulation fails or is stopped.
bool Machine_Jacobian(const TSimulate& simulate, const VectorXd& u, int readings, MatrixXd* jacobian);
// The same for the named columns only (readings x columns, in their order).
bool Machine_Columns(const TSimulate& simulate, const VectorXd& u, const std::vector<int>& columns, int readings,
                     MatrixXd* jacobian);
// The derivatives by the alignment unknowns (exact: offsets and slopes add to the readings).
MatrixXd Alignment_Jacobian(const std::vector<TObservation>& observations, int alignment_unknowns);

// What the readings determine. Works in the scaled basis (each machine unknown times its
// effect, so that a unit moves an error function by at most 1 µm or µrad), with the alignment
// unknowns projected out: a direction counts as identified when its singular value is above
// 1e-9 of the largest and one standard uncertainty along it moves no error function by more
// than resolution (any resolution when it is 0).
struct TRankDecision
{
  int rank = 0;
  MatrixXd identified; // unknowns x rank, unit directions in the scaled basis
  MatrixXd unidentified;
  std::vector<bool> structural; // per unidentified direction: singular value at the noise level
  VectorXd identified_values;   // singular values of the identified directions
  // Per identified direction, what one standard uncertainty along it moves an error function by
  // at most (µm, µrad; from the stated uncertainties); empty without a resolution.
  VectorXd identified_u;
  VectorXd unidentified_values;
  std::vector<bool> parameter_identified; // per unknown
};
// weighted_machine: the weighted design matrix of the machine unknowns (readings x unknowns);
// weighted_alignment: that of the alignment unknowns (may have no columns).
TRankDecision Decide_Rank(const TModel& model, const MatrixXd& weighted_machine, const MatrixXd& weighted_alignment,
                          double resolution, double threshold);

// The vectors as rows in reduced row echelon form: each has its own leading component 1, which
// the others do not hold (empty rows dropped).
std::vector<VectorXd> Echelon(const std::vector<VectorXd>& vectors);

// The weights of the observations: one over their stated standard uncertainty (µm or µrad to
// mm or mm/m).
VectorXd Weights(const std::vector<TObservation>& observations, const TOptions& options);
} // namespace Identify

#endif
