#ifndef MEASUREMENTSCENE_H
#define MEASUREMENTSCENE_H

#include <vector>

#include "src/model/scene.h"

class TMeasurement;

// Turns the simulated rows of one measurement into the renderer's input records, with meshes
// at true scale (millimetres) at the simulated positions. Each record's key is the
// measurement's id plus the row index; a measurement outside the volume flags all of its rows.
namespace MeasurementScene
{
// Ball bars whose simulated centres coincide (1e-6 or closer) give no record.
std::vector<Scene::TBallBar> Ballbar_Records(const TMeasurement& measurement);
std::vector<Scene::TISOGauge> ISO_Records(const TMeasurement& measurement);
std::vector<Scene::TLaser> Laser_Records(const TMeasurement& measurement);
std::vector<Scene::TMCGGauge> MCG_Records(const TMeasurement& measurement);

// Bars longer than this get collars and a thick tube between them; shorter ones one thin tube.
const double BALLBAR_COLLAR_LENGTH = 148.0;
} // namespace MeasurementScene

#endif
