#ifndef COMPENSATION_UNCERTAINTY_H
#define COMPENSATION_UNCERTAINTY_H

#include <QString>

#include <vector>

#include "core/vector3.h"
#include "src/model/machinelibrary.h"

// How uncertain the error of an identified machine is at given points: the covariance of the
// error vector E(P, Q) from the covariance of the machine's parameters. A correction built from
// that machine leaves the difference between the true error and the identified one, so what
// remains after it is uncertain by exactly this much. Used by compensation.cpp only.
namespace Compensation
{
// The 3 x 3 covariance of E at one point (mm²), row by row; undetermined when a parameter of
// infinite variance acts there.
struct TPointCovariance
{
  double c[9] = {};
  bool undetermined = false;

  // The standard uncertainty of |E| at a point where what remains is the vector remaining (mm):
  // along its direction; where nothing remains, the largest along any direction.
  double U_Of_Size(const TVector3& remaining) const;
};

// The covariance of E(P, probe) at every point (central differences of each labelled parameter,
// parameters shared out among jobs threads). False with the reason when the machine or its
// covariance cannot be used.
bool Point_Covariances(const TMachineLibrary::TMachineItem& machine, const std::vector<TVector3>& points,
                       const TVector3& probe, int jobs, std::vector<TPointCovariance>* covariances, QString* error);
} // namespace Compensation

#endif
