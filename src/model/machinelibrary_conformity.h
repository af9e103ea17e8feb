#ifndef MACHINELIBRARY_CONFORMITY_H
#define MACHINELIBRARY_CONFORMITY_H

#include <QString>

#include "core/xmltree.h"
#include "core/xmlwriter.h"
#include "src/model/machinelibrary.h"

// The optional elements of a machine record that conformity reads: MPE_E0 and Covariance, each
// checked on its own when read (version 2), so that one that breaks a rule leaves its machine
// without it and no more. For machinelibrary.cpp alone.
namespace Machine_Conformity
{
// An optional part of a record that breaks a rule: the line it is on and the rule.
struct TLeftOut
{
  int line = 0;
  QString rule;
};

// The stored MPE_E0 into the record, or why it cannot be used: the numbers must make an MPE as
// the editor and --mpe require one.
TLeftOut Read_Mpe(const TXmlTree& xml, const TXmlTree::TElement& mpe_node, TMachineLibrary::TMachineItem* machine);
// The stored Covariance into the record, or why it cannot be used: labels, each once, and a
// labels x labels matrix of numbers that is a covariance.
TLeftOut Read_Covariance(const TXmlTree& xml, const TXmlTree::TElement& covariance_node,
                         TMachineLibrary::TMachineItem* machine);
// Written only when the record has them, so that a record without writes what it always did.
void Write(TXmlWriter& xml, TXmlWriter::TElement& machine_node, const TMachineLibrary::TMachineItem& machine);
} // namespace Machine_Conformity

#endif
