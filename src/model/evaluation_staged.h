#ifndef EVALUATION_STAGED_H
#define EVALUATION_STAGED_H

// The evaluation's patterns worked out on several threads: the fast set-up of a pattern, the
// staged look-ups that combine most patterns from parts worked out once, and a worker that sets
// a pattern up in full on its own model and rows. Internal to evaluation_run.cpp.

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "src/model/evaluation.h"

namespace Evaluation
{
// What does not change from pattern to pattern of one evaluation: the geometry, the items, their
// codes and, in the fast set-up, each item's table evaluated once. Read-only while the workers
// run.
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
  // Initialize_Begin and item index alone.
  void Set_Up_Item(std::size_t index, TMachineComp* machine) const;
  // Item index on a machine whose set-up has begun: Set_Rx ... Set_Scale from its table when
  // it has one, anything else as the record says. The results are not examined: a parameter
  // whose expression fails part way is simulated with what the model made of it, as in the
  // straightforward set-up.
  void Apply(std::size_t index, TMachineComp* machine) const;
};

// True for the parameters held in an axis table (Rx, Ry, Rz, scale).
bool Has_Table(const TErrorItem& item);

// Copies of the measurements of list, rows included, in list order; a measurement listed twice
// is copied once and listed twice. owned keeps the copies.
std::vector<TMeasurement*> Copy_Measurements(const std::vector<TMeasurement*>& list,
                                             std::vector<std::unique_ptr<TMeasurement>>* owned);

// The message of a simulation that failed with errors: the axis exception's own message, without
// the "<name>: " that the simulation puts before it.
QString Simulation_Failure(const std::vector<TMeasurement*>& measurements, const QStringList& errors);

// What was made of one pattern. A worker fills in line or message and then publishes the state;
// the writer reads them only after it has seen a state other than PENDING.
struct TOutcome
{
  enum TState
  {
    PENDING,
    NOTHING, // no item of the pattern applies: no line
    LINE,
    STOPPED, // an axis exception: the evaluation stops here
    SKIPPED  // after a stopped pattern: never written
  };
  std::atomic<int> state{PENDING};
  QByteArray line; // Latin-1, with its line feed
  QString message;
};

// Sets patterns up in full, as the straightforward loop would with the fast set-up, on a model
// and copies of the measurements of its own, so that workers share nothing that they write.
class TFullPatterns
{
public:
  TFullPatterns(const TPatternSetUp& set_up, const std::vector<TMeasurement*>& measurements);
  ~TFullPatterns();
  TFullPatterns(const TFullPatterns&) = delete;
  TFullPatterns& operator=(const TFullPatterns&) = delete;

  // Pattern k into outcome (state published last).
  void Run(std::size_t k, TOutcome* outcome);

private:
  const TPatternSetUp& d_set_up;
  const std::vector<TMeasurement*>& d_originals;
  std::vector<std::unique_ptr<TMeasurement>> d_copies; // made on first use
  std::vector<TMeasurement*> d_list;                   // in list order; a measurement listed twice is one copy
  TMachineComp d_machine;
};

// The fast runner's shortcut. The file reads nothing of a row but its nominal and simulated
// lengths, and a table of the chain depends only on the items of its own axis. So for every
// distinct nominal point the table look-ups and rotations are worked out once for each subset
// of each axis's items (Chain_Stage), the chain state after the first axis once for each of its
// subsets, and what the tower and the squareness add once for each subset of the other items.
// A task then steps the chain through the second and third axes for one subset of the first
// two and some of the third, and combines each result with every subset of the other items:
// the same operations as Evaluate, in the same order, so the same bits.
//
// The rows, whose nominal geometry no error changes, come from one simulation on the perfect
// machine; only their point indices and nominal lengths are kept, by kind in file order.
// Nothing here points into the measurements: after Prepare they are not read again. Prepare
// writes, Run_Task only reads, so any number of threads may run tasks at the same time.
class TStagedPatterns
{
public:
  // Working memory of one thread.
  struct TScratch
  {
    std::vector<TMachineComp::TChainState> second;
    std::vector<TVector3> chain;
    std::vector<TVector3> probe;
    // (chain + tower) + probe for each distinct tower term.
    std::vector<TVector3> before_squareness;
    std::vector<TVector3> actual;
  };

  // False when the shortcut does not apply (every pattern is then set up in full). The
  // measurements keep their rows.
  bool Prepare(const TPatternSetUp& set_up, std::vector<TMeasurement*>& measurements);

  // Tasks in an order that completes the patterns from the first one onwards.
  std::size_t Task_Count() const { return d_task_count; }

  // Works out the patterns of one task into outcomes (indexed by pattern, 1 .. 2^n). A pattern
  // that a part of it keeps from being combined (an axis exception in a part's set-up or in the
  // tower) is handed to full. Returns early, leaving patterns PENDING, once stop is set. Returns
  // the number of patterns filled in.
  std::size_t Run_Task(std::size_t task, TScratch* scratch, TOutcome* outcomes, TFullPatterns* full,
                       const std::atomic<bool>& stop) const;

private:
  static constexpr std::size_t FIRST = 0;
  static constexpr std::size_t SECOND = 1;
  static constexpr std::size_t THIRD = 2;
  static constexpr std::size_t OTHER = 3;
  static constexpr std::size_t GROUP_COUNT = 4;
  // 256 subsets of one part's items at most; more would take long to prepare.
  static constexpr std::size_t MAXIMUM_GROUP_ITEMS = 8;
  // The parts worked out once stay below this many bytes; beyond it every pattern is set up in
  // full (slowly, but within memory).
  static constexpr std::size_t MAXIMUM_BYTES = std::size_t(160) << 20;

  struct TPoint
  {
    TVector3 nominal;
    TVector3 probe;
  };

  struct TRow
  {
    std::uint32_t reference = 0;
    std::uint32_t point = 0;
    double nominal = 0.0;
  };

  // Only the very same bits give the very same result; -0 and +0 stay apart.
  struct TBitwiseLess
  {
    bool operator()(const std::array<double, 6>& a, const std::array<double, 6>& b) const;
  };
  using TPointIndex = std::map<std::array<double, 6>, std::size_t, TBitwiseLess>;

  // The perfect machine in d_geometry; false when its set-up fails.
  bool Set_Up_Geometry(const TMachineComp::TInitParameters& parameters);
  // Sorts the applied items into the parts; false when a part has too many.
  bool Group_Items(const TPatternSetUp& set_up);
  // The stages of one part of the chain, or what the tower and the squareness add, for each of
  // its subsets; a subset whose set-up throws is left unusable.
  void Prepare_Group(const TPatternSetUp& set_up, std::size_t group, std::size_t subsets);
  // The chain after the first axis for each usable subset of its items.
  void Prepare_First_Chain();
  std::size_t Point_Index(const TVector3& nominal, const TVector3& probe, TPointIndex* index);
  bool Collect_Rows(const TMachineComp& perfect, std::vector<TMeasurement*>& measurements);
  // The bits of pattern k's mask that subset of group stands for.
  std::size_t Mask(std::size_t group, std::size_t subset) const;
  // Terms of one point each: the variant equal to terms, added if new.
  static std::size_t Variant(const std::vector<TVector3>& terms, std::vector<TVector3>* variants);
  // Publish the pattern of mask, whose chain is in scratch, combined with subset other.
  std::size_t Combine(std::size_t mask, std::size_t other, TScratch* scratch, TOutcome* outcomes) const;
  // The outcome of every pattern that differs from mask only in items that are not applied.
  std::size_t Publish(std::size_t mask, const QByteArray& line, int state, TOutcome* outcomes) const;

  const TPatternSetUp* d_set_up = nullptr;
  std::size_t d_item_count = 0;
  std::size_t d_task_count = 0;
  std::size_t d_third_chunks = 1;
  std::vector<std::size_t> d_groups[GROUP_COUNT];
  // Items that the evaluation does not apply: their bits change no line.
  std::vector<std::size_t> d_free;
  std::vector<char> d_usable[GROUP_COUNT];
  std::vector<TMachineComp::TStage> d_stages[3];
  std::vector<TMachineComp::TChainState> d_first; // after the first axis, by subset and point
  // What the tower and the squareness add, each distinct set of terms once (by variant and
  // point), and which variant each subset of the other items has.
  std::vector<TVector3> d_towers;
  std::vector<TVector3> d_squares;
  std::vector<std::size_t> d_tower_of;
  std::vector<std::size_t> d_square_of;
  TMachineComp d_geometry; // the perfect machine: origins of the chain
  bool d_tower = false;
  std::vector<TPoint> d_points;
  std::vector<TVector3> d_nominal; // of d_points, packed for the loop over the patterns
  std::vector<TRow> d_rows[KIND_COUNT];
};
} // namespace Evaluation

#endif
