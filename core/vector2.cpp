#include "core/vector2.h"

double TVector2::operator()(int index) const
{
  switch(index)
  {
  case 0:
    return x;
  case 1:
    return y;
  default:
    break;
  }
  VARLUME_ASSERT(false);
}

double& TVector2::operator()(int index)
{
  switch(index)
  {
  case 0:
    return x;
  case 1:
    return y;
  default:
    break;
  }
  VARLUME_ASSERT(false);
}

TVector2& TVector2::Normal()
{
  const double Length = std::sqrt(x * x + y * y);
  VARLUME_ASSERT(Length > std::numeric_limits<double>::epsilon());
  x /= Length;
  y /= Length;
  return *this;
}

bool TVector2::Is_Point_In_Triangle(const TVector2& p, const TVector2& p0, const TVector2& p1, const TVector2& p2)
{
  double s = p0.y * p2.x - p0.x * p2.y + (p2.y - p0.y) * p.x + (p0.x - p2.x) * p.y;
  double t = p0.x * p1.y - p0.y * p1.x + (p0.y - p1.y) * p.x + (p1.x - p0.x) * p.y;

  if((s < 0) != (t < 0))
  {
    return false;
  }

  double A = -p1.y * p2.x + p0.y * (p2.x - p1.x) + p0.x * (p1.y - p2.y) + p1.x * p2.y;
  if(A < 0)
  {
    s = -s;
    t = -t;
    A = -A;
  }
  return s > 0 && t > 0 && (s + t) <= A;
}
