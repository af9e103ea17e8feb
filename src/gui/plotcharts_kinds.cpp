// The page of each kind of plot: the drawing half of the table of kinds in src/model/plotkinds.

#include <cstring>

#include "core/varlume_assert.h"
#include "src/gui/compensationchart.h"
#include "src/gui/conformitychart.h"
#include "src/gui/plotcharts.h"

namespace
{
using Plot_Kinds::TData;

// One entry per kind of Plot_Kinds::Kinds(), by its name.
struct TKindPage
{
  const char* name;
  TPlotPage* (*page)(const TData& data);
};

const TKindPage PAGES[] = {
    {"errors", [](const TData& data) { return Plot_Charts::Errors_Page(data.machine_name, data.errors, data.notes); }},
    {"results", [](const TData& data) { return Plot_Charts::Results_Page(data.machine_name, data.results); }},
    {"sensitivity",
     [](const TData& data) { return Plot_Charts::Sensitivity_Page(data.machine_name, data.sensitivity); }},
    {"conformity", [](const TData& data) { return Conformity_Chart::Page(data.conformity); }},
    {"compensation", [](const TData& data) { return Compensation_Chart::Page(data.compensation); }},
};
} // namespace

namespace Plot_Charts
{
TPlotPage* Page(const Plot_Kinds::TKind& kind, const Plot_Kinds::TData& data)
{
  for(const TKindPage& entry : PAGES)
  {
    if(std::strcmp(entry.name, kind.name) == 0)
    {
      return entry.page(data);
    }
  }
  // Every kind of the table has its page above.
  VARLUME_ASSERT(false);
  return nullptr;
}
} // namespace Plot_Charts
