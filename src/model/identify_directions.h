#ifndef IDENTIFY_DIRECTIONS_H
#define IDENTIFY_DIRECTIONS_H

#include "src/model/identify_stages.h"

namespace Identify
{
// The directions a rank decision leaves unidentified, as the report lists them: in the basis of
// the monomials scaled by their effect, the structural ones together in reduced row echelon
// form (so that the text does not depend on how the decomposition rotated them), each with its
// terms, largest share first, and the hint. vectors (may be null) receives each direction over
// the unknowns, its largest component 1.
std::vector<TNullDirection> Null_Directions(const TModel& model, const TRankDecision& decision,
                                            std::vector<std::vector<double>>* vectors);
} // namespace Identify

#endif
