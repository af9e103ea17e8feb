#ifndef EVALUATION_STAGED_H
#define EVALUATION_STAGED_H

// The fast set-up of the evaluation's patterns and the staged look-ups that combine a pattern
// from parts worked out once. Internal to evaluation_run.cpp.

#include <QString>

#include <array>
#include <cstddef>
#include <map>
#include <vector>

#include "src/model/evaluation.h"

namespace Evaluation
{
// What does not change from pattern to pattern of one evaluation: the geometry, the items, their
// codes and, in the fast set-up, each item's table evaluated once.
struct TPatternSetUp
{
  TMachineComp::TInitParameters parameters;
  std::vector<TErrorItem> items;
  // Item_Code of each item; null for an item that the evaluation does not apply.
  std::vector<const char*> codes;
  // The table of an item (has_values set), from Evaluate_Axis_Values of the geometry.
  std::vector<TMachineAxisValues> values;
  std::vector<char> has_values;

  // The code of pattern k - 1, which holds the items whose bits are set in k: "|" and the codes
  // of its applied items.
  QString Code(std::size_t k) const;
  // Initialize_Begin and the applied items of pattern k - 1; Initialize_End is left to the caller.
  void Set_Up(std::size_t k, TMachineComp* machine) const;
  // Item index on a machine whose set-up has begun: Set_Rx ... Set_Scale from its table when
  // it has one, anything else as the record says. The results are not examined: a parameter
  // whose expression fails part way is simulated with what the model made of it, as in the
  // straightforward set-up.
  void Apply(std::size_t index, TMachineComp* machine) const;
};

// True for the parameters held in an axis table (Rx, Ry, Rz, scale).
bool Has_Table(const TErrorItem& item);

// The fast runner's shortcut. The file reads nothing of a row but its nominal and simulated
// lengths, and a table of the chain depends only on the items of its own axis. So the table
// look-ups and rotations of every distinct nominal point are worked out once for every subset
// of each axis's items, and a pattern only combines them in Evaluate; the deflection and the
// squareness come from a model that holds just those items. The rows themselves, whose
// nominal geometry no error changes, come from one simulation on the perfect machine.
//
// Invariant of the raw row pointers: the first successful Simulate installs the perfect rows in
// the measurements given to Prepare and from then on writes each pattern's lengths through
// pointers into those measurements' d_measurement_items. Between Prepare and the last Simulate
// nothing else may resize, reassign or free those vectors, nor the measurements themselves.
class TStagedPatterns
{
public:
  // False when the shortcut does not apply; every pattern is then set up in full. The
  // measurements keep their rows until the first Simulate.
  bool Prepare(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements);

  bool Ready() const { return d_ready; }
  void Disable() { d_ready = false; }

  // Writes the simulated lengths of pattern k - 1 (items whose bits are set in k) into the rows.
  // False when the pattern has to be set up in full: a part of it raises an axis exception.
  // Only the lengths are written; the rest of each row stays that of the perfect machine.
  bool Simulate(std::size_t k);

private:
  static constexpr std::size_t OTHER_GROUP = 3;
  static constexpr std::size_t GROUP_COUNT = 4;
  // 256 subsets of one axis's items at most; more would take long to prepare.
  static constexpr std::size_t MAXIMUM_GROUP_ITEMS = 8;
  // Some 32 MB of stages: the evaluation as a whole should stay well under 100 MB.
  static constexpr std::size_t MAXIMUM_STAGES = (std::size_t(32) << 20) / sizeof(TMachineComp::TStage);

  struct TPoint
  {
    TVector3 nominal;
    TVector3 probe;
  };

  struct TRow
  {
    TMeasurement::TMeasurementItem* row = nullptr;
    std::size_t reference = 0;
    std::size_t point = 0;
  };

  // Only the very same bits give the very same result; -0 and +0 stay apart.
  struct TBitwiseLess
  {
    bool operator()(const std::array<double, 6>& a, const std::array<double, 6>& b) const;
  };
  using TPointIndex = std::map<std::array<double, 6>, std::size_t, TBitwiseLess>;

  std::size_t Point_Index(const TVector3& nominal, const TVector3& probe, TPointIndex* index);
  bool Simulate_Perfect(const TMachineComp& perfect, const std::vector<TMeasurement*>& measurements);
  void Install_Rows();

  bool d_ready = false;
  const std::vector<TMeasurement*>* d_measurements = nullptr;
  std::vector<std::vector<TMeasurement::TMeasurementItem>> d_perfect_rows;
  bool d_installed = false;
  std::vector<std::size_t> d_groups[GROUP_COUNT];
  std::vector<char> d_usable[GROUP_COUNT];
  std::vector<TMachineComp::TStage> d_stages[3];
  std::vector<TMachineComp> d_other;
  std::vector<TPoint> d_points;
  std::vector<TRow> d_rows;
  std::vector<TVector3> d_actual;
};
} // namespace Evaluation

#endif
