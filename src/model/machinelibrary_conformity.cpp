// The MPE and covariance of a machine record: reading with the rules each must meet, writing.

#include "src/model/machinelibrary_conformity.h"

#include <QSet>

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

#include "src/model/conformity.h"
#include "src/model/textformat.h"

namespace
{
using Machine_Conformity::TLeftOut;

// Identification names a few dozen parameters; a matrix far beyond that is no covariance of a
// machine, and its check alone would take minutes.
const int MAXIMUM_COVARIANCE_LABELS = 1000;
// Rounding in the identification leaves a covariance symmetric and positive semi-definite to
// about 1e-15 of its size; these bounds leave room for that and refuse anything worse.
const double SYMMETRY_TOLERANCE = 1e-9;
const double EIGENVALUE_TOLERANCE = 1e-9;

// The matrix as a covariance matrix must be: no NaN, a variance not negative (inf for a
// parameter not determined), a covariance finite unless it involves such a variance,
// symmetric, and positive semi-definite over the determined parameters. rows holds the line of
// each row.
TLeftOut Covariance_Problem(const QStringList& labels, const std::vector<double>& values, const std::vector<int>& rows,
                            int line)
{
  const std::size_t size = static_cast<std::size_t>(labels.size());
  const auto at = [&](std::size_t i, std::size_t j) { return values[i * size + j]; };
  for(std::size_t i = 0; i < size; ++i)
  {
    for(std::size_t j = 0; j < size; ++j)
    {
      if(std::isnan(at(i, j)))
      {
        return TLeftOut{rows[i],
                        QStringLiteral("the entry of '%1' and '%2' is not a number (nan)").arg(labels[i], labels[j])};
      }
    }
    if(at(i, i) < 0.0)
    {
      return TLeftOut{
          rows[i],
          QStringLiteral("the variance of '%1' is negative (%2)").arg(labels[i], Text::Shortest_Number(at(i, i)))};
    }
  }
  for(std::size_t i = 0; i < size; ++i)
  {
    for(std::size_t j = 0; j < size; ++j)
    {
      const bool determined = std::isfinite(at(i, i)) && std::isfinite(at(j, j));
      if(i != j && determined && !std::isfinite(at(i, j)))
      {
        return TLeftOut{rows[i], QStringLiteral("the covariance of '%1' and '%2' is %3, but both variances are finite")
                                     .arg(labels[i], labels[j], Text::Shortest_Number(at(i, j)))};
      }
      if(j >= i)
      {
        continue;
      }
      const double upper = at(j, i);
      const double lower = at(i, j);
      double scale = std::max(std::fabs(upper), std::fabs(lower));
      if(determined)
      {
        scale = std::max(scale, std::sqrt(at(i, i)) * std::sqrt(at(j, j)));
      }
      const bool symmetric = std::isfinite(upper) && std::isfinite(lower)
                                 ? std::fabs(upper - lower) <= SYMMETRY_TOLERANCE * scale
                                 : upper == lower;
      if(!symmetric)
      {
        return TLeftOut{rows[i],
                        QStringLiteral("it is not symmetric: '%1' with '%2' is %3, '%2' with '%1' is %4")
                            .arg(labels[j], labels[i], Text::Shortest_Number(upper), Text::Shortest_Number(lower))};
      }
    }
  }

  // Over the determined parameters, which the propagation uses; scaled first so that no
  // product overflows.
  std::vector<std::size_t> determined;
  double largest = 0.0;
  for(std::size_t i = 0; i < size; ++i)
  {
    if(std::isfinite(at(i, i)))
    {
      determined.push_back(i);
    }
  }
  for(const std::size_t i : determined)
  {
    for(const std::size_t j : determined)
    {
      largest = std::max(largest, std::fabs(at(i, j)));
    }
  }
  if(largest == 0.0)
  {
    return TLeftOut();
  }
  const Eigen::Index n = static_cast<Eigen::Index>(determined.size());
  Eigen::MatrixXd matrix(n, n);
  for(Eigen::Index i = 0; i < n; ++i)
  {
    for(Eigen::Index j = 0; j < n; ++j)
    {
      matrix(i, j) = at(determined[static_cast<std::size_t>(i)], determined[static_cast<std::size_t>(j)]) / largest;
    }
  }
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(matrix, Eigen::EigenvaluesOnly);
  const double lowest = solver.eigenvalues().minCoeff();
  const double highest = solver.eigenvalues().maxCoeff();
  if(solver.info() != Eigen::Success || lowest < -EIGENVALUE_TOLERANCE * highest)
  {
    return TLeftOut{line,
                    QStringLiteral("it is not positive semi-definite (an eigenvalue is %1, the largest %2)")
                        .arg(QString::number(lowest * largest, 'g', 3), QString::number(highest * largest, 'g', 3))};
  }
  return TLeftOut();
}
} // namespace

namespace Machine_Conformity
{
TLeftOut Read_Mpe(const TXmlTree& xml, const TXmlTree::TElement& mpe_node, TMachineLibrary::TMachineItem* machine)
{
  double values[3] = {0.0, 0.0, 0.0};
  const char* names[3] = {"A", "K", "B"};
  bool has_b = false;
  for(int index = 0; index < 3; ++index)
  {
    const TXmlTree::TElement node = xml.Get_Node(&mpe_node, QLatin1String(names[index]), true);
    if(node.isNull() && index < 2)
    {
      return TLeftOut{mpe_node.Line(), QStringLiteral("it has no %1").arg(QLatin1String(names[index]))};
    }
    if(node.isNull())
    {
      continue;
    }
    has_b = has_b || index == 2;
    const QString text = xml.Read_Text_Node(&node, true);
    if(!Text::Read_Number(text, &values[index]))
    {
      return TLeftOut{node.Line(), QStringLiteral("%1 '%2' is not a number").arg(QLatin1String(names[index]), text)};
    }
  }
  const QString problem = Conformity::Mpe_Problem(values[0], values[1], has_b, values[2]);
  if(!problem.isEmpty())
  {
    QString stored =
        QStringLiteral("A = %1, K = %2").arg(Text::Shortest_Number(values[0]), Text::Shortest_Number(values[1]));
    if(has_b)
    {
      stored += QStringLiteral(", B = %1").arg(Text::Shortest_Number(values[2]));
    }
    return TLeftOut{mpe_node.Line(), QStringLiteral("%1; stored %2").arg(problem, stored)};
  }
  machine->has_mpe = true;
  machine->mpe_a = values[0];
  machine->mpe_k = values[1];
  machine->mpe_has_b = has_b;
  machine->mpe_b = has_b ? values[2] : 0.0;
  return TLeftOut();
}

TLeftOut Read_Covariance(const TXmlTree& xml, const TXmlTree::TElement& covariance_node,
                         TMachineLibrary::TMachineItem* machine)
{
  QStringList labels;
  QSet<QString> seen;
  TXmlTree::TElement label = xml.Get_Node(&covariance_node, QStringLiteral("Label"), true);
  while(!label.isNull())
  {
    const QString text = xml.Read_Text_Node(&label, true);
    if(seen.contains(text))
    {
      return TLeftOut{label.Line(), QStringLiteral("the label '%1' is given twice").arg(text)};
    }
    if(labels.size() == MAXIMUM_COVARIANCE_LABELS)
    {
      return TLeftOut{label.Line(), QStringLiteral("more than %1 labels").arg(MAXIMUM_COVARIANCE_LABELS)};
    }
    seen.insert(text);
    labels.push_back(text);
    label = xml.Get_Sibling_Node(&label, QStringLiteral("Label"), true);
  }
  const int size = labels.size();
  if(size == 0)
  {
    return TLeftOut{covariance_node.Line(), QStringLiteral("it has no labels")};
  }
  std::vector<double> values;
  std::vector<int> rows;
  TXmlTree::TElement row = xml.Get_Node(&covariance_node, QStringLiteral("Row"), true);
  while(!row.isNull())
  {
    const QStringList texts = xml.Read_Text_Node(&row, true).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const int number = static_cast<int>(rows.size()) + 1;
    if(number > size || texts.size() != size)
    {
      return TLeftOut{row.Line(), QStringLiteral("it is not a matrix of its %1 labels (row %2 of %3 numbers)")
                                      .arg(size)
                                      .arg(number)
                                      .arg(texts.size())};
    }
    for(const QString& text : texts)
    {
      double value = 0.0;
      if(!Text::Read_Number(text, &value))
      {
        return TLeftOut{row.Line(), QStringLiteral("'%1' in row %2 is not a number").arg(text).arg(number)};
      }
      values.push_back(value);
    }
    rows.push_back(row.Line());
    row = xml.Get_Sibling_Node(&row, QStringLiteral("Row"), true);
  }
  if(static_cast<int>(rows.size()) != size)
  {
    return TLeftOut{covariance_node.Line(),
                    QStringLiteral("it is not a matrix of its %1 labels (%2 rows)").arg(size).arg(rows.size())};
  }
  const TLeftOut problem = Covariance_Problem(labels, values, rows, covariance_node.Line());
  if(problem.rule.isEmpty())
  {
    machine->covariance_labels = labels;
    machine->covariance = std::move(values);
  }
  return problem;
}

void Write(TXmlWriter& xml, TXmlWriter::TElement& machine_node, const TMachineLibrary::TMachineItem& machine)
{
  if(machine.has_mpe)
  {
    auto mpe_node = xml.Create_Node(&machine_node, QStringLiteral("MPE_E0"));
    auto node = xml.Create_Node(&mpe_node, QStringLiteral("A"));
    xml.Write_Text_Node(&node, Text::Shortest_Number(machine.mpe_a));
    node = xml.Create_Node(&mpe_node, QStringLiteral("K"));
    xml.Write_Text_Node(&node, Text::Shortest_Number(machine.mpe_k));
    if(machine.mpe_has_b)
    {
      node = xml.Create_Node(&mpe_node, QStringLiteral("B"));
      xml.Write_Text_Node(&node, Text::Shortest_Number(machine.mpe_b));
    }
  }
  const int size = machine.covariance_labels.size();
  if(size == 0 || machine.covariance.size() != static_cast<std::size_t>(size) * static_cast<std::size_t>(size))
  {
    return;
  }
  auto covariance_node = xml.Create_Node(&machine_node, QStringLiteral("Covariance"));
  for(const QString& label : machine.covariance_labels)
  {
    auto node = xml.Create_Node(&covariance_node, QStringLiteral("Label"));
    xml.Write_Text_Node(&node, label);
  }
  for(int row = 0; row < size; ++row)
  {
    QStringList values;
    for(int column = 0; column < size; ++column)
    {
      values.push_back(Text::Shortest_Number(machine.covariance[static_cast<std::size_t>(row * size + column)]));
    }
    auto node = xml.Create_Node(&covariance_node, QStringLiteral("Row"));
    xml.Write_Text_Node(&node, values.join(QLatin1Char(' ')));
  }
}
} // namespace Machine_Conformity
