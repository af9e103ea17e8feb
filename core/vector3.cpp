#include "core/vector3.h"

double TVector3::operator()(int index) const
{
  switch(index)
  {
  case 0:
    return x;
  case 1:
    return y;
  case 2:
    return z;
  default:
    break;
  }
  VARLUME_ASSERT(false);
}

double& TVector3::operator()(int index)
{
  switch(index)
  {
  case 0:
    return x;
  case 1:
    return y;
  case 2:
    return z;
  default:
    break;
  }
  VARLUME_ASSERT(false);
}
