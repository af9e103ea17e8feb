#ifndef PROPAGATION_H
#define PROPAGATION_H

#include <QString>
#include <QStringList>

#include <cstdint>
#include <random>
#include <vector>

#include "src/model/machinelibrary.h"
#include "src/model/measurement.h"

// How uncertain a simulated reading is, given the covariance that identification stored with a
// machine: linear propagation (u² = gᵀCg; g through the chain's derivatives with respect to each
// axis's rotation angles, since a parameter of a table moves its stage linearly) or Monte
// Carlo (draws of the parameters from N(θ, C), each simulated). A reading is a row's simulated
// length (length_actual, mm). GUI-free; the conformity decision, and later identification and
// the planner, take it from here.
//
// Covariance labels name parameters as identification does: "X Axis Scale c2" is the coefficient
// of L² (L in metres) of that error function, added to its values at the table positions (the
// sign option applies as usual); "QXY" or "D Axis Deflection" the value itself. A parameter with
// an infinite variance was not determined: a reading that depends on it gets u = inf.
namespace Propagation
{
// Standard normal numbers from std::mt19937_64 by the polar method: the same numbers with every
// standard library, which std::normal_distribution does not promise.
class TNormal
{
public:
  // One stream per seed and block, so that blocks of draws can run on any thread.
  TNormal(std::uint64_t seed, std::uint64_t block);
  double Next();

private:
  std::mt19937_64 d_engine;
  bool d_has_spare = false;
  double d_spare = 0.0;
};

// One row of one record.
struct TReading
{
  int measurement = 0;          // index into the records given
  int row = 0;                  // from 0
  double value = 0.0;           // length_actual on the machine as stored, mm
  std::vector<double> gradient; // mm per unit of each label; 0 for a negligible one
  double u = 0.0;               // mm; inf when the reading depends on an undetermined parameter
};

struct TLinear
{
  bool ok = false;
  QString error; // why not, when not ok
  QStringList labels;
  std::vector<TReading> readings; // records in order, rows in order
};

// Whether the machine holds a covariance that propagation can use (labels and a square matrix).
bool Has_Covariance(const TMachineLibrary::TMachineItem& machine);

// The linear propagation over every row of the records (copied, never changed), the parameters
// shared out among jobs threads (0: one per core). Fails when the machine cannot be set up, a
// record does not simulate, or a label names no enabled parameter.
TLinear Linear(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
               int jobs = 0);

struct TMonteCarlo
{
  bool ok = false;
  QString error;
  int draws = 0;
  // Per reading, in the order of TLinear::readings: the standard deviation and the shortest
  // interval that holds 95 % of the draws (mm).
  std::vector<double> deviation;
  std::vector<double> low;
  std::vector<double> high;
};

// draws parameter vectors from N(0, C) over the parameters of finite variance (C through its
// eigen decomposition, tiny negative eigenvalues clipped), each added to the machine and
// simulated. Draws run in blocks, each with its own stream of seed, on jobs threads (0: one per
// core): the numbers are the same for any number of threads.
TMonteCarlo Monte_Carlo(const TMachineLibrary::TMachineItem& machine, const std::vector<const TMeasurement*>& records,
                        int draws, std::uint64_t seed, int jobs = 0);
} // namespace Propagation

#endif
